// The window for keyboard, assistive technology and the eyes, on a 1024 x 700
// screen and on 1600 x 1000 at scale 2 (tests/CMakeLists.txt).
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>
#include <cmath>

#include "app/FileView.h"
#include "app/Looks.h"
#include "app/MainFrame.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "app/WindowPlacement.h"
#include "document/CommandIds.h"
#include "document/QuiltorDoc.h"
#include "panes/BlackSlider.h"
#include "panes/ImagePreviewWnd.h"
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
  QString folder = TempFolder();
  CLeftDialog* slicer() { return f->FileView()->Dialog(); }
  CPropertyDialog* merger() { return f->PropertiesWnd()->Dialog(); }
  bool Start(bool picture = true) {
    if (!app->InitInstance()) return false;
    f = app->MainFrame();
    if (picture &&
        (!WritePicture(folder + u"/picture.png"_s, 2000, 1500) ||
         app->OpenDocumentFile(folder + u"/picture.png"_s) != CQuiltorApp::OpenResult::Opened))
      return false;
    f->activateWindow();
    return QTest::qWaitForWindowActive(f);
  }
};
double Luminance(QRgb c) {
  double sum = 0, weight[] = {0.2126, 0.7152, 0.0722};
  int v[] = {qRed(c), qGreen(c), qBlue(c)};
  for (int i = 0; i < 3; ++i)
    sum += weight[i] *
           (v[i] <= 10 ? v[i] / 255.0 / 12.92 : std::pow((v[i] / 255.0 + 0.055) / 1.055, 2.4));
  return sum;
}
// The glyphs are the pixels that change when the text goes; each is compared
// with what lies behind it.
double TextContrast(QWidget* w, const std::function<void(QString)>& set, const QString& text) {
  set(QString());
  const QImage bare = w->grab().toImage();
  set(text);
  const QImage shown = w->grab().toImage();
  double best = 21;  // no glyph drawn (an icon-only button)
  for (int y = 0; y < std::min(bare.height(), shown.height()); ++y)
    for (int x = 0; x < std::min(bare.width(), shown.width()); ++x) {
      if (bare.pixel(x, y) == shown.pixel(x, y)) continue;
      if (best == 21) best = 0;
      const double a = Luminance(bare.pixel(x, y)), b = Luminance(shown.pixel(x, y));
      best = std::max(best, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
    }
  return best;
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
    QWidget* focus = QList<QWidget*>{r.f->View(), r.merger()->Slider(MergerId::kBrushSize),
                                     r.slicer()->Control(SlicerId::kHistory),
                                     r.slicer()->Control(SlicerId::kSliceFolder)}[target];
    focus->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(r.slicer()->Control(SlicerId::kExportAndLock), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), focus);  // a click leaves the focus
    const QStringList history = r.slicer()->History();
    QTest::keyPress(focus, Qt::Key_Space);
    QCOMPARE(r.f->View()->ShowingShadow(), target != 3);
    QTest::keyRelease(focus, Qt::Key_Space);
    QVERIFY(!r.f->View()->ShowingShadow());
    QCOMPARE(r.slicer()->History(), history);  // Space pressed no button
  }

  void historyWaitsForAChoice() {
    Session r;
    QVERIFY(r.Start());
    CQuiltorDoc& doc = r.app->Doc();
    auto* list = qobject_cast<QListWidget*>(r.slicer()->Control(SlicerId::kHistory));
    r.slicer()->AddHistory(u"slice_001_(100,200,512,512).png"_s);
    r.slicer()->AddHistory(u"slice_002_(700,800,512,512).png"_s);
    const QPoint before(doc.m_sliceX, doc.m_sliceY);
    list->setFocus(Qt::TabFocusReason);
    QCOMPARE(QPoint(doc.m_sliceX, doc.m_sliceY), before);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(QPoint(doc.m_sliceX, doc.m_sliceY), QPoint(700, 800));
  }

  void toolsOneChoiceFromEveryInput() {
    Session r;
    QVERIFY(r.Start(false));
    CPropertiesWnd* pane = r.f->PropertiesWnd();
    QAction* brush = pane->BrushAction();
    auto* button = qobject_cast<QToolButton*>(pane->ToolBar()->widgetForAction(brush));
    auto toggle = [&] {  // assistive technology's Toggle
      QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
          QAccessibleActionInterface::toggleAction());
    };
    const std::pair<std::function<void()>, int> inputs[] = {
        {toggle, 1},
        {toggle, 1},
        {[&] { r.f->Action(Cmd::kEraser)->trigger(); }, 0},
        {[&] { QTest::mouseClick(button, Qt::LeftButton); }, 1}};
    for (const auto& [input, tool] : inputs) {
      input();
      QCOMPARE(r.app->Doc().m_tool, tool);
      QCOMPARE(brush->isChecked(), tool == 1);
      QCOMPARE(pane->EraserAction()->isChecked(), tool == 0);
    }
  }

  void statusBarPlaceAndValue() {
    Session r;
    QVERIFY(r.Start());
    CQuiltorView* view = r.f->View();
    auto* place = r.f->statusBar()->findChild<QLabel*>(u"placeLabel"_s);
    view->repaint();
    const QPoint at = view->ImagePointOf(view->rect().center());
    QMouseEvent move(QEvent::MouseMove, view->rect().center(),
                     view->mapToGlobal(view->rect().center()), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTRY_COMPARE(place->text(), QStringLiteral("x %1, y %2").arg(at.x()).arg(at.y()));
    CBlackSlider* size = r.merger()->Slider(MergerId::kBrushSize);
    size->setFocus();
    QTest::keyClick(size, Qt::Key_Right);
    QCOMPARE(r.f->statusBar()->currentMessage(), QStringLiteral("Brush Size: 129"));
    QCOMPARE(QToolTip::text(), QStringLiteral("129"));
  }

  void saveAsAndCaption() {
    Session r;
    QVERIFY(r.Start());
    ModalAnswerer answers;
    answers.File(QString());
    QTest::keyClick(r.f, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(answers.dialogFolders.value(0), r.folder);
    QCOMPARE(r.f->windowHandle()->title(), QStringLiteral("picture.png - Quiltor "));
  }

  void previewClearedWhenMergeEnds_data() {
    QTest::addColumn<int>("command");
    QTest::newRow("apply") << int(Cmd::kApplyMerge);
    QTest::newRow("cancel") << int(Cmd::kCancelMerge);
    QTest::newRow("another picture") << 0;
  }
  void previewClearedWhenMergeEnds() {
    QFETCH(int, command);
    Session r;
    QVERIFY(r.Start());
    CQuiltorDoc& doc = r.app->Doc();
    doc.m_sliceFolder = r.folder;
    doc.ImportFile(r.folder + u'/' + doc.ExportAndLock());
    QVERIFY(r.merger()->Preview()->Image().HasPixels());
    doc.SetModifiedFlag(false);
    if (command)
      r.f->Action(command)->trigger();
    else
      r.app->OpenDocumentFile(r.folder + u"/picture.png"_s);
    QVERIFY(!r.merger()->Preview()->Image().HasPixels());
  }

  void everyTextOfEveryLookReadable() {
    Session r;
    QVERIFY(r.Start(false));
    for (QAction* tool : r.f->PropertiesWnd()->ToolBar()->actions()) tool->setIcon(QIcon());
    int count = 0;
    const LookEntry* looks = LookTable(&count);
    for (int i = 0; i < count; ++i) {
      r.f->OnApplicationLook(looks[i].id);
      std::vector<std::tuple<QWidget*, QString, std::function<void(QString)>>> texts;
      for (QLabel* l : r.f->findChildren<QLabel*>())
        texts.emplace_back(l, l->text(), [l](QString t) { l->setText(t); });
      for (QAbstractButton* b : r.f->findChildren<QAbstractButton*>())
        texts.emplace_back(b, b->text(), [b](QString t) { b->setText(t); });
      QStatusBar* bar = r.f->statusBar();
      texts.emplace_back(bar, u"Ready"_s, [bar](QString t) { bar->showMessage(t); });
      for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})  // fields and lines
        for (auto [back, fore] : {std::pair{QPalette::Base, QPalette::Text},
                                  std::pair{QPalette::Highlight, QPalette::HighlightedText}}) {
          const QPalette p = QApplication::palette();
          const double a = Luminance(p.color(g, back).rgb()), b = Luminance(p.color(g, fore).rgb());
          QVERIFY((std::max(a, b) + 0.05) / (std::min(a, b) + 0.05) >= 4.5);
        }
      for (auto& [w, text, set] : texts)
        if (w->isVisible() && w->isEnabled() && !text.isEmpty())
          QVERIFY2(TextContrast(w, set, text) >= 4.5,
                   qPrintable(QString::number(looks[i].id) + text));
    }
  }

  void smallScreens() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(area.size() == QSize(1024, 700) || area.size() == QSize(800, 500));
    QCOMPARE(placement::ClampToArea(QRect(100, 100, 2800, 1800), area), area);
    QCOMPARE(placement::ShrinkDocks(322, 400, {216, 250}, {120, 120}),
             (std::vector<int>{182, 206}));
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
      for (QWidget* pane : {static_cast<QWidget*>(r.slicer()), static_cast<QWidget*>(r.merger())}) {
        auto* scroll = qobject_cast<QScrollArea*>(pane->parentWidget()->parentWidget());
        for (QWidget* c : pane->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
          if (!c->property(kControlIdProperty).isValid() || c->isHidden()) continue;
          const int bottom = c->mapTo(pane, QPoint(0, c->height())).y();
          scroll->verticalScrollBar()->setValue(bottom - scroll->viewport()->height());
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
