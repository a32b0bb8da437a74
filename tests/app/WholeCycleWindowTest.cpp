// One slice cycle through the real window, driven only by widget input
// (clicks, drags, keys, a drop): its saved picture equals, pixel for pixel,
// what the console front end makes of the same steps.
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QSettings>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/MainFrame.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "document/QuiltorDoc.h"
#include "panes/DialogTemplate.h"
#include "panes/LeftDialog.h"
#include "panes/PropertyDialog.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
void Drop(QWidget* target, const QString& path) {
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(path)});
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  delete data;
}

void Click(QWidget* widget) {
  QVERIFY(widget);
  QVERIFY(widget->isVisible());
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

void ClickToolAction(QToolBar* bar, QAction* action) {
  auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
  QVERIFY(button);
  Click(button);
}

// A stroke through client points; returns the image points the view painted.
QStringList Stroke(CQuiltorView* view, const QList<QPoint>& points) {
  QStringList words;
  for (int i = 0; i < points.size(); ++i) {
    const QPoint at = view->ImagePointOf(points[i]);
    words << QString::number(at.x()) << QString::number(at.y());
    if (i == 0) {
      QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, points[i]);
    } else {
      QMouseEvent move(QEvent::MouseMove, QPointF(points[i]), view->mapToGlobal(QPointF(points[i])),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(view, &move);
    }
  }
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, points.last());
  return words;
}
}  // namespace

class WholeCycleWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void cycleMatchesTheConsole() {
    ClearSettings();
    const QString root = TempFolder();
    QDir(root).mkpath(QStringLiteral("window"));
    QDir(root).mkpath(QStringLiteral("console"));
    QDir(root).mkpath(QStringLiteral("img2img"));
    const QString picture = root + QStringLiteral("/window/landscape.png");
    QString out;
    QCOMPARE(Run(QStringLiteral("convert -size 600x450 -seed 5 plasma:fractal -resize 2400x1800! "
                                "-depth 8 '%1'")
                     .arg(picture)),
             0);
    QVERIFY(QFile::copy(picture, root + QStringLiteral("/console/landscape.png")));
    {
      QSettings settings(QStringLiteral("Orvandel"), QStringLiteral("Quiltor"));
      settings.setValue(QStringLiteral("Settings/Path"), root + QStringLiteral("/slices"));
      settings.setValue(QStringLiteral("Settings/ImportPath"), root + QStringLiteral("/img2img"));
    }

    auto app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")});
    QVERIFY(app->InitInstance());
    CMainFrame* frame = app->MainFrame();
    frame->resize(1400, 900);
    QApplication::setActiveWindow(frame);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    CQuiltorDoc& doc = app->Doc();
    CQuiltorView* view = frame->View();
    CLeftDialog* slicer = frame->FileView()->Dialog();
    CPropertyDialog* merger = frame->PropertiesWnd()->Dialog();

