// The image view's paint and input, read back from grab().
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QUrl>

#include "ViewTestSupport.h"
#include "widgets/WidgetTestSupport.h"

namespace {
// Pixel counts of a colour inside a rectangle.
int Count(const QImage& image, const QRect& area, QRgb colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) ++n;
  return n;
}
// The handle disc's centre of the last paint.
QPoint HandleCentre(const CQuiltorView& view) { return view.HandleRect().center() + QPoint(1, 1); }
// A point at `degrees` clockwise from straight up around c, far out.
QPoint Around(QPoint c, double degrees, double radius) {
  const double a = (degrees - 90) * M_PI / 180;
  return QPoint(int(std::lround(c.x() + radius * std::cos(a))),
                int(std::lround(c.y() + radius * std::sin(a))));
}
}  // namespace

class QuiltorViewTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 1.0); }

  void exactFitAndOneWider() {
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 400, 300);
    QImage shot = Grab(f.view);
    QCOMPARE(f.view.DisplayScale(), 1.0);
    QCOMPARE(f.view.ImageOffset(), QPoint(0, 0));
    QCOMPARE(QColor(shot.pixel(17, 33)), ImagePixel(f.doc.m_mainImage, 17, 33));
    QCOMPARE(QColor(shot.pixel(399, 299)), ImagePixel(f.doc.m_mainImage, 399, 299));
    // the display copy is the image's own rows, not a copy of a copy
    QCOMPARE(f.view.DisplayCopy().m_width, 400u);

    MakePicture(f.doc.m_mainImage, 401, 300);
    f.doc.m_displayRefresh = 1;
    shot = Grab(f.view);
    QCOMPARE(f.doc.m_displayRefresh, 0);
    QCOMPARE(f.view.DisplayCopy().m_width, 400u);
    QCOMPARE(f.view.DisplayCopy().m_height, 299u);
    QCOMPARE(f.view.DisplayScale(), 400.0 / 401);
  }

  // A fitted side of zero pixels shows nothing and breaks nothing.
  void degenerateSizes() {
    ViewFixture f(1000, 1000);
    MakeFlat(f.doc.m_mainImage, 1001, 1, QColor(5, 6, 7));
    QImage shot = Grab(f.view);
    QVERIFY(!f.view.DisplayCopy().HasPixels());
    QCOMPARE(shot.pixel(500, 500), qRgb(255, 255, 255));
    f.view.ImageChanged(QRect(0, 0, 10, 1));
    MakeFlat(f.doc.m_mainImage, 5, 5000, QColor(5, 6, 7));
    f.doc.m_displayRefresh = 1;
    shot = Grab(f.view);
    QCOMPARE(f.view.DisplayCopy().m_height, 1000u);
    QCOMPARE(shot.pixel(499, 500), qRgb(5, 6, 7));  // one pixel wide, centred
  }

  void largeImageFits() {
    ViewFixture f(1000, 1000);
    MakeFlat(f.doc.m_mainImage, 4000, 3000, QColor(10, 200, 30));
    const QImage shot = Grab(f.view);
    QCOMPARE(f.view.DisplayScale(), 0.25);
    QCOMPARE(f.view.DisplayCopy().m_width, 1000u);
    QCOMPARE(f.view.DisplayCopy().m_height, 750u);
    QCOMPARE(f.view.ImageOffset(), QPoint(0, 125));
    QCOMPARE(shot.pixel(500, 124), qRgb(255, 255, 255));
    QCOMPARE(shot.pixel(500, 126), qRgb(10, 200, 30));
    QCOMPARE(shot.pixel(500, 875), qRgb(255, 255, 255));
  }

  void helpTextAndDefaultSlice() {
    ViewFixture f(800, 600);
    const QImage shot = Grab(f.view);
    // black text on white, and the white slice square over it
    QVERIFY(Count(shot, QRect(40, 40, 720, 200), qRgb(0, 0, 0)) > 500);
    QCOMPARE(f.doc.m_sliceScreenWidth, 512);
    QCOMPARE(shot.pixel(799, 599), qRgb(255, 255, 255));
  }

  // The white default square, invisible on the white page, must not cut a
  // column out of the glyphs it crosses: the page is the same without it.
  void helpTextWholeUnderTheDefaultSquare_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("800 x 600") << QSize(800, 600);
    QTest::newRow("view of a 1600 x 1000 screen") << QSize(1010, 620);
  }
  void helpTextWholeUnderTheDefaultSquare() {
    QFETCH(QSize, size);
    ViewFixture f(size.width(), size.height());
    const QImage withSquare = Grab(f.view);
    f.doc.m_sliceX = -100000;  // drawn far outside the page
    const QImage withoutSquare = Grab(f.view);
    QCOMPARE(withSquare, withoutSquare);
  }

  void nonRotatingSliceDrawnUpright() {
    ViewFixture f(600, 600);
    MakeFlat(f.doc.m_mainImage, 600, 600, QColor(0, 0, 0));
    f.doc.CreateSlice(200, 0, 1);
    f.doc.m_angle = 30;
    const QImage shot = Grab(f.view);
    QCOMPARE(f.doc.m_angle, 0);
    QCOMPARE(f.doc.m_sliceScreenLeft, 200);
    QCOMPARE(shot.pixel(300, 200), qRgb(255, 255, 255));  // top edge, white (free)
    QCOMPARE(shot.pixel(300, 205), qRgb(0, 0, 0));
    QVERIFY(f.view.HandleRect().isEmpty());
  }

  void rotatingHandleAndDrag() {
    ViewFixture f(600, 600);
    MakeFlat(f.doc.m_mainImage, 600, 600, QColor(0, 0, 0));
    f.doc.CreateSlice(200, 1, 1);
    f.doc.SetSliceAngle(350);
    Grab(f.view);
    const QPoint centre(300, 300);
    QVERIFY((HandleCentre(f.view) - Around(centre, 350, 100)).manhattanLength() <= 2);
    // The handle lies half inside the square: the handle test comes first.
    QVERIFY(f.view.HandleRect().contains(HandleCentre(f.view) + QPoint(0, 5)));
    Press(f.view, HandleCentre(f.view) + QPoint(0, 5));
    QCOMPARE(f.doc.m_dragState, 2);
    const QPoint anchor = HandleCentre(f.view) + QPoint(0, 5);
    const double grabbed = std::atan2(anchor.y() - 300.0, anchor.x() - 300.0) * 180 / M_PI + 90;
    Move(f.view, Around(centre, grabbed + 20.3, 5000), true);
    QCOMPARE(f.doc.m_angle, 10);
    const QImage dragging = Grab(f.view);
    QCOMPARE(dragging.pixel(HandleCentre(f.view)), qRgb(255, 238, 0));
    Release(f.view, {0, 0});
    QCOMPARE(f.doc.m_dragState, 0);
    Grab(f.view);
    const QPoint anchor2 = HandleCentre(f.view);
    Press(f.view, anchor2);
    QCOMPARE(f.doc.m_dragState, 2);
    const double grabbed2 = std::atan2(anchor2.y() - 300.0, anchor2.x() - 300.0) * 180 / M_PI + 90;
    Move(f.view, Around(centre, grabbed2 - 20.3, 5000), true);
    QCOMPARE(f.doc.m_angle, 350);
    Release(f.view, {0, 0});
    // ten degrees on from 350 is 360, which stays and draws like 0
    Grab(f.view);
    const QPoint anchor3 = HandleCentre(f.view);
    Press(f.view, anchor3);
    const double grabbed3 = std::atan2(anchor3.y() - 300.0, anchor3.x() - 300.0) * 180 / M_PI + 90;
    Move(f.view, Around(centre, grabbed3 + 10.3, 5000), true);
    QCOMPARE(f.doc.m_angle, 360);
    Release(f.view, {0, 0});
    Grab(f.view);
    QCOMPARE(HandleCentre(f.view), QPoint(300, 200));
  }

  void dragPastEdgesAndClickToPlace() {
    ViewFixture f(1000, 750);
    MakeFlat(f.doc.m_mainImage, 2000, 1500, QColor(90, 90, 90));
    f.doc.CreateSlice(512, 0, 1);
    Grab(f.view);
    QCOMPARE(f.view.DisplayScale(), 0.5);
    Press(f.view, {400, 300});
    QCOMPARE(f.doc.m_dragState, 1);
    Move(f.view, {3000, 300}, true);
    QCOMPARE(f.doc.m_sliceX, 2000 - 512);
    Move(f.view, {-3000, 300}, true);
    QCOMPARE(f.doc.m_sliceX, 0);
    Release(f.view, {0, 0});
    // a press outside the slice starts nothing
    Grab(f.view);
    Press(f.view, {990, 740});
    QCOMPARE(f.doc.m_dragState, 0);
    Release(f.view, {990, 740});

    f.view.ToggleMagnifier();
    Press(f.view, {50, 50});
    Release(f.view, {50, 50});
    QCOMPARE(QPoint(f.doc.m_sliceX, f.doc.m_sliceY), QPoint(0, 0));
    Press(f.view, {995, 745});
    Release(f.view, {995, 745});
    QCOMPARE(QPoint(f.doc.m_sliceX, f.doc.m_sliceY), QPoint(1488, 988));
    QCOMPARE(f.doc.m_dragState, 0);
    // locked: nothing moves
    f.doc.LockSlice();
    Press(f.view, {500, 375});
    QCOMPARE(QPoint(f.doc.m_sliceX, f.doc.m_sliceY), QPoint(1488, 988));
  }

  void brushPreviewDiscs() {
    ViewFixture f(600, 400);
    MakeFlat(f.doc.m_mainImage, 1200, 800, QColor(0, 200, 0));
    f.doc.m_merge = 1;
    f.doc.m_sliceScreenLeft = 250;
    f.doc.m_sliceScreenTop = 150;
    f.doc.m_sliceScreenWidth = f.doc.m_sliceScreenHeight = 100;
    f.doc.m_brushPreview = 1;
    const QImage shot = Grab(f.view);
    QCOMPARE(f.view.DisplayScale(), 0.5);
    const QPoint c(300, 200);
    QCOMPARE(shot.pixel(c), qRgb(127, 0, 0));
    int red = 0, black = 0;
    for (int x = c.x(); x < 600 && shot.pixel(x, c.y()) == qRgb(127, 0, 0); ++x) red = x - c.x();
    for (int x = c.x() + red + 1; x < 600 && shot.pixel(x, c.y()) == qRgb(0, 0, 0); ++x)
      black = x - c.x();
    QVERIFY2(std::abs(red - 31) <= 1, qPrintable(QString::number(red)));
    QVERIFY2(std::abs(black - 62) <= 1, qPrintable(QString::number(black)));
    QCOMPARE(shot.pixel(c.x() + 66, c.y()), qRgb(0, 200, 0));
    QCOMPARE(shot.pixel(1, 1), qRgb(0, 0, 255));  // the merge frame
  }

  void brushOutlineInverts() {
    ViewFixture f(400, 400);
    MakePicture(f.doc.m_mainImage, 400, 400);
    f.doc.m_merge = 1;
    f.doc.m_sliceScreenLeft = f.doc.m_sliceScreenTop = 100;
    f.doc.m_sliceScreenWidth = f.doc.m_sliceScreenHeight = 200;
    Move(f.view, {390, 390}, false);
    QVERIFY(!f.view.BrushNear());
    const QImage plain = Grab(f.view);
    Move(f.view, {200, 200}, false);
    QVERIFY(f.view.BrushNear());
    const QImage ring = Grab(f.view);
    const int r = f.doc.m_brush.m_stampSide / 2;
    int changed = 0;
    for (int y = 0; y < 400; ++y)
      for (int x = 0; x < 400; ++x) {
        const QRgb a = plain.pixel(x, y), b = ring.pixel(x, y);
        if (a == b) continue;
        ++changed;
        QCOMPARE(b & 0xffffff, ~a & 0xffffff);
        const double d = std::hypot(x - 200.0, y - 200.0);
        QVERIFY(std::abs(d - r) <= 2);
      }
    QVERIFY(changed > 4 * r);
    // drawn straight, as on a printer, it is the same circle
    QImage straight(400, 400, QImage::Format_RGB32);
    {
      QPainter painter(&straight);
      f.view.Render(painter);
    }
    QVERIFY(straight == ring);
  }

  void lockHatchKeepsRed() {
    ViewFixture f(600, 600);
    MakeFlat(f.doc.m_mainImage, 600, 600, QColor(200, 150, 100));
    f.doc.CreateSlice(300, 0, 1);
    f.doc.LockSlice();
    const QImage shot = Grab(f.view);
    const QRect inner(160, 160, 280, 100);  // inside the square, above the label
    const int red = Count(shot, inner, qRgb(200, 0, 0)), black = Count(shot, inner, qRgb(0, 0, 0));
    QCOMPARE(red + black, inner.width() * inner.height());
    QVERIFY(red > inner.width() * inner.height() / 8);
    QVERIFY(black > inner.width() * inner.height() / 2);
    QCOMPARE(shot.pixel(150, 300), qRgb(255, 0, 0));  // red outline
    QCOMPARE(shot.pixel(100, 100), qRgb(200, 150, 100));
    // the white label in the middle
    QVERIFY(Count(shot, QRect(250, 285, 100, 30), qRgb(255, 255, 255)) > 30);
  }

  void magnifierClipsAndLockRule() {
    ViewFixture f(800, 600);
    MakeFlat(f.doc.m_mainImage, 300, 200, QColor(250, 100, 50));
    QCOMPARE(f.view.MagnifierCentre(), QPoint(0, 0));
    QSignalSpy spy(&f.view, &CQuiltorView::MagnifierChanged);
    f.view.ToggleMagnifier();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QImage shot = Grab(f.view);
    // patch around image (0, 0) at (250 - 256, 200 - 256)
    QCOMPARE(f.view.ImageOffset(), QPoint(250, 200));
    QCOMPARE(shot.pixel(100, 100), qRgb(0, 0, 0));       // outside the image: black
    QCOMPARE(shot.pixel(260, 210), qRgb(250, 100, 50));  // image pixel (10, 10)
    QCOMPARE(shot.pixel(505, 300), qRgb(0, 0, 0));       // the frame's right band
    QCOMPARE(shot.pixel(507, 300), qRgb(250, 100, 50));  // the picture beyond it
    f.doc.m_locked = 1;
    shot = Grab(f.view);
    QCOMPARE(shot.pixel(100, 100), qRgb(255, 255, 255));
    f.doc.m_merge = 1;
    shot = Grab(f.view);
    QCOMPARE(shot.pixel(100, 100), qRgb(0, 0, 0));
  }

  void spaceShowsShadow() {
    ViewFixture f(300, 300);
    MakeFlat(f.doc.m_mainImage, 300, 300, QColor(0, 0, 200));
    Grab(f.view);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(&f.view, &press);
    QVERIFY(f.view.ShowingShadow());
    QVERIFY(!f.view.DisplayCopy().HasPixels());
    QImage shot = Grab(f.view);  // no shadow image: the main image as usual
    QCOMPARE(shot.pixel(150, 150), qRgb(0, 0, 200));
    QVERIFY(f.view.DisplayCopy().HasPixels());
    QVERIFY(f.host.log.isEmpty());
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(&f.view, &release);
    QVERIFY(!f.view.ShowingShadow());
    QVERIFY(!f.view.DisplayCopy().HasPixels());

    MakeFlat(f.doc.m_shadowImage, 200, 200, QColor(0, 120, 0));
    QCoreApplication::sendEvent(&f.view, &press);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    shot = Grab(f.view);
    QCoreApplication::sendEvent(&f.view, &repeat);
    QVERIFY(f.view.DisplayCopy().HasPixels());  // the repeat did nothing
    QCOMPARE(f.host.log, QStringList{QStringLiteral("Show ControlNet Image")});
    QCOMPARE(shot.pixel(10, 10), qRgb(255, 200, 200));
    QCOMPARE(shot.pixel(150, 248), qRgb(255, 0, 0));  // two-pixel red frame
    QCOMPARE(shot.pixel(150, 249), qRgb(255, 0, 0));
    QCOMPARE(shot.pixel(150, 247), qRgb(0, 120, 0));
    QCOMPARE(shot.pixel(150, 250), qRgb(255, 200, 200));
    QCoreApplication::sendEvent(&f.view, &release);
    shot = Grab(f.view);
    QCOMPARE(shot.pixel(10, 10), qRgb(0, 0, 200));
  }

  void dropTakesFirstFileWholePath() {
    ViewFixture f(300, 300);
    // deeper than the old 259-character limit
    QString folder = widget_testing::TempFolder();
    while (folder.size() < 300) folder += QStringLiteral("/a_rather_long_folder_name");
    QVERIFY(QDir().mkpath(folder));
    const QString first = folder + QStringLiteral("/first.png");
    QVERIFY(widget_testing::WritePicture(first, 64, 48));
    QVERIFY(widget_testing::WritePicture(folder + QStringLiteral("/second.png"), 32, 32));
    QVERIFY(widget_testing::WritePicture(folder + QStringLiteral("/third.png"), 16, 16));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first),
                  QUrl::fromLocalFile(folder + QStringLiteral("/second.png")),
                  QUrl::fromLocalFile(folder + QStringLiteral("/third.png"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f.view, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f.view, &drop);
    QCOMPARE(f.doc.m_mainImagePath, first);
    QCOMPARE(f.doc.m_mainImage.m_width, 64u);
    QCOMPARE(f.host.log.size(), 1);
    QVERIFY(f.host.log.at(0).startsWith(QStringLiteral("Load BG: ") + first));

    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/a.png"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &remote, Qt::LeftButton,
                            Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(&f.view, &refused);
    QVERIFY(!refused.isAccepted());
  }

  void contextMenuAndCursors() {
    ViewFixture f(300, 300);
    QMenu menu;
    menu.addAction(QStringLiteral("Magnify Under Cursor"))->setData(32785);
    f.view.SetContextMenu(&menu);
    Release(f.view, {40, 50}, Qt::RightButton);
    QVERIFY(menu.isVisible());
    QCOMPARE(menu.pos(), f.view.mapToGlobal(QPoint(40, 50)));
    menu.hide();

    QCOMPARE(f.view.cursor().shape(), Qt::ArrowCursor);
    MakeFlat(f.doc.m_mainImage, 300, 300, QColor(1, 2, 3));
    f.doc.m_merge = 1;
    f.doc.m_tool = 1;
    Move(f.view, {10, 10}, false);
    QCOMPARE(f.view.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(f.view.cursor().hotSpot(), QPoint(5, 19));
    f.doc.m_tool = 0;
    Move(f.view, {11, 10}, false);
    QCOMPARE(f.view.cursor().hotSpot(), QPoint(9, 19));
    Press(f.view, {11, 10});
    QCOMPARE(f.view.cursor().hotSpot(), QPoint(14, 13));
    const QImage cross =
        f.view.cursor().pixmap().toImage();  // white, outlined, gap at the hot spot
    QVERIFY(cross.pixel(15, 13) == qRgb(255, 255, 255) && cross.pixel(16, 14) == qRgb(0, 0, 0) &&
            qAlpha(cross.pixel(14, 13)) == 0);
  }

  void printsStraightOnThePrinter() {
    ViewFixture f(400, 300);
    MakePicture(f.doc.m_mainImage, 800, 600);
    f.doc.CreateSlice(200, 1, 1);
    f.doc.LockSlice();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString file = widget_testing::TempFolder() + QStringLiteral("/view.pdf");
    printer.setOutputFileName(file);
    f.view.Print(printer);
    QVERIFY(QFileInfo(file).size() > 1000);
    // the same geometry as on screen
    QCOMPARE(f.doc.m_sliceScreenWidth, 100);
    QVERIFY(!f.view.HandleRect().isEmpty());
    // drawn straight (no buffer), the hatch still keeps the picture's red
    QImage straight(400, 300, QImage::Format_RGB32);
    {
      QPainter painter(&straight);
      f.view.Render(painter);
    }
    const QImage screen = Grab(f.view);
    int differ = 0;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) differ += straight.pixel(x, y) != screen.pixel(x, y);
    QCOMPARE(differ, 0);
  }

  // Painting a merge updates only what the dab touched, and the display copy
  // stays exactly the full re-scale of the main image.
  void incrementalPaintMatchesFullRescale() {
    ViewFixture f(600, 450);
    const QString folder = widget_testing::TempFolder();
    const QString main = folder + QStringLiteral("/main.png"),
                  slice = folder + QStringLiteral("/s.png");
    QVERIFY(widget_testing::WritePicture(main, 1203, 901, 3));
    QVERIFY(widget_testing::WritePicture(slice, 512, 512, 9));
    f.doc.ImportFile(main);
    f.doc.CreateSlice(512, 0, 1);
    f.doc.ImportFile(slice);
    QCOMPARE(int(f.doc.m_merge), 1);
    f.doc.FillMask(0);
    Grab(f.view);
    QCOMPARE(f.doc.m_displayRefresh, 0);

    QList<QRect> painted;
    struct Spy : QObject {
      QList<QRect>* rects;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) rects->append(static_cast<QPaintEvent*>(e)->rect());
        return false;
      }
    } spy;
    spy.rects = &painted;
    f.view.installEventFilter(&spy);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.doc.m_tool = 1;
    f.doc.m_brush.m_brushSize = 40;
    f.doc.m_brush.m_softness = 5;
    f.doc.m_brush.Build();
    const QPoint start(f.doc.m_sliceScreenLeft + 100, f.doc.m_sliceScreenTop + 100);
    painted.clear();
    Press(f.view, start);
    for (int i = 1; i <= 5; ++i) Move(f.view, start + QPoint(6 * i, 3 * i), true);
    Release(f.view, start + QPoint(30, 15));
    QVERIFY(!f.host.changes.empty());
    QCOMPARE(f.doc.m_displayRefresh, 0);  // every step was a partial update

    QVERIFY(painted.size() >= 5);
    for (const QRect& r : painted) QVERIFY(r.width() < 120 && r.height() < 120);

    CISImageEx full;
    QCOMPARE(full.ResizeFrom(f.doc.m_mainImage, f.view.DisplayCopy().m_width,
                             f.view.DisplayCopy().m_height, 0),
             0u);
    QVERIFY(std::memcmp(full.Pixels(), f.view.DisplayCopy().Pixels(),
                        size_t(full.m_width) * full.m_height * 3) == 0);
    // and the screen shows it
    const QImage shot = Grab(f.view);
    const QPoint at = start + QPoint(15, 8);
    const QPoint d = at - f.view.ImageOffset();
    QCOMPARE(QColor(shot.pixel(at)), ImagePixel(full, d.x(), d.y()));
    f.view.removeEventFilter(&spy);
  }
};

QUILTOR_WIDGET_TEST_MAIN(QuiltorViewTest)
#include "QuiltorViewTest.moc"
