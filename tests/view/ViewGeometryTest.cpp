// The view's widget-free arithmetic and the partial display update.
#include <random>

#include "image/ISImageEx.h"
#include "view/DisplayScaler.h"
#include "view/ViewGeometry.h"
#include "widgets/WidgetTestSupport.h"

using namespace viewgeom;

class ViewGeometryTest : public QObject {
  Q_OBJECT
 private slots:
  void fitRule_data() {
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("scaled");
    QTest::addColumn<QSize>("fitted");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("exact fit") << QSize(1000, 800) << QSize(1000, 800) << false << QSize(1000, 800)
                               << 1.0 << QPoint(0, 0);
    QTest::newRow("one wider") << QSize(1001, 800) << QSize(1000, 800) << true << QSize(1000, 799)
                               << 1000.0 / 1001 << QPoint(0, 0);
    QTest::newRow("4000x3000") << QSize(4000, 3000) << QSize(1000, 1000) << true << QSize(1000, 750)
                               << 0.25 << QPoint(0, 125);
    QTest::newRow("small") << QSize(300, 200) << QSize(1000, 1000) << false << QSize(300, 200)
                           << 1.0 << QPoint(350, 400);
  }
  void fitRule() {
    QFETCH(QSize, image);
    QFETCH(QSize, client);
    QFETCH(bool, scaled);
    QFETCH(QSize, fitted);
    QFETCH(double, scale);
    QFETCH(QPoint, offset);
    Fit fit{image.width(), image.height(), 1.0};
    QCOMPARE(FitInto(image.width(), image.height(), client.width(), client.height(), fit), scaled);
    QCOMPARE(QSize(fit.width, fit.height), fitted);
    QCOMPARE(fit.scale, scale);
    QCOMPARE(CentredOffset(client.width(), client.height(), fit.width, fit.height), offset);
  }

  void imagePointAndSliceRect() {
    QCOMPARE(ImagePoint({300, 250}, 0.5, {100, 50}), QPoint(400, 400));
    // trunc toward zero left of the picture
    QCOMPARE(ImagePoint({99, 49}, 0.5, {100, 50}), QPoint(-2, -2));
    QCOMPARE(SliceScreenRect({744, 744, 512, 512}, 0.25, {0, 125}), QRect(186, 311, 128, 128));
    QCOMPARE(SliceScreenRect({1, 1, 3, 3}, 0.5, {0, 0}), QRect(0, 0, 2, 2));
  }

