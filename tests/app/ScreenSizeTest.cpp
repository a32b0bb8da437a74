// The window on small screens (run at 1024 x 700, and at 1600 x 1000 with
// scale factor 2): every control of both panes within reach, visible or by
// scrolling its pane, and an image view of at least 400 x 300 logical
// pixels; a placement stored on a larger screen comes back inside this one.
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <memory>

#include "app/FileView.h"
#include "app/MainFrame.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "app/WindowPlacement.h"
#include "panes/LeftDialog.h"
#include "panes/PaneControls.h"
#include "panes/PropertyDialog.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
std::unique_ptr<CQuiltorApp> Start() {
  auto app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")});
  if (!app->InitInstance()) return nullptr;
  return app;
}

// Every control of a pane's dialog can be scrolled into its pane's view.
void CheckReachable(QScrollArea* area, QWidget* dialog) {
  for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!control->property(kControlIdProperty).isValid() || control->isHidden()) continue;
    // scrolled as a user would, until the whole control shows
    const int top = control->mapTo(dialog, QPoint(0, 0)).y();
    area->verticalScrollBar()->setValue(
        std::max(0, top + control->height() - area->viewport()->height()));
    QApplication::processEvents();
    const QRect shown(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
    QVERIFY2(area->viewport()->rect().contains(shown) && control->width() >= 12 &&
                 control->height() >= 8,
             qPrintable(control->objectName()));
  }
}
}  // namespace

class ScreenSizeTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }

  void placementRules() {
    using namespace placement;
    const QRect area(0, 30, 800, 470);
    QCOMPARE(ClampToArea(QRect(100, 100, 2800, 1800), area), area);
    QCOMPARE(ClampToArea(QRect(700, 0, 300, 200), area), QRect(500, 30, 300, 200));
    QCOMPARE(ClampToArea(QRect(10, 40, 300, 200), area), QRect(10, 40, 300, 200));
    QCOMPARE(FirstStart(QSize(1400, 900), area), QRect(40, 53, 720, 423));
    QCOMPARE(FirstStart(QSize(600, 400), QRect(0, 0, 1600, 1000)), QRect(500, 300, 600, 400));
    // the view short of 78 pixels: taken in proportion to what lies above each minimum
    QCOMPARE(ShrinkDocks(322, 400, {216, 250}, {120, 120}), (std::vector<int>{182, 206}));
    QCOMPARE(ShrinkDocks(500, 400, {216, 250}, {120, 120}), (std::vector<int>{216, 250}));
    QCOMPARE(ShrinkDocks(100, 400, {216, 250}, {120, 120}), (std::vector<int>{120, 120}));
  }

  void everyControlWithinReach_data() {
    QTest::addColumn<bool>("storedLarger");
    QTest::addColumn<bool>("maximised");
    QTest::newRow("first start") << false << false;
    QTest::newRow("stored on a larger screen") << true << false;
    QTest::newRow("maximised") << false << true;
  }
  void everyControlWithinReach() {
    QFETCH(bool, storedLarger);
    QFETCH(bool, maximised);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // the screens this test is run on, in logical pixels
    QVERIFY2(available.size() == QSize(1024, 700) || available.size() == QSize(800, 500),
             "run with the screen files of tests/app");
    if (storedLarger) {
      auto first = Start();
      QVERIFY(first);
      first->MainFrame()->setGeometry(0, 0, 2800, 1800);
      first->MainFrame()->SaveWorkspace();
    }
    auto app = Start();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    if (maximised) frame->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_VERIFY(available.contains(frame->geometry()));
    QTRY_VERIFY(frame->View()->width() >= placement::kMinViewWidth);
    QTRY_VERIFY(frame->View()->height() >= placement::kMinViewHeight);

    // a first start takes at most 90 % of the screen, or all of it when that
    // would leave the view too small
    if (!storedLarger && !frame->isMaximized()) {
      QVERIFY(frame->width() <= available.width() * 9 / 10);
      QVERIFY(frame->height() <= available.height() * 9 / 10);
    }

    CheckReachable(qobject_cast<QScrollArea*>(frame->FileView()->widget()),
                   frame->FileView()->Dialog());
    CPropertiesWnd* merger = frame->PropertiesWnd();
    CheckReachable(merger->findChild<QScrollArea*>(), merger->Dialog());
    for (QAction* tool : {merger->BrushAction(), merger->EraserAction()}) {
      QWidget* button = merger->ToolBar()->widgetForAction(tool);
      QVERIFY(button && button->isVisible());
      QVERIFY(merger->rect().contains(QRect(button->mapTo(merger, QPoint(0, 0)), button->size())));
    }
  }
};

QUILTOR_WIDGET_TEST_MAIN(ScreenSizeTest)
#include "ScreenSizeTest.moc"
