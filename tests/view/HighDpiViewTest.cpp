// The view at the device pixel ratio the environment asks for
// (QT_SCALE_FACTOR, 1 unless set; the test list runs it at 1 and 2): the
// display copy and the magnifier at device pixels, the geometry in logical
// pixels as at ratio 1.
#include "ViewTestSupport.h"
#include "widgets/WidgetTestSupport.h"

class HighDpiViewTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    const double wanted = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                              ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                              : 1.0;
    ViewFixture f(10, 10);
    QCOMPARE(f.view.devicePixelRatioF(), wanted);
  }

  void pictureAtDevicePixels() {
    ViewFixture f(400, 300);
    const double r = f.view.devicePixelRatioF();
    MakePicture(f.doc.m_mainImage, 800, 600);
    f.doc.CreateSlice(200, 0, 1);
    const QImage shot = Grab(f.view);
    QCOMPARE(shot.size(), QSize(int(400 * r), int(300 * r)));
    // the fit rule on 400 x 300 x r device pixels; the geometry stays logical
    QCOMPARE(f.view.DisplayCopy().m_width, uint32_t(std::min(800.0, 400 * r)));
    QCOMPARE(f.view.DisplayScale(), 0.5);
    QCOMPARE(f.view.ImageOffset(), QPoint(0, 0));
    QCOMPARE(QRect(f.doc.m_sliceScreenLeft, f.doc.m_sliceScreenTop, f.doc.m_sliceScreenWidth,
                   f.doc.m_sliceScreenHeight),
             QRect(150, 100, 100, 100));
    QCOMPARE(f.view.ImagePointOf({300, 250}), QPoint(600, 500));
    // away from the slice, each device pixel is a display-copy pixel
    for (QPoint d : {QPoint(3, 5), QPoint(int(60 * r) + 1, int(20 * r) + 1)}) {
      const uint8_t* p = f.view.DisplayCopy().Pixels() +
                         (size_t(d.y()) * f.view.DisplayCopy().m_width + d.x()) * 3;
      QCOMPARE(QColor(shot.pixel(d)), QColor(p[0], p[1], p[2]));
    }
    if (r == 2.0) QCOMPARE(QColor(shot.pixel(7, 9)), ImagePixel(f.doc.m_mainImage, 7, 9));
  }

  void magnifierOneImagePixelPerDevicePixel() {
    ViewFixture f(800, 600);
    const double r = f.view.devicePixelRatioF();
    MakePicture(f.doc.m_mainImage, 3000, 2000);
    f.doc.CreateSlice(128, 0, 1);
    f.view.ToggleMagnifier();
    Grab(f.view);
    Move(f.view, {300, 200}, false);
    const QPoint centre = f.view.MagnifierCentre();
    const QImage shot = Grab(f.view);
    // the patch is 512 logical pixels wide, centred on the pointer
    const QPoint device(int(300 * r), int(200 * r));
    for (QPoint k : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(7, -5), QPoint(-9, 4)}) {
      const QPoint at = device + k;
      const QPoint image =
          centre + k +
          QPoint(
              int((300 - f.view.ImageOffset().x() - int(centre.x() * f.view.DisplayScale())) * r),
              int((200 - f.view.ImageOffset().y() - int(centre.y() * f.view.DisplayScale())) * r));
      QCOMPARE(QColor(shot.pixel(at)), ImagePixel(f.doc.m_mainImage, image.x(), image.y()));
    }
    const int edge = int((300 + 256) * r) - 1;  // the frame's last device column
    QCOMPARE(shot.pixel(edge, device.y()), qRgb(0, 0, 0));
  }
};

int main(int argc, char** argv) {
  widget_testing::IsolateEnvironment();
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  HighDpiViewTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}
#include "HighDpiViewTest.moc"
