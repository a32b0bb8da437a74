// The zoomed view: the drawn picture is the picture's own pixels, input
// lands on the zoomed image point, and painting through the zoomed window
// equals the console's paint at the same image points.
#include <QWheelEvent>

#include "ViewTestSupport.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
// Every client pixel over the picture shows the picture pixel under it.
int Mismatches(CQuiltorView& view, const CISImageEx& image) {
  const QImage shot = Grab(view);
  int bad = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QPoint at = view.ImagePointOf(QPoint(x, y));
      if (at.x() < 0 || at.y() < 0 || at.x() >= int(image.m_width) || at.y() >= int(image.m_height))
        continue;
      if (QColor(shot.pixel(x, y)) != ImagePixel(image, at.x(), at.y())) ++bad;
    }
  return bad;
}
void Wheel(QWidget& w, QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWheelEvent event(QPointF(at), w.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&w, &event);
}
}  // namespace

class ZoomViewTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }  // Match Colours is stored

  void drawnPictureIsThePicturesPixels_data() {
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("percent");
    QTest::newRow("1:1") << 2 << 100;
    QTest::newRow("400 %") << 6 << 400;
  }
  void drawnPictureIsThePicturesPixels() {
    QFETCH(int, steps);
    QFETCH(int, percent);
    ViewFixture f(400, 300);  // fitted scale 0.5
    MakePicture(f.doc.m_mainImage, 800, 600);
    f.doc.m_sliceX = 100000;  // the default square's outline out of sight
    const QImage fitted = Grab(f.view);
    f.view.ZoomBy(steps, QPointF(123, 77));
    QCOMPARE(f.view.ZoomPercent(), percent);
    QCOMPARE(Mismatches(f.view, f.doc.m_mainImage), 0);
    // back to Fit: the same pixels and numbers as before any zoom
    f.view.FitToWindow();
    QVERIFY(!f.view.Zoomed());
    QCOMPARE(Grab(f.view), fitted);
    QCOMPARE(f.view.DisplayScale(), 0.5);
  }

  void wheelKeepsThePointUnderThePointer() {
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 1600, 1200);
    Grab(f.view);
    const QPoint pointer(311, 97);
    const QPoint under = f.view.ImagePointOf(pointer);
    for (int i = 0; i < 5; ++i)
      Wheel(f.view, pointer, 120, i % 2 ? Qt::ControlModifier : Qt::NoModifier);
    QVERIFY(f.view.Zoomed());
    QVERIFY((f.view.ImagePointOf(pointer) - under).manhattanLength() <= 1);
    // never below the fitted view
    for (int i = 0; i < 12; ++i) Wheel(f.view, pointer, -120);
    QVERIFY(!f.view.Zoomed());
    QCOMPARE(f.view.DisplayScale(), 0.25);
  }

  void panKeepsAQuarterOfTheView() {
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 800, 600);
    f.view.ActualPixels();
    const QPoint centre = f.view.ImagePointOf(QPoint(200, 150));
    QTest::keyClick(&f.view, Qt::Key_Right);
    QCOMPARE(f.view.ImagePointOf(QPoint(200, 150)), centre + QPoint(40, 0));
    SendMouse(f.view, QEvent::MouseButtonPress, {100, 100}, Qt::MiddleButton, Qt::MiddleButton);
    SendMouse(f.view, QEvent::MouseMove, {5000, 5000}, Qt::NoButton, Qt::MiddleButton);
    SendMouse(f.view, QEvent::MouseButtonRelease, {5000, 5000}, Qt::MiddleButton, Qt::NoButton);
    // the picture's top-left corner stops a quarter before the view's far corner
    QCOMPARE(f.view.ImagePointOf(QPoint(300, 225)), QPoint(0, 0));
    QCOMPARE(f.view.ImagePointOf(QPoint(299, 224)), QPoint(-1, -1));
    // a resize keeps the image point at the centre
    const QPoint before = f.view.ImagePointOf(QPoint(200, 150));
    f.view.resize(500, 340);
    Grab(f.view);
    QCOMPARE(f.view.ImagePointOf(QPoint(250, 170)), before);
  }

  void zoomToSliceWhenMergingAndBack() {
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 1600, 1200);
    f.doc.m_backupImage.CopyFrom(f.doc.m_mainImage);
    f.doc.CreateSlice(256, 0, 1);
    f.view.SetZoomToSliceWhenMerging(true);
    f.view.ZoomBy(1, QPointF(10, 10));
    const QPoint corner = f.view.ImagePointOf(QPoint(0, 0));
    MakePicture(f.doc.m_sliceImage, 256, 256);
    f.doc.BuildMerge();
    Grab(f.view);
    // the square fills 90 % of the shorter side
    QCOMPARE(f.doc.m_sliceScreenWidth, 270);
    QVERIFY(qAbs(f.doc.m_sliceScreenLeft + 135 - 200) <= 1);
    f.doc.CancelMerge();
    Grab(f.view);
    QCOMPARE(f.view.ImagePointOf(QPoint(0, 0)), corner);
  }

  // Whole-mask changes during a merge report the square's rectangle; the
  // fitted copy and the zoomed picture stay what a full rebuild shows.
  void mergeChangesReportTheSquare_data() {
    QTest::addColumn<int>("change");
    QTest::newRow("fill") << 0;
    QTest::newRow("invert") << 1;
    QTest::newRow("edge blur") << 2;
    QTest::newRow("match colours") << 3;
    QTest::newRow("undo") << 4;
  }
  void mergeChangesReportTheSquare() {
    QFETCH(int, change);
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 1600, 1200);
    f.doc.m_backupImage.CopyFrom(f.doc.m_mainImage);
    f.doc.CreateSlice(256, 0, 1);
    MakeFlat(f.doc.m_sliceImage, 256, 256, QColor(200, 10, 90));
    f.doc.BuildMerge();
    f.doc.FillMask(100);
    Grab(f.view);
    f.view.ZoomBy(4, QPointF(200, 150));  // 1:1
    Grab(f.view);
    f.host.changes.clear();
    switch (change) {
      case 0: f.doc.FillMask(255); break;
      case 1: f.doc.InvertMask(); break;
      case 2: f.services.edgeBlur = 8, f.doc.RefreshMerge(); break;
      case 3: f.doc.SetMatchColours(!f.doc.MatchColoursOn()); break;
      default: f.doc.Undo(); break;
    }
    QCOMPARE(f.doc.m_displayRefresh, 0);
    QCOMPARE(f.host.changes.size(), size_t(1));
    QVERIFY(QRect(f.doc.m_sliceX, f.doc.m_sliceY, 256, 256).contains(f.host.changes[0]));
    QCOMPARE(Mismatches(f.view, f.doc.m_mainImage), 0);
    f.view.FitToWindow();
    const QImage partial = Grab(f.view);
    f.doc.m_displayRefresh = 1;
    QCOMPARE(Grab(f.view), partial);
  }

  // A stroke at 400 % through the view, and the console's paint at the image
  // points it reached: the same main image.
  void paintingAt400EqualsTheConsole() {
    const QString root = TempFolder();
    const QString picture = root + QStringLiteral("/picture.png");
    const QString returned = root + QStringLiteral("/returned.png");
    QVERIFY(WritePicture(picture, 800, 600, 3));
    QVERIFY(WritePicture(returned, 256, 256, 4));
    ViewFixture f(400, 300);
    f.doc.ImportFile(picture);
    f.doc.CreateSlice(256, 0, 1);
    f.doc.MoveSlice(300, 200);
    f.doc.ImportFile(returned);
    QCOMPARE(f.doc.m_merge, uint8_t(1));
    f.doc.m_tool = 0;
    f.doc.m_brush.m_brushSize = 24;
    f.doc.m_brush.m_softness = 6;
    f.doc.m_brush.m_opacity = 90;
    f.doc.m_brush.Build();
    Grab(f.view);
    f.view.ZoomBy(6, QPointF(220, 180));
    QCOMPARE(f.view.ZoomPercent(), 400);
    QStringList points;
    const QList<QPoint> stroke{{150, 120}, {190, 140}, {230, 150}, {260, 200}};
    for (int i = 0; i < stroke.size(); ++i) {
      const QPoint at = f.view.ImagePointOf(stroke[i]);
      points << QString::number(at.x()) << QString::number(at.y());
      if (i == 0)
        Press(f.view, stroke[i]);
      else
        Move(f.view, stroke[i], true);
    }
    Release(f.view, stroke.last());
    Move(f.view, QPoint(-5000, -5000), false);  // the brush outline out of sight
    QCOMPARE(Mismatches(f.view, f.doc.m_mainImage), 0);

    const QString script = QStringLiteral(
                               "open %1\nslice 256\nmove 300 200\nimport %2\ntool eraser\n"
                               "brush 24 6 90\npaint %3\nwrite-main %4/console.png\n")
                               .arg(picture, returned, points.join(u' '), root);
    QFile file(root + QStringLiteral("/paint.script"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script.toUtf8());
    file.close();
    QString out;
    QCOMPARE(Run(QStringLiteral("cd '%1' && XDG_CONFIG_HOME='%1/cli' '%2' run paint.script")
                     .arg(root, QStringLiteral(QUILTOR_CLI)),
                 &out),
             0);
    CISImageEx console;
    QVERIFY2(LoadPicture(root + QStringLiteral("/console.png"), console), qPrintable(out));
    const CISImageEx& main = f.doc.m_mainImage;
    QCOMPARE(console.m_width, main.m_width);
    QVERIFY(std::memcmp(console.Pixels(), main.Pixels(), size_t(main.RowBytes()) * main.m_height) ==
            0);
    CISImageEx original;
    QVERIFY(LoadPicture(picture, original));
    QVERIFY(std::memcmp(original.Pixels(), main.Pixels(),
                        size_t(main.RowBytes()) * main.m_height) != 0);
  }
};

QUILTOR_WIDGET_TEST_MAIN(ZoomViewTest)
#include "ZoomViewTest.moc"
