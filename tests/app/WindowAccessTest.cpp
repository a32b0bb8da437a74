// The window for keyboard, assistive technology and the eyes, on a 1024 x 700
// screen and on 1600 x 1000 at scale 2 (tests/CMakeLists.txt).
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>
#include <cmath>

#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/Looks.h"
#include "app/MainFrame.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "document/QuiltorDoc.h"
#include "panes/BlackSlider.h"
#include "panes/LeftDialog.h"
#include "panes/PaneControls.h"
#include "panes/PropertyDialog.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;
using namespace Qt::Literals::StringLiterals;

namespace {
struct Session {
  std::unique_ptr<CQuiltorApp> app = std::make_unique<CQuiltorApp>(QStringList{u"quiltor"_s});
  CMainFrame* f = nullptr;
  bool Start(bool picture = true) {
    const QString path = TempFolder() + u"/picture.png"_s;
    if (!app->InitInstance() || (picture && !WritePicture(path, 2000, 1500))) return false;
    f = app->MainFrame();
    if (picture) app->OpenDocumentFile(path);
    f->activateWindow();
    return QTest::qWaitForWindowActive(f);
  }
};
double Contrast(QRgb x, QRgb y) {
  auto lum = [](QRgb c) {
    double sum = 0, weight[] = {0.2126, 0.7152, 0.0722};
    int v[] = {qRed(c), qGreen(c), qBlue(c)};
    for (int i = 0; i < 3; ++i)
      sum +=
          weight[i] * (v[i] <= 10 ? v[i] / 3294.6 : std::pow((v[i] / 255.0 + 0.055) / 1.055, 2.4));
    return sum;
  };
  return (std::max(lum(x), lum(y)) + 0.05) / (std::min(lum(x), lum(y)) + 0.05);
}
}  // namespace

class WindowAccessTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }

  void spaceAndFocus_data() {
    QTest::addColumn<int>("target");  // view, slider, history, text field
    for (int i = 0; i < 4; ++i) QTest::addRow("%d", i) << i;
  }
  void spaceAndFocus() {
    QFETCH(int, target);
    Session r;
    QVERIFY(r.Start());
    CLeftDialog* slicer = r.f->FileView()->Dialog();
    QWidget* focus = QList<QWidget*>{
        r.f->View(), r.f->PropertiesWnd()->Dialog()->Slider(MergerId::kBrushSize),
        slicer->Control(SlicerId::kHistory), slicer->Control(SlicerId::kSliceFolder)}[target];
    focus->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(slicer->Control(SlicerId::kExportAndLock), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), focus);  // a click leaves the focus
    const QStringList history = slicer->History();
    QTest::keyPress(focus, Qt::Key_Space);
    QCOMPARE(r.f->View()->ShowingShadow(), target != 3);
    QTest::keyRelease(focus, Qt::Key_Space);
    QCOMPARE(slicer->History(), history);  // Space pressed no button
  }

  void toolsAndStatusBar() {
    Session r;
    QVERIFY(r.Start());
    CPropertiesWnd* pane = r.f->PropertiesWnd();
    auto* brush = qobject_cast<QToolButton*>(pane->ToolBar()->widgetForAction(pane->BrushAction()));
    auto toggle = [&] {  // assistive technology's Toggle checks without a click
      QAccessible::queryAccessibleInterface(brush)->actionInterface()->doAction(
          QAccessibleActionInterface::toggleAction());
    };
    for (auto [input, tool] : {std::pair<std::function<void()>, int>{toggle, 1},
                               {toggle, 1},
                               {[&] { r.f->Action(Cmd::kEraser)->trigger(); }, 0}}) {
      input();
      QCOMPARE(r.app->Doc().m_tool, tool);
      QCOMPARE(pane->BrushAction()->isChecked() + 2 * pane->EraserAction()->isChecked(), 2 - tool);
    }
    CQuiltorView* view = r.f->View();
    view->repaint();
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), view->mapToGlobal(QPointF(200, 150)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    const QPoint at = view->ImagePointOf({200, 150});
    QCOMPARE(r.f->statusBar()->findChild<QLabel*>(u"placeLabel"_s)->text(),
             QStringLiteral("x %1, y %2").arg(at.x()).arg(at.y()));
    CBlackSlider* size = pane->Dialog()->Slider(MergerId::kBrushSize);
    size->setFocus();
    QTest::keyClick(size, Qt::Key_Right);
    QCOMPARE(r.f->statusBar()->currentMessage() + QToolTip::text(), u"Brush Size: 129129"_s);
  }

  // Glyphs are the pixels that change when a text goes, each compared with
  // what lies behind it; fields and selected lines by their colours.
  void everyTextOfEveryLookReadable() {
    Session r;
    QVERIFY(r.Start(false));
    for (QAction* tool : r.f->PropertiesWnd()->ToolBar()->actions()) tool->setIcon(QIcon());
    int count = 0;
    for (const LookEntry* look = LookTable(&count); look < LookTable(&count) + count; ++look) {
      r.f->OnApplicationLook(look->id);
      const QPalette p = QApplication::palette();
      for (auto g : {QPalette::Active, QPalette::Inactive})
        QVERIFY(
            std::min(Contrast(p.color(g, QPalette::Base).rgb(), p.color(g, QPalette::Text).rgb()),
                     Contrast(p.color(g, QPalette::Highlight).rgb(),
                              p.color(g, QPalette::HighlightedText).rgb())) >= 4.5);
      std::vector<std::pair<QWidget*, std::function<void(QString)>>> texts;
      for (QLabel* l : r.f->findChildren<QLabel*>())
        texts.emplace_back(l, [l](QString t) { l->setText(t); });
      for (QAbstractButton* b : r.f->findChildren<QAbstractButton*>())
        texts.emplace_back(b, [b](QString t) { b->setText(t); });
      for (auto& [w, set] : texts) {
        if (!w->isVisible() || !w->isEnabled()) continue;
        set(QString());
        const QImage bare = w->grab().toImage();
        set(u"Wg"_s);
        const QImage shown = w->grab().toImage();
        double best = 21;  // an icon-only button draws no glyph
        for (int y = 0; y < std::min(bare.height(), shown.height()); ++y)
          for (int x = 0; x < std::min(bare.width(), shown.width()); ++x)
            if (bare.pixel(x, y) != shown.pixel(x, y))
              best = std::max(best == 21 ? 0 : best, Contrast(bare.pixel(x, y), shown.pixel(x, y)));
        QVERIFY2(best >= 4.5, qPrintable(QString::number(look->id) + w->objectName()));
      }
    }
  }

  void smallScreens() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(area.size() == QSize(1024, 700) || area.size() == QSize(800, 500));
    for (bool stored : {false, true}) {
      if (stored) {
        Session first;
        QVERIFY(first.Start(false));
        first.f->setGeometry(0, 0, 2800, 1800);  // placement kept from a larger screen
        first.f->SaveWorkspace();
      }
      Session r;
      QVERIFY(r.Start(false));
      QTRY_VERIFY(area.contains(r.f->geometry()));
      QTRY_VERIFY(r.f->View()->width() >= 400 && r.f->View()->height() >= 300);
      if (!stored && !r.f->isMaximized()) QVERIFY(r.f->width() <= area.width() * 9 / 10);
      for (QWidget* pane : {static_cast<QWidget*>(r.f->FileView()->Dialog()),
                            static_cast<QWidget*>(r.f->PropertiesWnd()->Dialog())}) {
        auto* scroll = qobject_cast<QScrollArea*>(pane->parentWidget()->parentWidget());
        for (QWidget* c : pane->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
          if (!c->property(kControlIdProperty).isValid() || c->isHidden()) continue;
          scroll->verticalScrollBar()->setValue(c->mapTo(pane, QPoint(0, c->height())).y() -
                                                scroll->viewport()->height());
          const QRect shown(c->mapTo(scroll->viewport(), QPoint()), c->size());
          QVERIFY2(scroll->viewport()->rect().contains(shown) && c->width() >= 12,
                   qPrintable(c->objectName()));
        }
      }
    }
  }
};

QUILTOR_WIDGET_TEST_MAIN(WindowAccessTest)
#include "WindowAccessTest.moc"