    // 1. the picture dropped on the empty view becomes the main image
    Drop(view, picture);
    QCOMPARE(doc.m_mainImage.m_width, 2400u);
    // 2. a 512 square, dragged by the mouse
    Click(slicer->Control(SlicerId::k512));
    view->repaint();
    const QPoint grab(doc.m_sliceScreenLeft + doc.m_sliceScreenWidth / 2,
                      doc.m_sliceScreenTop + doc.m_sliceScreenHeight / 2);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, grab);
    QMouseEvent move(QEvent::MouseMove, QPointF(grab + QPoint(-120, 70)),
                     view->mapToGlobal(QPointF(grab + QPoint(-120, 70))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, grab + QPoint(-120, 70));
    const int sliceX = doc.m_sliceX, sliceY = doc.m_sliceY;
    QVERIFY(sliceX != (2400 - 512) / 2 || sliceY != (1800 - 512) / 2);
    // 3. Export && Lock
    Click(slicer->Control(SlicerId::kExportAndLock));
    QCOMPARE(doc.m_locked, uint8_t(1));
    const QStringList slices =
        QDir(root + QStringLiteral("/slices")).entryList({QStringLiteral("slice_*.png")});
    QCOMPARE(slices.size(), 1);
    QCOMPARE(slicer->History(), slices);
    // 4. img2img reworks it; Quick Import brings it back
    const QString returned = root + QStringLiteral("/img2img/00001-returned.png");
    QCOMPARE(Run(QStringLiteral("convert '%1/slices/%2' -modulate 100,130,115 -blur 0x1.5 '%3'")
                     .arg(root, slices.first(), returned)),
             0);
    Click(slicer->Control(SlicerId::kQuickImport));
    QCOMPARE(doc.m_merge, uint8_t(1));
    // 5. paint with the brush and the eraser, then Fill Opacity
    ClickToolAction(frame->PropertiesWnd()->ToolBar(), frame->PropertiesWnd()->BrushAction());
    QCOMPARE(doc.m_tool, 1);
    view->repaint();
    const QRect square(doc.m_sliceScreenLeft, doc.m_sliceScreenTop, doc.m_sliceScreenWidth,
                       doc.m_sliceScreenHeight);
    const QString brush = QStringLiteral("brush %1 %2 %3")
                              .arg(doc.m_brush.m_brushSize)
                              .arg(doc.m_brush.m_softness)
                              .arg(doc.m_brush.m_opacity);
    const QStringList brushStroke =
        Stroke(view, {square.topLeft() + QPoint(20, 20), square.center(),
                      square.bottomRight() - QPoint(30, 10)});
    ClickToolAction(frame->PropertiesWnd()->ToolBar(), frame->PropertiesWnd()->EraserAction());
    QCOMPARE(doc.m_tool, 0);
    const QStringList eraserStroke =
        Stroke(view, {square.center() + QPoint(-25, 5), square.center() + QPoint(30, -20)});
    Click(merger->Control(MergerId::kFillOpacity));
    // 6. Apply Merge and Ctrl+S
    Click(merger->Control(MergerId::kApplyMerge));
    QCOMPARE(doc.m_merge, uint8_t(0));
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
    const QString saved = root + QStringLiteral("/window/landscape_0001.png");
    QVERIFY(QFile::exists(saved));

    // The same steps through the console front end.
    const QString script =
        QStringLiteral(
            "open %1/console/landscape.png\nfolder %1/console-slices\nslice 512\n"
            "move %2 %3\nexport\nimport %4\ntool brush\n%5\npaint %6\ntool eraser\n"
            "paint %7\nfill-opacity\napply\nsave\n")
            .arg(root)
            .arg(sliceX)
            .arg(sliceY)
            .arg(returned, brush, brushStroke.join(u' '), eraserStroke.join(u' '));
    QFile scriptFile(root + QStringLiteral("/cycle.script"));
    QVERIFY(scriptFile.open(QIODevice::WriteOnly));
    scriptFile.write(script.toUtf8());
    scriptFile.close();
    QCOMPARE(Run(QStringLiteral("cd '%1' && XDG_CONFIG_HOME='%1/cli-config' '%2' run cycle.script")
                     .arg(root, QStringLiteral(QUILTOR_CLI)),
                 &out),
             0);
    CISImageEx fromWindow, fromConsole;
    QVERIFY(LoadPicture(saved, fromWindow));
    QVERIFY2(LoadPicture(root + QStringLiteral("/console/landscape_0001.png"), fromConsole),
             qPrintable(out));
    QCOMPARE(fromWindow.m_width, fromConsole.m_width);
    QCOMPARE(fromWindow.m_height, fromConsole.m_height);
    QVERIFY(std::memcmp(fromWindow.Pixels(), fromConsole.Pixels(),
                        size_t(fromWindow.RowBytes()) * fromWindow.m_height) == 0);
    // and the merge changed the picture
    CISImageEx original;
    QVERIFY(LoadPicture(picture, original));
    QVERIFY(std::memcmp(original.Pixels(), fromWindow.Pixels(),
                        size_t(original.RowBytes()) * original.m_height) != 0);
  }
};

QUILTOR_WIDGET_TEST_MAIN(WholeCycleWindowTest)
#include "WholeCycleWindowTest.moc"
