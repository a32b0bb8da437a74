// The dark slider: keys, wheel, both drags, queued notifications, the
// accessible value and pixels of both looks.
#include <QAccessible>
#include <QAccessibleValueInterface>

#include "panes/BlackSlider.h"
#include "panes/ControlMath.h"
#include "widgets/WidgetTestSupport.h"

namespace {

// A parent that records the notifications it is posted.
class NotifyRecorder : public QWidget {
 public:
  std::vector<int> codes;
  std::vector<int> valuesSeen;  // GetPos() when each was handled
  bool event(QEvent* e) override {
    if (e->type() == CSliderNotifyEvent::EventType()) {
      auto* n = static_cast<CSliderNotifyEvent*>(e);
      codes.push_back(n->code);
      valuesSeen.push_back(n->slider ? n->slider->GetPos() : -1);
      return true;
    }
    return QWidget::event(e);
  }
  std::vector<int> Take() {
    QCoreApplication::sendPostedEvents(this, CSliderNotifyEvent::EventType());
    std::vector<int> out;
    out.swap(codes);
    valuesSeen.clear();
    return out;
  }
};

using Codes = std::vector<int>;
constexpr int kTrack = CBlackSlider::TB_THUMBTRACK;
constexpr int kEnd = CBlackSlider::TB_ENDTRACK;

QWheelEvent Wheel(QWidget* w, QPoint at, int delta) {
  return QWheelEvent(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
}

}  // namespace

class BlackSliderTest : public QObject {
  Q_OBJECT
  NotifyRecorder* parent = nullptr;
  CBlackSlider* slider = nullptr;

  void Make(int min, int max, int pos, bool bar, int width = 147) {
    delete parent;
    parent = new NotifyRecorder;
    parent->resize(400, 100);
    slider = new CBlackSlider(parent);
    slider->setGeometry(0, 0, width, 24);
    slider->m_bBarStyle = bar ? 1 : 0;
    slider->SetRange(min, max, 0);
    slider->SetPos(pos, 0);
    parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(parent));
    parent->Take();
  }

 private slots:
  void cleanup() {
    delete parent;
    parent = nullptr;
  }

  void keysWrapAndNotify() {
    Make(0, 100, 95, false);
    slider->setFocus();
    QTest::keyPress(slider, Qt::Key_PageDown);
    QCOMPARE(slider->GetPos(), 14);  // 95 + 20 = 115, less the range width 101
    QVERIFY(parent->codes.empty());  // queued, not delivered inside the handler
    QTest::keyRelease(slider, Qt::Key_PageDown);
    QCOMPARE(parent->Take(), (Codes{CBlackSlider::TB_PAGEDOWN, kEnd}));
    QTest::keyClick(slider, Qt::Key_PageUp);
    QCOMPARE(slider->GetPos(), 95);
    QCOMPARE(parent->Take(), (Codes{CBlackSlider::TB_PAGEUP, kEnd}));
    slider->SetPos(100, 0);
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(slider->GetPos(), 0);
    QTest::keyClick(slider, Qt::Key_Up);
    QCOMPARE(slider->GetPos(), 100);
    QTest::keyClick(slider, Qt::Key_Down);
    QTest::keyClick(slider, Qt::Key_Left);
    QCOMPARE(parent->Take(),
             (Codes{CBlackSlider::TB_LINEDOWN, kEnd, CBlackSlider::TB_LINEUP, kEnd,
                    CBlackSlider::TB_LINEDOWN, kEnd, CBlackSlider::TB_LINEUP, kEnd}));
    // Home and End are consumed and change nothing
    QTest::keyClick(slider, Qt::Key_Home);
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(slider->GetPos(), 100);
    QVERIFY(parent->Take().empty());
    // an auto-repeated key ends once
    QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(slider, &repeatUp);
    QVERIFY(parent->Take().empty());
  }

