// Send to Stable Diffusion in the window, against fake_sd_server.py: Ctrl+Return
// exports, shows the progress in the status bar and merges the result while
// the window keeps running; Escape interrupts the server and leaves the
// square locked; the settings dialog's Test connection lists the models.
#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QSettings>
#include <memory>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/OutputWnd.h"
#include "app/QuiltorApp.h"
#include "app/SdSendUi.h"
#include "app/SdSettingsDialog.h"
#include "document/QuiltorDoc.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {

bool Logged(CMainFrame* frame, const QString& start) {
  COutputList* list = frame->OutputWnd()->List();
  for (int i = 0; i < list->LineCount(); ++i)
    if (list->Line(i).startsWith(start)) return true;
  return false;
}

}  // namespace

class SdSendUiTest : public QObject {
  Q_OBJECT
  QString m_dir;
  QString m_port;
  QString m_pid;

  std::unique_ptr<CQuiltorApp> Start(const QString& prompt) {
    ClearSettings();
    QSettings s(QStringLiteral("Orvandel"), QStringLiteral("Quiltor"));
    s.setValue(QStringLiteral("Settings/Path"), m_dir + QStringLiteral("/slices"));
    s.setValue(QStringLiteral("StableDiffusion/Address"),
               QStringLiteral("http://127.0.0.1:") + m_port);
    s.setValue(QStringLiteral("StableDiffusion/Prompt"), prompt);
    s.setValue(QStringLiteral("StableDiffusion/PollMs"), 20);
    s.sync();
    auto app = std::make_unique<CQuiltorApp>(
        QStringList{QStringLiteral("quiltor"), m_dir + QStringLiteral("/pic.png")});
    if (!app->InitInstance()) return nullptr;
    return app;
  }

 private slots:
  void initTestCase() {
    m_dir = TempFolder();
    QVERIFY(WritePicture(m_dir + QStringLiteral("/pic.png"), 800, 600));
    QString out;
    Run(QStringLiteral("python3 " QUILTOR_SOURCE_DIR "/tests/sd/fake_sd_server.py --port-file ") +
            m_dir + QStringLiteral("/port --record ") + m_dir +
            QStringLiteral("/record --steps 6 >/dev/null 2>&1 & echo $!"),
        &out);
    m_pid = out.trimmed();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir + QStringLiteral("/port")), 10000);
    QFile port(m_dir + QStringLiteral("/port"));
    QVERIFY(port.open(QIODevice::ReadOnly));
    m_port = QString::fromLatin1(port.readAll());
  }
  void cleanupTestCase() { Run(QStringLiteral("kill ") + m_pid); }

  void CtrlReturnSendsShowsProgressAndMerges() {
    auto app = Start(QStringLiteral("a castle"));
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QProgressBar* bar = frame->StableDiffusion()->ProgressBar();
    QVERIFY(!bar->isVisibleTo(frame));
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(Logged(frame, QStringLiteral("Sent to Stable Diffusion: ")));
    QVERIFY(bar->isVisibleTo(frame));
    QVERIFY(!frame->Action(Cmd::kSendToSd)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(app->Doc().m_merge == 1, 10000);
    QVERIFY(Logged(frame, QStringLiteral("Load & Merge Slice: ") + m_dir +
                              QStringLiteral("/slices/slice_001_(0,0,512,512)-sd.png")));
    QVERIFY(!bar->isVisibleTo(frame));
    QVERIFY(frame->Action(Cmd::kSendToSd)->isEnabled());
  }

  void EscapeInterruptsAndLeavesTheSquareLocked() {
    auto app = Start(QStringLiteral("fail:silent"));
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QFile::remove(m_dir + QStringLiteral("/record"));
    frame->Action(Cmd::kSendToSd)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir + QStringLiteral("/record")), 10000);
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame->View(), Qt::Key_Escape);
    QVERIFY(Logged(frame, QStringLiteral("Stable Diffusion interrupted")));
    QVERIFY(!frame->StableDiffusion()->Busy());
    QCOMPARE(int(app->Doc().m_locked), 1);
    QCOMPARE(int(app->Doc().m_merge), 0);
    auto interrupted = [this] {
      QFile record(m_dir + QStringLiteral("/record"));
      return record.open(QIODevice::ReadOnly) && record.readAll().contains("/sdapi/v1/interrupt");
    };
    QTRY_VERIFY_WITH_TIMEOUT(interrupted(), 10000);
  }

  void TestConnectionListsTheModels() {
    auto app = Start(QString());
    QVERIFY(app);
    CSdSettingsDialog dialog(app->Services().settings);
    dialog.TestConnection();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.TestResult(),
                              QStringLiteral("Connected. Models: fake-v1.safetensors [0123456789]"),
                              10000);
  }
};

QUILTOR_WIDGET_TEST_MAIN(SdSendUiTest)
#include "SdSendUiTest.moc"
