// The zoomed view's widget-free arithmetic.
#include <QTest>

#include "view/ZoomGeometry.h"

using namespace viewzoom;
Q_DECLARE_METATYPE(viewzoom::Zoom)

class ZoomGeometryTest : public QObject {
  Q_OBJECT
 private slots:
  void imagePointAndBack_data() {
    QTest::addColumn<Zoom>("zoom");
    QTest::addColumn<QPoint>("client");
    QTest::addColumn<QPoint>("image");
    QTest::newRow("400 %") << Zoom{4, -100, 20} << QPoint(3, 23) << QPoint(25, 0);
    QTest::newRow("left of the picture") << Zoom{4, 10, 10} << QPoint(9, 6) << QPoint(-1, -1);
    QTest::newRow("fitted 0.2") << Zoom{0.2, 0, 0} << QPoint(101, 99) << QPoint(505, 495);
    QTest::newRow("1600 %") << Zoom{16, -32000, -16000} << QPoint(15, 16) << QPoint(2000, 1001);
  }
  void imagePointAndBack() {
    QFETCH(Zoom, zoom);
    QFETCH(QPoint, client);
    QFETCH(QPoint, image);
    QCOMPARE(ImagePointAt(client, zoom), image);
    // the pixel's own corner maps back to itself
    const QPointF corner = ClientOf(image, zoom);
    QCOMPARE(ImagePointAt(corner, zoom), image);
    QVERIFY(corner.x() <= client.x() && client.x() < corner.x() + std::max(1.0, zoom.scale));
  }

  void ladder_data() {
    QTest::addColumn<double>("fitted");
    QTest::addColumn<double>("current");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("expected");
    QTest::newRow("one up") << 0.25 << 0.25 << 1 << 0.25 * M_SQRT2;
    QTest::newRow("two up is double") << 0.25 << 0.25 << 2 << 0.5;
    QTest::newRow("off the ladder up") << 0.25 << 0.3 << 1 << 0.25 * M_SQRT2;
    QTest::newRow("off the ladder down") << 0.25 << 0.3 << -1 << 0.25;
    QTest::newRow("never below fitted") << 0.25 << 0.5 << -5 << 0.25;
    QTest::newRow("stops at 16") << 0.3 << 12.0 << 3 << 16.0;
    QTest::newRow("down from 16") << 0.25 << 16.0 << -1 << 8.0 * M_SQRT2;
    QTest::newRow("fitted 1") << 1.0 << 1.0 << 8 << 16.0;
  }
  void ladder() {
    QFETCH(double, fitted);
    QFETCH(double, current);
    QFETCH(int, steps);
    QFETCH(double, expected);
    QVERIFY(qFuzzyCompare(StepScale(fitted, current, steps), expected));
  }

  // The image point under the pointer stays there within half a client pixel.
  void zoomAboutFixedPoint() {
    const Zoom start{0.2, 30, 50};
    for (const QPointF f : {QPointF(0, 0), QPointF(812, 433), QPointF(1599, 999)}) {
      const QPointF image((f.x() - start.x) / start.scale, (f.y() - start.y) / start.scale);
      Zoom z = start;
      for (int i = 0; i < 9; ++i) {
        z = ZoomAbout(z, StepScale(0.2, z.scale, 1), f);
        const QPointF back = ClientOf(image, z);
        QVERIFY2(std::abs(back.x() - f.x()) <= 0.5 && std::abs(back.y() - f.y()) <= 0.5,
                 qPrintable(QStringLiteral("step %1").arg(i)));
      }
    }
  }

  void panLimits_data() {
    QTest::addColumn<Zoom>("zoom");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<Zoom>("limited");
    // view 1000 x 800 throughout: a quarter is 250 x 200
    QTest::newRow("inside") << Zoom{2, -500, -300} << QSize(2000, 1000) << Zoom{2, -500, -300};
    QTest::newRow("dragged far left")
        << Zoom{2, -9000, -300} << QSize(2000, 1000) << Zoom{2, -3750, -300};
    QTest::newRow("dragged far down")
        << Zoom{2, -500, 5000} << QSize(2000, 1000) << Zoom{2, -500, 600};
    // a picture narrower than a quarter stays whole in the view
    QTest::newRow("narrow") << Zoom{1, -150, 0} << QSize(100, 1000) << Zoom{1, 0, 0};
    QTest::newRow("narrow right") << Zoom{1, 990, 0} << QSize(100, 1000) << Zoom{1, 900, 0};
  }
  void panLimits() {
    QFETCH(Zoom, zoom);
    QFETCH(QSize, image);
    QFETCH(Zoom, limited);
    QCOMPARE(Limited(zoom, QSize(1000, 800), image), limited);
  }

  void zoomToSlice_data() {
    QTest::addColumn<QRect>("square");
    QTest::addColumn<double>("fitted");
    QTest::addColumn<Zoom>("zoom");
    // view 1600 x 1000: the square's side becomes 900 client pixels
    QTest::newRow("512") << QRect(1000, 2000, 512, 512) << 0.2
                         << Zoom{900.0 / 512, 800 - 1256 * 900.0 / 512, 500 - 2256 * 900.0 / 512};
    QTest::newRow("capped at 16") << QRect(0, 0, 32, 32) << 0.2 << Zoom{16, 800 - 256, 500 - 256};
    QTest::newRow("never below fit") << QRect(0, 0, 4000, 4000) << 0.25 << Zoom{0.25, 300, 0};
  }
  void zoomToSlice() {
    QFETCH(QRect, square);
    QFETCH(double, fitted);
    QFETCH(Zoom, zoom);
    const Zoom z = ToSlice(square, QSize(1600, 1000), fitted);
    QVERIFY(qFuzzyCompare(z.scale, zoom.scale));
    QVERIFY(std::abs(z.x - zoom.x) < 1e-6 && std::abs(z.y - zoom.y) < 1e-6);
  }

  void visibleRectAndResize() {
    const Zoom z{4, -400, -200};
    QCOMPARE(VisibleImageRect(z, QSize(1000, 800), QSize(5000, 5000)), QRect(100, 50, 250, 200));
    QCOMPARE(VisibleImageRect(z, QSize(1000, 800), QSize(300, 100)), QRect(100, 50, 200, 50));
    QCOMPARE(VisibleImageRect(Zoom{4, 2000, 0}, QSize(1000, 800), QSize(300, 100)), QRect());
    // the image point at the centre stays at the centre
    const Zoom r = Resized(z, QSize(1000, 800), QSize(1200, 500));
    QCOMPARE(ImagePointAt(QPointF(600, 250), r), ImagePointAt(QPointF(500, 400), z));
    QCOMPARE(Percent(2.5, 1.0), 250);
    QCOMPARE(Percent(0.5, 2.0), 100);
  }
};

QTEST_GUILESS_MAIN(ZoomGeometryTest)
#include "ZoomGeometryTest.moc"