  void handlePositions_data() {
    QTest::addColumn<int>("angle");
    QTest::addColumn<QPoint>("centre");
    QTest::newRow("0") << 0 << QPoint(200, 100);
    QTest::newRow("90") << 90 << QPoint(300, 200);
    QTest::newRow("180") << 180 << QPoint(200, 300);
  }
  void handlePositions() {
    QFETCH(int, angle);
    QFETCH(QPoint, centre);
    const Square sq = RotatedSquare({100, 100, 200, 200}, angle);
    QCOMPARE(sq.cx, 200);
    QCOMPARE(sq.side, 200);
    const Handle hd = RotationHandle(sq, HandleRadius(96));
    QCOMPARE(hd.disc.width(), 20);
    const QPoint got = hd.disc.topLeft() + QPoint(10, 10);
    // single-precision sines leave at most one pixel of truncation
    QVERIFY2((got - centre).manhattanLength() <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(got.x()).arg(got.y())));
    QCOMPARE(HandleRadius(144), 15);
  }

  void rotatedCorners() {
    const Square sq = RotatedSquare({100, 100, 200, 200}, 0);
    QCOMPARE(sq.corners[0], QPoint(300, 300));
    QCOMPARE(sq.corners[1], QPoint(100, 300));
    QCOMPARE(sq.corners[2], QPoint(100, 100));
    QCOMPARE(sq.corners[3], QPoint(300, 100));
    const Square turned = RotatedSquare({100, 100, 200, 200}, 45);
    // the (1, 1) corner turns clockwise onto the bottom
    QCOMPARE(turned.corners[0].x(), 200);
    QCOMPARE(turned.corners[0].y(), 341);
  }

  void hitTests() {
    const QRect s(100, 100, 200, 200);
    QVERIFY(InsideSlice(s, {100, 100}));
    QVERIFY(InsideSlice(s, {300, 300}));
    QVERIFY(!InsideSlice(s, {301, 300}));
    const QRect disc(190, 90, 20, 20);
    QVERIFY(disc.contains(QPoint(190, 90)));
    QVERIFY(!disc.contains(QPoint(210, 100)));  // right edge outside
    const int q = BrushNearMargin(248, 0.5);    // trunc(62) / 2
    QCOMPARE(q, 31);
    QVERIFY(BrushNear(s, q, {70, 150}));
    QVERIFY(!BrushNear(s, q, {69, 150}));
    QVERIFY(!BrushNear(s, q, {331, 150}));
  }

  void brushPreview() {
    const BrushDiscs d = BrushRadii(true, 0, 128, 30.0, 50, 0.5);
    QCOMPARE(d.radius, 62);
    QCOMPARE(d.coreRadius, 32);
    QCOMPARE(d.coreRed, 127);
    QCOMPARE(BrushRadii(false, 101, 128, 30.0, 100, 1.0).radius, 50);
    QCOMPARE(BrushRadii(false, 101, 128, 30.0, 100, 1.0).coreRed, 255);
    const QRect b = BrushRect({50, 150}, 10);
    QVERIFY(!BrushMeetsSlice(b, {100, 100, 200, 200}, 10));  // right 60 = 100 - 5 - 35
    QVERIFY(BrushMeetsSlice(BrushRect({86, 150}, 10), {100, 100, 200, 200}, 10));
    QVERIFY(!BrushMeetsSlice(BrushRect({85, 150}, 10), {100, 100, 200, 200}, 10));
  }

  void dragAngle() {
    const QPoint c(500, 500), anchor(500, 400);
    auto at = [&](double degrees) {
      const double a = (degrees - 90) * M_PI / 180;
      return QPoint(int(std::lround(c.x() + 10000 * std::cos(a))),
                    int(std::lround(c.y() + 10000 * std::sin(a))));
    };
    QCOMPARE(DragAngle(350, c, anchor, at(20.2)), 370);
    QCOMPARE(DragAngle(10, c, anchor, at(-20.2)), -10);
    QCOMPARE(MagnifierTopLeft({0, 0}, 0.5, {100, 50}, 512, 1.0), QPointF(-156, -206));
    QCOMPARE(MagnifierTopLeft({0, 0}, 0.5, {100, 50}, 1024, 2.0), QPointF(-156, -206));
  }

  // A partial update equals a full re-scale by method 0, byte for byte.
  void partialDisplayUpdate() {
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 40; ++round) {
      const int sw = pick(40, 900), sh = pick(40, 700);
      const double s = round < 4 ? 1.0 : std::uniform_real_distribution<double>(0.05, 1.0)(random);
      const int tw = std::max(1, int(sw * s)), th = std::max(1, int(sh * s));
      CISImageEx source;
      QCOMPARE(source.Create(uint32_t(sw), uint32_t(sh), 24), 0u);
      for (size_t i = 0; i < size_t(sw) * sh * 3; ++i) source.Pixels()[i] = uint8_t(random());
      CISImageEx display;
      QCOMPARE(display.ResizeFrom(source, uint32_t(tw), uint32_t(th), 0), 0u);
      const QRect changed(pick(-20, sw), pick(-20, sh), pick(1, 300), pick(1, 300));
      const QRect inside = changed.intersected(QRect(0, 0, sw, sh));
      for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
          for (int c = 0; c < 3; ++c)
            source.Pixels()[(size_t(y) * sw + x) * 3 + c] = uint8_t(random());
      CISImageEx full;
      QCOMPARE(full.ResizeFrom(source, uint32_t(tw), uint32_t(th), 0), 0u);
      CDisplayScaler scaler;
      QVERIFY(scaler.Prepare(sw, sh, tw, th));
      const QRect target = scaler.TargetRectFor(changed);
      QVERIFY(target.isEmpty() == inside.isEmpty());
      QVERIFY(scaler.Update(source, display, target));
      const QString where = QStringLiteral("%1x%2 to %3x%4, rect %5,%6 %7x%8")
                                .arg(sw)
                                .arg(sh)
                                .arg(tw)
                                .arg(th)
                                .arg(changed.x())
                                .arg(changed.y())
                                .arg(changed.width())
                                .arg(changed.height());
      QVERIFY2(std::memcmp(display.Pixels(), full.Pixels(), size_t(tw) * th * 3) == 0,
               qPrintable(where));
      // The footprint rectangle is no larger than it has to be.
      if (!target.isEmpty() && tw < sw) QVERIFY(target.width() <= inside.width() * tw / sw + 3);
    }
    CDisplayScaler scaler;
    QVERIFY(!scaler.Prepare(100, 100, 200, 50));  // enlargement is not served
  }
};

QUILTOR_WIDGET_TEST_MAIN(ViewGeometryTest)
#include "ViewGeometryTest.moc"
