// What the desktop sees of the program: the desktop file, the AppStream
// data, the installed files, the command line and crisp icons at 200 %.
#include <QDirIterator>
#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolBar>
#include <QToolButton>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/QuiltorApp.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
const QString kSource = QStringLiteral(QUILTOR_SOURCE_DIR);
}

class DesktopIntegrationTest : public QObject {
  Q_OBJECT
 private slots:
  void desktopFileAndMetainfoValidate() {
    QString out;
    QCOMPARE(
        Run(QStringLiteral("desktop-file-validate %1/resources/org.orvandel.Quiltor.desktop 2>&1")
                .arg(kSource),
            &out),
        0);
    QVERIFY2(!out.contains(QStringLiteral("error")), qPrintable(out));
    QCOMPARE(Run(QStringLiteral("appstreamcli validate --no-net "
                                "%1/resources/org.orvandel.Quiltor.metainfo.xml 2>&1")
                     .arg(kSource),
                 &out),
             0);
  }

  void installPlacesExactlyTheProgramAndItsDesktopFiles() {
    const QString prefix = TempFolder();
    const QString build =
        QFileInfo(QStringLiteral(QUILTOR_APP_EXE)).absolutePath() + QStringLiteral("/..");
    QString out;
    QCOMPARE(
        Run(QStringLiteral("cmake --install %1 --prefix %2 >/dev/null 2>&1").arg(build, prefix),
            &out),
        0);
    QStringList files;
    QDirIterator it(prefix, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files.append(it.next().mid(prefix.size()));
    files.sort();
    QCOMPARE(files,
             (QStringList{
                 QStringLiteral("/bin/quiltor"),
                 QStringLiteral("/share/applications/org.orvandel.Quiltor.desktop"),
                 QStringLiteral("/share/icons/hicolor/256x256/apps/org.orvandel.Quiltor.png"),
                 QStringLiteral("/share/icons/hicolor/48x48/apps/org.orvandel.Quiltor.png"),
                 QStringLiteral("/share/icons/hicolor/scalable/apps/org.orvandel.Quiltor.svg"),
                 QStringLiteral("/share/metainfo/org.orvandel.Quiltor.metainfo.xml"),
             }));
  }

  void helpAndVersion() {
    QString out;
    QCOMPARE(Run(QStringLiteral("QT_QPA_PLATFORM=offscreen %1 --version")
                     .arg(QStringLiteral(QUILTOR_APP_EXE)),
                 &out),
             0);
    QVERIFY2(out.startsWith(QStringLiteral("Quiltor ")), qPrintable(out));
    QCOMPARE(Run(QStringLiteral("QT_QPA_PLATFORM=offscreen %1 --help")
                     .arg(QStringLiteral(QUILTOR_APP_EXE)),
                 &out),
             0);
    QVERIFY(out.contains(QStringLiteral("FILE")));
    QVERIFY(Run(QStringLiteral("QT_QPA_PLATFORM=offscreen %1 --no-such-option 2>/dev/null")
                    .arg(QStringLiteral(QUILTOR_APP_EXE))) != 0);
  }

  // At 200 % the toolbar icons come from their vectors at device pixels, not
  // from a 16-pixel picture blown up.
  void toolbarIconsCrispAtTwiceTheScale() {
    auto app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")});
    QVERIFY(app->InitInstance());
    CMainFrame* frame = app->MainFrame();
    QCOMPARE(frame->devicePixelRatioF(), 2.0);
    const struct {
      int id;
      const char* file;
    } icons[] = {{Cmd::kFileNew, ":/icons/new.svg"},
                 {Cmd::kFileSave, ":/icons/save.svg"},
                 {Cmd::kMagnify, ":/icons/magnify.svg"}};
    for (const auto& icon : icons) {
      const QPixmap shown = frame->Action(icon.id)->icon().pixmap(QSize(16, 16), 2.0);
      QCOMPARE(shown.size(), QSize(32, 32));
      QImage reference(32, 32, QImage::Format_ARGB32_Premultiplied);
      reference.fill(Qt::transparent);
      QPainter painter(&reference);
      QSvgRenderer(QString::fromLatin1(icon.file)).render(&painter);
      painter.end();
      const QImage got = shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
      int worst = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          const QRgb a = got.pixel(x, y), b = reference.pixel(x, y);
          worst = qMax(worst, qAbs(qAlpha(a) - qAlpha(b)));
          worst = qMax(worst, qAbs(qRed(a) - qRed(b)));
        }
      QVERIFY2(
          worst <= 16,
          qPrintable(
              QStringLiteral("%1 differs by %2").arg(QLatin1StringView(icon.file)).arg(worst)));
    }
    // and the toolbar button shows it at that ratio
    QToolButton* button = qobject_cast<QToolButton*>(
        frame->StandardToolBar()->widgetForAction(frame->Action(Cmd::kFileNew)));
    QVERIFY(button);
    QCOMPARE(button->grab().devicePixelRatio(), 2.0);
  }
};

int main(int argc, char** argv) {
  widget_testing::IsolateEnvironment();
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  DesktopIntegrationTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "DesktopIntegrationTest.moc"
