// The colour button's drawing at rest, pressed, hovered and focused.
#include <QAccessible>

#include "panes/ColorButton.h"
#include "widgets/WidgetTestSupport.h"

class ColorButtonTest : public QObject {
  Q_OBJECT
 private slots:
  void restPressedHoverAndFocus() {
    QWidget window;
    window.resize(200, 100);
    auto* other = new QWidget(&window);
    other->setFocusPolicy(Qt::StrongFocus);
    auto* button = new CColorButton(QStringLiteral("Apply Merge"), &window);
    button->m_crColor = QColor(247, 230, 204);
    button->setGeometry(10, 10, 102, 33);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    other->setFocus();

    QImage at = button->grab().toImage();
    QCOMPARE(QColor(at.pixel(0, 0)), QColor(172, 161, 142));  // frame
    QCOMPARE(QColor(at.pixel(1, 1)), QColor(248, 235, 214));  // no thick frame at rest
    QCOMPARE(QColor(at.pixel(4, 4)), QColor(248, 235, 214));
    QCOMPARE(QColor(at.pixel(101, 32)), QColor(172, 161, 142));

    button->setDown(true);
    at = button->grab().toImage();
    QCOMPARE(QColor(at.pixel(0, 0)), QColor(123, 115, 102));
    QCOMPARE(QColor(at.pixel(4, 4)), QColor(247, 230, 204));
    button->setDown(false);

    // hover: 5 percent lighter base and a thick frame; leave restores the rest
    QTest::mouseMove(button, QPoint(50, 15));
    QTRY_VERIFY(button->IsHovered());
    at = button->grab().toImage();
    const QColor thick(172, 161, 144);
    QCOMPARE(QColor(at.pixel(4, 4)), QColor(248, 235, 215));  // (247, 231, 206) lightened
    QCOMPARE(QColor(at.pixel(0, 0)), thick);
    QCOMPARE(QColor(at.pixel(1, 1)), thick);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    QVERIFY(!button->IsHovered());
    at = button->grab().toImage();
    QCOMPARE(QColor(at.pixel(1, 1)), QColor(248, 235, 214));

    // the focus keeps the thick frame
    window.activateWindow();
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
    at = button->grab().toImage();
    QCOMPARE(QColor(at.pixel(1, 1)), QColor(172, 161, 142));
    QCOMPARE(QColor(at.pixel(2, 2)), QColor(248, 235, 214));

    // the caption is drawn, in the button-text colour
    bool text = false;
    const QColor ink = button->palette().color(QPalette::ButtonText);
    for (int y = 8; y < 25 && !text; ++y)
      for (int x = 10; x < 90 && !text; ++x) text = QColor(at.pixel(x, y)) == ink;
    QVERIFY(text);
  }

  // A dark look's light text would vanish on the pale fill: black is used.
  void captionReadableUnderADarkPalette() {
    CColorButton button(QStringLiteral("Quick Import"));
    button.m_crColor = QColor(204, 247, 209);
    QPalette dark = button.palette();
    dark.setColor(QPalette::ButtonText, QColor(220, 220, 220));
    button.setPalette(dark);
    button.resize(102, 33);
    const QImage at = button.grab().toImage();
    int black = 0, light = 0;
    for (int y = 8; y < 25; ++y)
      for (int x = 10; x < 90; ++x) {
        const QColor c(at.pixel(x, y));
        if (c == Qt::black) ++black;
        if (c == QColor(220, 220, 220)) ++light;
      }
    QVERIFY(black > 10);
    QCOMPARE(light, 0);
  }

  void staysAButton() {
    CColorButton button(QStringLiteral("Export && Lock"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&button);
    QVERIFY(a);
    QCOMPARE(a->role(), QAccessible::Button);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Export & Lock"));
    QSignalSpy clicked(&button, &QPushButton::clicked);
    button.resize(80, 30);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
  }
};

QUILTOR_WIDGET_TEST_MAIN(ColorButtonTest)
#include "ColorButtonTest.moc"