  void wheelStepsAndEndsElevenTicksAfterTheLastNotch() {
    Make(0, 60, 30, true);
    QWheelEvent away = Wheel(slider, QPoint(20, 10), 120);
    QCoreApplication::sendEvent(slider, &away);
    QCOMPARE(slider->GetPos(), 29);  // away from the user decreases
    QWheelEvent towards = Wheel(slider, QPoint(20, 10), -360);
    QCoreApplication::sendEvent(slider, &towards);
    QCOMPARE(slider->GetPos(), 30);  // one step per message
    QCOMPARE(parent->Take(), (Codes{kTrack, kTrack}));
    const int id = slider->WheelTimerId();
    QVERIFY(id != 0);
    for (int tick = 1; tick <= 10; ++tick) {
      QTimerEvent t(id);
      QCoreApplication::sendEvent(slider, &t);
      QCOMPARE(slider->WheelTicks(), tick);
    }
    QVERIFY(parent->Take().empty());
    QTimerEvent eleventh(id);
    QCoreApplication::sendEvent(slider, &eleventh);
    QCOMPARE(parent->Take(), (Codes{kEnd}));
    QCOMPARE(slider->WheelTimerId(), 0);
    QCOMPARE(slider->WheelTicks(), 0);

    // the real timer: one end, about 880 ms after the notch
    QCoreApplication::sendEvent(slider, &away);
    QTRY_VERIFY_WITH_TIMEOUT(slider->WheelTimerId() == 0, 5000);
    QTest::qWait(200);
    QCOMPARE(parent->Take(), (Codes{kTrack, kEnd}));

    // a wheel over a point outside moves the focus to the parent
    parent->setFocusPolicy(Qt::StrongFocus);
    slider->setFocus();
    QWheelEvent outside = Wheel(slider, QPoint(300, 10), 120);
    QCoreApplication::sendEvent(slider, &outside);
    QCOMPARE(slider->GetPos(), 29);
    QVERIFY(parent->Take().empty());
  }

