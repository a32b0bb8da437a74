#include "app/QuiltorApp.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "document/FileFilters.h"
#include "document/QuiltorDoc.h"
#include "image/LibraryVersions.h"
#include "panes/BusyCursor.h"
#include "view/QuiltorView.h"

namespace {
const char* kDesktopId = "org.orvandel.Quiltor";

QString AboutText() {
  QString text = QStringLiteral(
                     "<p>Quiltor %1<br>A high-resolution workflow with Stable Diffusion.</p>"
                     "<p>Built with:<br>Qt %2 (LGPL-3.0)")
                     .arg(QStringLiteral(QUILTOR_VERSION), QString::fromLatin1(qVersion()));
  for (const qimg::LibraryVersion& library : qimg::LibraryVersions())
    text += QStringLiteral("<br>%1 %2 (%3)")
                .arg(QString::fromStdString(library.name), QString::fromStdString(library.version),
                     QString::fromStdString(library.licence));
  return text + QStringLiteral("</p>");
}
}  // namespace

CQuiltorApp::CQuiltorApp(int& argc, char** argv)
    : m_ownApplication(std::make_unique<QApplication>(argc, argv)) {
  m_arguments = QCoreApplication::arguments();
  Construct();
}

CQuiltorApp::CQuiltorApp(const QStringList& arguments) : m_arguments(arguments) { Construct(); }

CQuiltorApp::~CQuiltorApp() {
  m_host.Attach(nullptr);
  m_frame.reset();
  m_doc.reset();
}

void CQuiltorApp::Construct() {
  QCoreApplication::setOrganizationName(QStringLiteral("Orvandel"));
  QCoreApplication::setApplicationName(QStringLiteral("Quiltor"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILTOR_VERSION));
  // No display name: Qt would append it to every caption ("... - Quiltor  — Quiltor").
  // The platform's application id, the desktop file's name, groups the windows.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quiltor.svg")));
}

const char* CQuiltorApp::HomePage() { return "https://orvandel.org/quiltor"; }

bool CQuiltorApp::InitInstance() {
  // OLE, common controls and the restart manager have no counterpart here.
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Quiltor: work on a large picture one square slice at a time with Stable Diffusion."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("An image to open as the main image."),
                               QStringLiteral("[FILE]"));
  if (!parser.parse(m_arguments)) {
    std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
    m_exitStatus = 2;
    return false;
  }
  if (parser.isSet(help)) {
    std::printf("%s", qPrintable(parser.helpText()));
    m_exitStatus = 0;
    return false;
  }
  if (parser.isSet(version)) {
    std::printf("Quiltor %s\n", QUILTOR_VERSION);
    m_exitStatus = 0;
    return false;
  }

  m_recent.Load(m_services.settings);
  m_doc = std::make_unique<CQuiltorDoc>(m_host, m_services);
  m_frame = std::make_unique<CMainFrame>(*m_doc, m_services);
  m_host.Attach(m_frame.get());
  m_frame->RestoreWorkspace();

  CMainFrame* frame = m_frame.get();
  QObject::connect(frame->Action(Cmd::kFileNew), &QAction::triggered, frame,
                   [this] { OnFileNew(); });
  QObject::connect(frame->Action(Cmd::kFileOpen), &QAction::triggered, frame,
                   [this] { OnFileOpen(); });
  QObject::connect(frame->Action(Cmd::kAppAbout), &QAction::triggered, frame,
                   [this] { OnAppAbout(); });
  QObject::connect(frame->Action(Cmd::kHomePage), &QAction::triggered, frame,
                   [this] { OnOpenHomePage(); });
  QObject::connect(frame, &CMainFrame::RecentFileChosen, frame,
                   [this](int index) { OnRecentFile(index); });
  UpdateRecentMenu();

  const QStringList files = parser.positionalArguments();
  if (!files.isEmpty()) {
    // Opens as File > Open would, without touching "Document"/"Path". A file
    // that cannot be read leaves the document's error line and an empty window.
    OpenDocumentFile(files.first());
  }
  m_frame->show();
  ReportFirstPaint();
  // Work a crash left unsaved, asked about once the window is up.
  if (!m_exitAfterFirstPaint)
    QTimer::singleShot(0, frame, [this] {
      if (m_doc->OfferRecovery()) m_frame->UpdateCommandUI();
    });
  return true;
}

