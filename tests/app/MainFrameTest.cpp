// The desktop application as a user meets it: start-up defaults, every menu
// command reaching the document, marks, the Output pane, settings, the
// command line, recent files and the save question on close.
#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <memory>

#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/Looks.h"
#include "app/MainFrame.h"
#include "app/OutputWnd.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "document/QuiltorDoc.h"
#include "panes/LeftDialog.h"
#include "panes/PaneLayout.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
QSettings Store() { return QSettings(QStringLiteral("Orvandel"), QStringLiteral("Quiltor")); }

QStringList Lines(CMainFrame* frame) {
  QStringList lines;
  COutputList* list = frame->OutputWnd()->List();
  for (int i = 0; i < list->LineCount(); ++i) lines.append(list->Line(i));
  return lines;
}

std::unique_ptr<CQuiltorApp> Start(const QStringList& extra = {}) {
  auto app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")} + extra);
  if (!app->InitInstance()) return nullptr;
  return app;
}

int CheckedLook(CMainFrame* frame) {
  int checked = 0;
  for (int id = Cmd::kLookFirst; id <= Cmd::kLookLast; ++id) {
    QAction* a = frame->Action(id);
    if (a && a->isChecked()) {
      if (checked) return -1;  // two marks
      checked = id;
    }
  }
  return checked;
}
}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }

  void emptyStoreDefaults() {
    auto app = Start();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QCOMPARE(frame->ApplicationLook(), 210);
    QCOMPARE(CheckedLook(frame), 210);
    QCOMPARE(Store().value(QStringLiteral("Workspace/ApplicationLook")).toInt(), 210);
    QVERIFY(frame->Action(Cmd::kEraser)->isChecked());
    QVERIFY(!frame->Action(Cmd::kBrush)->isChecked());
    QCOMPARE(frame->PropertiesWnd()->BrushFlag(), 0);
    QCOMPARE(app->Doc().m_tool, 0);
    QVERIFY(frame->Action(Cmd::kAutoSendToClipboard)->isChecked());
    QCOMPARE(Lines(frame).value(0), QStringLiteral("Quiltor Started"));
    QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
    QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled[*] - Quiltor "));
    QVERIFY(!frame->isWindowModified());
    // panes on their sides, named from their ids
    QCOMPARE(frame->dockWidgetArea(frame->FileView()), Qt::LeftDockWidgetArea);
    QCOMPARE(frame->dockWidgetArea(frame->OutputWnd()), Qt::BottomDockWidgetArea);
    QCOMPARE(frame->dockWidgetArea(frame->PropertiesWnd()), Qt::RightDockWidgetArea);
    QCOMPARE(frame->FileView()->objectName(), QStringLiteral("Pane133"));
    QCOMPARE(frame->OutputWnd()->objectName(), QStringLiteral("Pane149"));
    QCOMPARE(frame->PropertiesWnd()->objectName(), QStringLiteral("Pane150"));
    QCOMPARE(frame->centralWidget(), static_cast<QWidget*>(frame->View()));
  }

  void everyActionCarriesItsIdAndPrompt() {
    auto app = Start();
    CMainFrame* frame = app->MainFrame();
    const int ids[] = {Cmd::kFileNew,         Cmd::kFileOpen,        Cmd::kFileSave,
                       Cmd::kFileSaveAs,      Cmd::kExport512,       Cmd::kExport1024,
                       Cmd::kAppExit,         Cmd::kOpenShadow,      Cmd::kCopyMainToShadow,
                       Cmd::kRemoveShadow,    Cmd::kExportAndLock,   Cmd::kCancelLock,
                       Cmd::kQuickImport,     Cmd::kApplyMerge,      Cmd::kCancelMerge,
                       Cmd::kViewStatusBar,   Cmd::kEraser,          Cmd::kBrush,
                       Cmd::kShowFrame,       Cmd::kMagnify,         Cmd::kAutoSendToClipboard,
                       Cmd::kOpenSliceFolder, Cmd::kAppAbout,        Cmd::kHomePage,
                       Cmd::kFilePrint,       Cmd::kFilePrintPreview};
    for (int id : ids) {
      QAction* a = frame->Action(id);
      QVERIFY2(a, qPrintable(QString::number(id)));
      QCOMPARE(a->data().toInt(), id);
    }
    QCOMPARE(frame->Action(Cmd::kFileNew)->statusTip(), QStringLiteral("Create a new document"));
    QCOMPARE(frame->Action(Cmd::kFileNew)->toolTip(), QStringLiteral("New"));
    QCOMPARE(frame->Action(Cmd::kFileNew)->shortcut(), QKeySequence(QKeySequence::New));
    QCOMPARE(frame->Action(Cmd::kFileSave)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(frame->Action(Cmd::kFilePrint)->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(frame->Action(Cmd::kMagnify)->statusTip(), QStringLiteral("Magnify"));
    QCOMPARE(frame->Action(Cmd::kAppExit)->statusTip(),
             QStringLiteral("Quit the application; prompts to save documents"));
    // the toolbar: New, Open, Save | Magnify | About
    QList<int> bar;
    for (QAction* a : frame->StandardToolBar()->actions())
      bar.append(a->isSeparator() ? 0 : a->data().toInt());
    QCOMPARE(bar, (QList<int>{Cmd::kFileNew, Cmd::kFileOpen, Cmd::kFileSave, 0, Cmd::kMagnify, 0,
                              Cmd::kAppAbout}));
    // the view's context menu
    QList<int> menu;
    for (QAction* a : frame->ViewContextMenu()->actions())
      menu.append(a->isSeparator() ? 0 : a->data().toInt());
    QCOMPARE(menu, (QList<int>{Cmd::kMagnify, 0, Cmd::kExportAndLock, Cmd::kCancelLock, 0,
                               Cmd::kQuickImport, 0, Cmd::kApplyMerge, Cmd::kCancelMerge}));
    // a highlighted command shows its prompt, then "Ready" again
    QStatusTipEvent tip(QStringLiteral("Open an existing document"));
    QApplication::sendEvent(frame, &tip);
    QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Open an existing document"));
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(frame, &none);
    QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
  }

  void toolsAutoImportFollowsTheSlicerBox() {
    auto app = Start();
    CMainFrame* frame = app->MainFrame();
    QAction* entry = frame->Action(Cmd::kAutoImport);
    QVERIFY(entry);
    QCOMPARE(entry->data().toInt(), Cmd::kAutoImport);
    QVERIFY(entry->isCheckable());
    QVERIFY(!entry->isChecked());
    QMenu* tools = nullptr;
    for (QAction* top : frame->menuBar()->actions())
      if (top->text() == QStringLiteral("Tools")) tools = top->menu();
    QVERIFY(tools && tools->actions().contains(entry));
    auto* box =
        qobject_cast<QCheckBox*>(frame->FileView()->Dialog()->Control(SlicerId::kAutoImport));
    QVERIFY(box && !box->isChecked());
    entry->trigger();
    QVERIFY(entry->isChecked());
    QVERIFY(box->isChecked());
    QCOMPARE(Store().value(QStringLiteral("Settings/AutoImport")).toInt(), 1);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(!entry->isChecked());
    QCOMPARE(Store().value(QStringLiteral("Settings/AutoImport")).toInt(), 0);
  }

  // On a low screen the Slicer's controls do not fit: the pane scrolls, and
  // its history keeps rows to pick from instead of being squeezed to one.
  void slicerScrollsInsteadOfSqueezingItsHistory() {
    auto app = Start();
    CMainFrame* frame = app->MainFrame();
    CLeftDialog* pane = frame->FileView()->Dialog();
    auto* area = qobject_cast<QScrollArea*>(frame->FileView()->widget());
    QVERIFY(area && area->widget() == pane);
    auto* history = qobject_cast<QListWidget*>(pane->Control(SlicerId::kHistory));
    QVERIFY(history);
    const int row = history->fontMetrics().lineSpacing();
    for (int height : {1200, 900, 600}) {
      frame->resize(1400, height);
      frame->show();
      QCoreApplication::processEvents();
      QVERIFY2(history->height() >= kHistoryMinimumRows * row, qPrintable(QString::number(height)));
      // Every control stays reachable: the pane is as tall as it needs, and
      // the scroll bar covers what the dock cannot show.
      const int hidden = pane->height() - area->viewport()->height();
      QCOMPARE(area->verticalScrollBar()->maximum(), std::max(0, hidden));
      QCOMPARE(pane->width(), area->viewport()->width());
    }
    QVERIFY(area->verticalScrollBar()->maximum() > 0);  // 600 pixels are too few
  }

  void menuCommandsReachTheDocument() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/main.png");
    QVERIFY(WritePicture(picture, 1200, 900));
    Store().setValue(QStringLiteral("Settings/Path"), folder + QStringLiteral("/slices"));
    auto app = Start({picture});
    CMainFrame* frame = app->MainFrame();
    CQuiltorDoc& doc = app->Doc();
    QVERIFY(doc.m_mainImage.HasPixels());
    auto trigger = [&](int id) { frame->Action(id)->trigger(); };

    doc.CreateSlice(512, 0, 1);
    trigger(Cmd::kExportAndLock);
    QCOMPARE(doc.m_locked, uint8_t(1));
    QVERIFY(QDir(folder + QStringLiteral("/slices"))
                .entryList({QStringLiteral("slice_001_*.png")})
                .size() == 1);
    trigger(Cmd::kCancelLock);
    QCOMPARE(doc.m_locked, uint8_t(0));

    trigger(Cmd::kShowFrame);
    QCOMPARE(doc.m_showFrame, 1);
    QVERIFY(frame->Action(Cmd::kShowFrame)->isChecked());
    trigger(Cmd::kShowFrame);
    QVERIFY(!frame->Action(Cmd::kShowFrame)->isChecked());

    trigger(Cmd::kAutoSendToClipboard);
    QCOMPARE(doc.m_autoSend, 0);
    QVERIFY(!frame->Action(Cmd::kAutoSendToClipboard)->isChecked());
    QCOMPARE(Store().value(QStringLiteral("Settings/AutoSendToClipboard")).toInt(), 0);

    trigger(Cmd::kMagnify);
    QVERIFY(frame->View()->MagnifierOn());
    QVERIFY(frame->Action(Cmd::kMagnify)->isChecked());
    trigger(Cmd::kMagnify);
    QVERIFY(!frame->Action(Cmd::kMagnify)->isChecked());

    trigger(Cmd::kBrush);
    QCOMPARE(doc.m_tool, 1);
    QVERIFY(frame->Action(Cmd::kBrush)->isChecked());
    QVERIFY(!frame->Action(Cmd::kEraser)->isChecked());
    trigger(Cmd::kEraser);
    QCOMPARE(doc.m_tool, 0);
    QVERIFY(!frame->Action(Cmd::kBrush)->isChecked());
    QVERIFY(frame->Action(Cmd::kEraser)->isChecked());

    trigger(Cmd::kCopyMainToShadow);
    QVERIFY(doc.m_shadowImage.HasPixels());
    trigger(Cmd::kRemoveShadow);
    QVERIFY(!doc.m_shadowImage.HasPixels());

    trigger(Cmd::kExport512);
    QVERIFY(QFile::exists(folder + QStringLiteral("/slices/base_512.png")));

    trigger(Cmd::kApplyMerge);
    trigger(Cmd::kCancelMerge);
    QVERIFY(Lines(frame).join(u'\n').contains(QStringLiteral("Merge")));

    // Save writes the next numbered file beside the loaded one
    doc.SetModifiedFlag(true);
    QVERIFY(frame->isWindowModified());
    trigger(Cmd::kFileSave);
    QVERIFY(QFile::exists(folder + QStringLiteral("/main_0001.png")));
    QVERIFY(!frame->isWindowModified());

    trigger(Cmd::kViewStatusBar);
    QVERIFY(!frame->statusBar()->isVisible());
    QVERIFY(!frame->Action(Cmd::kViewStatusBar)->isChecked());
    trigger(Cmd::kViewStatusBar);
    QVERIFY(frame->Action(Cmd::kViewStatusBar)->isChecked());

    // File New empties the document
    trigger(Cmd::kFileNew);
    QVERIFY(!doc.m_mainImage.HasPixels());
    QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled[*] - Quiltor "));
  }

  void looksAndTheirMarks() {
    Store().setValue(QStringLiteral("Workspace/ApplicationLook"), 219);
    {
      auto app = Start();
      CMainFrame* frame = app->MainFrame();
      QCOMPARE(frame->ApplicationLook(), 219);
      QCOMPARE(CheckedLook(frame), 0);
      QCOMPARE(QApplication::palette().color(QPalette::Window),
               LookPalette(219).color(QPalette::Window));
      frame->Action(216)->trigger();
      QCOMPARE(CheckedLook(frame), 216);
      QCOMPARE(Store().value(QStringLiteral("Workspace/ApplicationLook")).toInt(), 216);
      QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 80);
      frame->Action(206)->trigger();
      QCOMPARE(CheckedLook(frame), 206);
      // an unknown id shows the Office 2007 style last chosen: black here
      frame->OnApplicationLook(300);
      QCOMPARE(CheckedLook(frame), 0);
      QCOMPARE(QApplication::palette().color(QPalette::Window),
               LookPalette(216).color(QPalette::Window));
    }
    // every look is distinct
    QSet<QRgb> windows;
    int count = 0;
    const LookEntry* table = LookTable(&count);
    QCOMPARE(count, 11);
    for (int i = 0; i < count; ++i)
      windows.insert(LookPalette(table[i].id).color(QPalette::Window).rgb());
    QCOMPARE(windows.size(), 11);
    QCOMPARE(EffectiveLook(212, 0), 215);
    QCOMPARE(EffectiveLook(204, 218), 218);
  }

  void outputPane() {
    auto app = Start();
    CMainFrame* frame = app->MainFrame();
    COutputList* list = frame->OutputWnd()->List();
    frame->AddOutputLine(QString());
    QCOMPARE(list->LineCount(), 2);
    QCOMPARE(list->CurrentLine(), 1);
    QCOMPARE(list->Line(1), QString());
    ModalAnswerer answers;
    answers.Box(QMessageBox::Ok);
    list->Action(Cmd::kOutputCopy)->trigger();
    answers.Box(QMessageBox::Ok);
    list->Action(Cmd::kOutputClear)->trigger();
    QCOMPARE(answers.boxTexts,
             (QStringList{QStringLiteral("Copy output"), QStringLiteral("Clear output")}));
    QCOMPARE(list->LineCount(), 2);
    for (int i = 0; i < 30000; ++i) frame->AddOutputLine(QStringLiteral("line %1").arg(i));
    QCOMPARE(list->LineCount(), 30002);
    QCOMPARE(list->CurrentLine(), 30001);
    QCOMPARE(list->Line(30001), QStringLiteral("line 29999"));
    // once the event loop turns, the view shows the newest line selected
    QTRY_COMPARE(list->currentIndex().row(), 30001);
    QVERIFY(list->visualRect(list->currentIndex()).intersects(list->viewport()->rect()));
    QVERIFY(frame->OutputWnd()->isVisible());
    list->Action(Cmd::kOutputHide)->trigger();
    QVERIFY(!frame->OutputWnd()->isVisible());
  }

  void workspaceRoundTrip() {
    {
      auto app = Start();
      app->MainFrame()->OutputWnd()->hide();
      app->ExitInstance();
    }
    auto app = Start();
    QVERIFY(!app->MainFrame()->OutputWnd()->isVisible());
    QVERIFY(app->MainFrame()->FileView()->isVisible());
  }

  void commandLineFile() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/given.png");
    QVERIFY(WritePicture(picture, 300, 200));
    Store().setValue(QStringLiteral("Document/Path"), QStringLiteral("/kept"));
    {
      auto app = Start({picture});
      QCOMPARE(app->Doc().m_mainImage.m_width, 300u);
      QCOMPARE(app->MainFrame()->windowTitle(), QStringLiteral("given.png[*] - Quiltor "));
      QCOMPARE(app->RecentFiles().Entries().value(0), picture);
      app->ExitInstance();
    }
    QCOMPARE(Store().value(QStringLiteral("Document/Path")).toString(), QStringLiteral("/kept"));
    QCOMPARE(Store().value(QStringLiteral("Recent File List/File1")).toString(), picture);

    // a file that cannot be read: the document's error line, an empty window
    const QString broken = folder + QStringLiteral("/broken.png");
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    auto app = Start({broken});
    QVERIFY(app);
    QVERIFY(!app->Doc().m_mainImage.HasPixels());
    QVERIFY(Lines(app->MainFrame()).size() >= 2);
    QVERIFY(app->MainFrame()->isVisible());
  }

  void fileOpenDialog() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/opened.png");
    QVERIFY(WritePicture(picture, 320, 240));
    auto app = Start();
    ModalAnswerer answers;
    answers.File(QString());
    app->OnFileOpen();
    QVERIFY(answers.Done());
    QCOMPARE(answers.dialogTitles.value(0), QStringLiteral("Load file"));
    QVERIFY(!Store().contains(QStringLiteral("Document/Path")));
    answers.File(picture);
    app->OnFileOpen();
    QVERIFY(answers.Done());
    QCOMPARE(app->Doc().m_mainImage.m_width, 320u);
    QCOMPARE(Store().value(QStringLiteral("Document/Path")).toString(), folder);
    // the next dialog starts in the remembered folder
    answers.File(QString());
    app->OnFileOpen();
    QCOMPARE(answers.dialogFolders.value(2), folder);
  }

  void recentFiles() {
    const QString folder = TempFolder();
    QStringList pictures;
    for (int i = 0; i < 5; ++i) {
      pictures.append(folder + QStringLiteral("/r%1.png").arg(i));
      QVERIFY(WritePicture(pictures.last(), 64, 64, i + 1));
    }
    auto app = Start();
    for (const QString& p : pictures)
      QCOMPARE(app->OpenDocumentFile(p), CQuiltorApp::OpenResult::Opened);
    QCOMPARE(app->RecentFiles().Entries(),
             (QStringList{pictures[4], pictures[3], pictures[2], pictures[1]}));
    QCOMPARE(app->MainFrame()->Action(Cmd::kFileMruFirst)->text(),
             QStringLiteral("&1 ") + pictures[4]);
    // an entry whose file fails to open is removed
    QFile::remove(pictures[2]);
    app->MainFrame()->Action(Cmd::kFileMruFirst + 2)->trigger();
    QCOMPARE(app->RecentFiles().Entries(), (QStringList{pictures[4], pictures[3], pictures[1]}));
    QVERIFY(!app->MainFrame()->Action(Cmd::kFileMruFirst + 3));  // its action is gone
    // an entry that opens moves to the top
    app->MainFrame()->Action(Cmd::kFileMruFirst + 2)->trigger();
    QCOMPARE(app->RecentFiles().Entries().value(0), pictures[1]);
  }

  // Reading a file shows the busy cursor; a question asked meanwhile shows
  // the normal one; afterwards nothing is left overridden.
  void busyCursorWhileReading() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/busy.png");
    const QString other = folder + QStringLiteral("/other.png");
    QVERIFY(WritePicture(picture, 400, 300));
    QVERIFY(WritePicture(other, 640, 480));
    auto app = Start();
    CMainFrame* frame = app->MainFrame();
    QList<int> shapes;
    connect(frame->OutputWnd()->List()->model(), &QAbstractItemModel::rowsInserted, this, [&] {
      const QCursor* c = QGuiApplication::overrideCursor();
      shapes.append(c ? c->shape() : -1);
    });
    QCOMPARE(app->OpenDocumentFile(picture), CQuiltorApp::OpenResult::Opened);
    QCOMPARE(shapes.value(0), int(Qt::WaitCursor));
    QVERIFY(!QGuiApplication::overrideCursor());
    // a dropped picture of another size asks whether to take it as the new background,
    // then whether to save the unsaved work; Cancel keeps the picture
    app->Doc().SetModifiedFlag(true);
    ModalAnswerer answers;
    answers.Box(QMessageBox::Yes);
    answers.Box(QMessageBox::Cancel);
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(other)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame->View(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame->View(), &drop);
    delete data;
    QVERIFY2(answers.Done(), qPrintable(Lines(frame).join(u'\n')));
    QCOMPARE(answers.boxCursors.value(0), int(Qt::ArrowCursor));
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(answers.boxTexts.value(1).startsWith(QStringLiteral("Save changes to")));
    QVERIFY(app->Doc().IsModified() && app->Doc().m_mainImage.m_width != 640);
    app->Doc().SetModifiedFlag(false);
  }

  void saveQuestionOnClose() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/work.png");
    QVERIFY(WritePicture(picture, 200, 200));
    auto app = Start({picture});
    CMainFrame* frame = app->MainFrame();
    app->Doc().SetModifiedFlag(true);
    ModalAnswerer answers;
    answers.Box(QMessageBox::Cancel);
    QVERIFY(!frame->close());
    QVERIFY(frame->isVisible());
    QCOMPARE(answers.boxTexts.value(0).startsWith(QStringLiteral("Save changes to")), true);
    answers.Box(QMessageBox::No);
    QVERIFY(frame->close());
    QVERIFY(!QFile::exists(folder + QStringLiteral("/work_0001.png")));
  }
};

QUILTOR_WIDGET_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
