// The off-screen buffer: a partial paint copies back exactly its rectangle;
// a printer is drawn on straight.
#include <QPrinter>

#include "panes/MemDC2.h"
#include "widgets/WidgetTestSupport.h"

class MemDC2Test : public QObject {
  Q_OBJECT
 private slots:
  void partialBufferCopiesItsRectangle() {
    QImage target(100, 80, QImage::Format_RGB32);
    target.fill(qRgb(1, 2, 3));
    const QRect part(10, 20, 30, 15);
    {
      CMemDC2 dc(&target, part);
      QVERIFY(dc.IsBuffered());
      QCOMPARE(dc.Image()->size(), part.size());
      dc.Resume();
      // drawing in target coordinates, everywhere; only the part arrives
      dc.Painter().fillRect(QRect(0, 0, 100, 80), qRgb(200, 0, 0));
      dc.Painter().fillRect(QRect(10, 20, 1, 1), qRgb(0, 0, 200));
    }
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x) {
        const QRgb expected = x == 10 && y == 20    ? qRgb(0, 0, 200)
                              : part.contains(x, y) ? qRgb(200, 0, 0)
                                                    : qRgb(1, 2, 3);
        QCOMPARE(target.pixel(x, y), expected);
      }
  }

  void printerIsDrawnStraight() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(widget_testing::TempFolder() + QStringLiteral("/out.pdf"));
    CMemDC2 dc(&printer, QRect(0, 0, 100, 100));
    QVERIFY(!dc.IsBuffered());
    QVERIFY(dc.Image() == nullptr);
    QVERIFY(dc.Painter().isActive());
    QCOMPARE(dc.Painter().device(), static_cast<QPaintDevice*>(&printer));
  }
};

QUILTOR_WIDGET_TEST_MAIN(MemDC2Test)
#include "MemDC2Test.moc"