namespace {
// Prints "first-paint" and ends the run after the main window's first paint:
// the start-up benchmark's measuring point.
class CFirstPaintProbe : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !m_seen) {
      m_seen = true;
      QTimer::singleShot(0, [] {
        std::puts("first-paint");
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool m_seen = false;
};
}  // namespace

void CQuiltorApp::ReportFirstPaint() {
  if (!m_exitAfterFirstPaint) return;
  m_frame->View()->installEventFilter(new CFirstPaintProbe(m_frame.get()));
}

void CQuiltorApp::ExitInstance() {
  if (m_frame) m_frame->SaveWorkspace();
  m_recent.Save(m_services.settings);
}

int CQuiltorApp::Run() {
  if (!InitInstance()) return m_exitStatus;
  const int status = QApplication::exec();
  ExitInstance();
  return status;
}

CQuiltorApp::OpenResult CQuiltorApp::OpenDocumentFile(const QString& path) {
  if (!m_doc->SaveModified()) return OpenResult::Cancelled;
  bool opened = false;
  {
    CBusyCursor busy;
    opened = m_doc->OpenMainImage(path);
  }
  if (!opened) {
    m_host.Repaint();
    return OpenResult::Failed;
  }
  m_doc->SetModifiedFlag(false);
  m_doc->SetPathName(path);
  m_recent.Add(path);
  UpdateRecentMenu();
  m_frame->UpdateCommandUI();
  // through the host: the view repaints and the Merger's preview forgets the
  // last picture's mask
  m_host.Repaint();
  return OpenResult::Opened;
}

void CQuiltorApp::OnFileNew() {
  m_doc->FileNew();
  m_frame->UpdateCommandUI();
  m_frame->View()->update();
}

void CQuiltorApp::OnFileOpen() {
  QFileDialog dialog(m_frame.get(), QStringLiteral("Load file"),
                     ReadSetting(m_services.settings, Settings::kOpenFolder), OpenImageQtFilter());
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().first();
  OpenDocumentFile(path);
  // The folder is remembered whether or not the file could be loaded.
  WriteSetting(m_services.settings, Settings::kOpenFolder, FolderOfPath(path));
}

void CQuiltorApp::OnRecentFile(int index) {
  if (index < 0 || index >= m_recent.Entries().size()) return;
  const QString path = m_recent.Entries()[index];
  if (OpenDocumentFile(path) == OpenResult::Failed) {
    m_recent.Remove(path);
    UpdateRecentMenu();
  }
}

void CQuiltorApp::UpdateRecentMenu() {
  QStringList texts;
  for (int i = 0; i < m_recent.Entries().size(); ++i) texts.append(m_recent.MenuText(i));
  m_frame->SetRecentFiles(texts);
}

void CQuiltorApp::OnAppAbout() {
  QDialog about(m_frame.get());
  about.setWindowTitle(QStringLiteral("About"));
  about.setObjectName(QStringLiteral("AboutBox"));
  auto* layout = new QHBoxLayout(&about);
  auto* icon = new QLabel(&about);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/quiltor.svg")).pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  icon->setAccessibleName(QStringLiteral("Quiltor icon"));
  layout->addWidget(icon);
  auto* column = new QVBoxLayout;
  layout->addLayout(column);
  auto* text = new QLabel(AboutText(), &about);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  column->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  column->addWidget(buttons);
  about.exec();
}

void CQuiltorApp::OnOpenHomePage() {
  QDesktopServices::openUrl(QUrl(QString::fromLatin1(HomePage())));
}