  void trackClickJumps() {
    Make(0, 128, 64, false);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(10, 12));
    QCOMPARE(slider->GetPos(), 1);
    QCOMPARE(parent->Take(), (Codes{kTrack, kEnd}));
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(0, 12));
    QCOMPARE(slider->GetPos(), 0);
    parent->Take();
    // a click that does not change the value ends nothing in the track look
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(0, 12));
    QVERIFY(parent->Take().empty());
  }

  void barClickWithoutMovementStillEnds() {
    Make(0, 255, 128, true);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(70, 12));
    QCOMPARE(slider->GetPos(), 128);
    QCOMPARE(parent->Take(), (Codes{kEnd}));
  }

  void barDragFollowsTheDistanceAndStopsAtTheLimit() {
    Make(0, 255, 128, true, 127);  // two values per pixel
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(60, 12));
    QTest::mouseMove(slider, QPoint(70, 12));
    QCOMPARE(slider->GetPos(), 148);
    QTest::mouseMove(slider, QPoint(130, 12));
    QCOMPARE(slider->GetPos(), 255);
    QTest::mouseMove(slider, QPoint(140, 12));  // beyond: still a notification
    QCOMPARE(slider->GetPos(), 255);
    QTest::mouseMove(slider, QPoint(124, 12));  // 128 + 128 is still beyond
    QCOMPARE(slider->GetPos(), 255);
    QTest::mouseMove(slider, QPoint(123, 12));  // 128 + 126 is inside again
    QCOMPARE(slider->GetPos(), 254);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(123, 12));
    QCOMPARE(parent->Take(), (Codes{kTrack, kTrack, kTrack, kTrack, kTrack, kEnd}));
    // the parent reads the value when it handles a notification
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(60, 12));
    QTest::mouseMove(slider, QPoint(50, 12));
    QTest::mouseMove(slider, QPoint(40, 12));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(40, 12));
    QCoreApplication::sendPostedEvents(parent, CSliderNotifyEvent::EventType());
    QCOMPARE(parent->valuesSeen, (std::vector<int>{214, 214, 214}));
  }

  void rangeKeepsTheValueUntilTheNextMove() {
    Make(0, 255, 200, false);
    slider->SetRange(0, 128, 0);
    QCOMPARE(slider->GetPos(), 200);
    const QImage look = slider->grab().toImage();
    const int m = TrackThumbLeft(200, slider->width(), 0, 128);
    QCOMPARE(m, slider->width() - 19);
    QCOMPARE(QColor(look.pixel(m, 12)), QColor(28, 25, 25));  // the thumb's left frame
    slider->SetPos(200, 0);
    QCOMPARE(slider->GetPos(), 128);
  }

  void trackLookPixels() {
    Make(0, 128, 0, false);
    const QImage look = slider->grab().toImage();
    QCOMPARE(QColor(look.pixel(100, 10)), QColor(61, 66, 78));
    QCOMPARE(QColor(look.pixel(100, 12)), QColor(98, 105, 121));
    QCOMPARE(QColor(look.pixel(100, 14)), QColor(185, 188, 200));
    QCOMPARE(QColor(look.pixel(100, 5)), slider->palette().color(QPalette::Button));
    // thumb at 0: frame, cut corner, fill, gradient top, grip with highlight
    QCOMPARE(QColor(look.pixel(5, 7)), QColor(28, 25, 25));
    QCOMPARE(QColor(look.pixel(0, 7)), slider->palette().color(QPalette::Button));
    QCOMPARE(QColor(look.pixel(1, 8)), QColor(224, 230, 236));
    QCOMPARE(QColor(look.pixel(3, 10)), QColor(211, 217, 223));
    QCOMPARE(QColor(look.pixel(6, 12)), QColor(99, 105, 124));
    QCOMPARE(QColor(look.pixel(7, 15)), QColor(184, 193, 202));
  }

  void barLookPixels() {
    Make(0, 100, 50, true, 130);
    const QImage look = slider->grab().toImage();
    const int h = slider->height();
    QCOMPARE(QColor(look.pixel(0, 10)), QColor(28, 25, 25));  // frame
    QCOMPARE(QColor(look.pixel(60, 3)), QColor(28, 25, 25));  // frame top
    QCOMPARE(QColor(look.pixel(60, h - 5)), QColor(28, 25, 25));
    QCOMPARE(QColor(look.pixel(65, 4)), QColor(205, 208, 220));  // top band, middle
    QCOMPARE(QColor(look.pixel(65, h - 6)), QColor(145, 148, 160));
    QCOMPARE(QColor(look.pixel(64, 10)), QColor(255, 0, 0));  // the value line
    // the line leaves the top band; the band's left half nears the middle colour
    QCOMPARE(QColor(look.pixel(64, 4)),
             GradientColor(QColor(118, 125, 141), QColor(205, 208, 220), 64, 65));
    // a wheel notch shows its progress in the top band
    QWheelEvent notch = Wheel(slider, QPoint(20, 10), 120);
    QCoreApplication::sendEvent(slider, &notch);
    QTimerEvent tick(slider->WheelTimerId());
    QCoreApplication::sendEvent(slider, &tick);
    const QImage progress = slider->grab().toImage();
    QCOMPARE(QColor(progress.pixel(12, 4)), QColor(192, 128, 128));
    QVERIFY(QColor(progress.pixel(13, 4)) != QColor(192, 128, 128));
  }

  void accessibleValueGoesTheKeyWay() {
    Make(0, 60, 30, true);
    slider->setAccessibleName(QStringLiteral("Softness"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(slider);
    QVERIFY(a);
    QCOMPARE(a->role(), QAccessible::Slider);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Softness"));
    QAccessibleValueInterface* v = a->valueInterface();
    QVERIFY(v);
    QCOMPARE(v->minimumValue().toInt(), 0);
    QCOMPARE(v->maximumValue().toInt(), 60);
    QCOMPARE(v->currentValue().toInt(), 30);
    v->setCurrentValue(45);
    QCOMPARE(slider->GetPos(), 45);
    QCOMPARE(parent->Take(), (Codes{CBlackSlider::TB_LINEDOWN, kEnd}));
    v->setCurrentValue(500);
    QCOMPARE(slider->GetPos(), 60);
    QCOMPARE(parent->Take(), (Codes{CBlackSlider::TB_LINEDOWN, kEnd}));
    v->setCurrentValue(60);
    QVERIFY(parent->Take().empty());
  }

  void noParentPostsNothing() {
    CBlackSlider lone;
    lone.resize(100, 24);
    lone.SetRange(0, 10, 0);
    lone.SetPos(5, 0);
    QTest::keyClick(&lone, Qt::Key_Right);
    QCOMPARE(lone.GetPos(), 6);
    QCoreApplication::processEvents();
  }
};

QUILTOR_WIDGET_TEST_MAIN(BlackSliderTest)
#include "BlackSliderTest.moc"
