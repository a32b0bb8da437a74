// The window as keyboard, assistive technology and the eyes meet it: Space
// from every focus, buttons that keep no click focus, the history that waits
// for a choice, Brush and Eraser as one choice from every input, the status
// bar's place and values, the Save As folder, the preview after a merge, the
// caption and the contrast of every text in every look.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QCheckBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>
#include <cmath>
#include <functional>
#include <memory>

#include "app/FileView.h"
#include "app/Looks.h"
#include "app/MainFrame.h"
#include "app/OutputWnd.h"
#include "app/PropertiesWnd.h"
#include "app/QuiltorApp.h"
#include "document/CommandIds.h"
#include "document/QuiltorDoc.h"
#include "panes/BlackSlider.h"
#include "panes/DialogTemplate.h"
#include "panes/ImagePreviewWnd.h"
#include "panes/LeftDialog.h"
#include "panes/PropertyDialog.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
struct Session {
  std::unique_ptr<CQuiltorApp> app;
  CMainFrame* frame = nullptr;
  QString folder;
  QString picture;
};

// The application with a 2000 x 1500 picture open (when asked) and its window active.
Session Start(bool withPicture) {
  Session s;
  s.app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")});
  if (!s.app->InitInstance()) return {};
  s.frame = s.app->MainFrame();
  s.folder = TempFolder();
  s.picture = s.folder + QStringLiteral("/picture.png");
  if (withPicture && (!WritePicture(s.picture, 2000, 1500) ||
                      s.app->OpenDocumentFile(s.picture) != CQuiltorApp::OpenResult::Opened))
    return {};
  s.frame->activateWindow();
  if (!QTest::qWaitForWindowActive(s.frame)) return {};
  return s;
}

double Luminance(QRgb c) {
  auto channel = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a widget's text as drawn: the pixels that change when the
// text goes are its glyphs, each compared with what lies behind it.
double TextContrast(QWidget* widget, const std::function<void(const QString&)>& setText,
                    const QString& text) {
  setText(text);
  const QImage with = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
  setText(QString());
  const QImage without = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
  setText(text);
  double best = 0;
  for (int y = 0; y < std::min(with.height(), without.height()); ++y)
    for (int x = 0; x < std::min(with.width(), without.width()); ++x)
      if (with.pixel(x, y) != without.pixel(x, y))
        best = std::max(best, Contrast(with.pixel(x, y), without.pixel(x, y)));
  return best;
}

QAbstractButton* ToolButton(CMainFrame* frame, QAction* action) {
  return qobject_cast<QToolButton*>(frame->PropertiesWnd()->ToolBar()->widgetForAction(action));
}

void Move(QWidget* widget, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton,
                   held, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

void Toggle(QWidget* widget) {
  QAccessibleInterface* ai = QAccessible::queryAccessibleInterface(widget);
  QVERIFY(ai && ai->actionInterface());
  QVERIFY(
      ai->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
  ai->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}
}  // namespace

class WindowAccessTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }

  void spaceShowsShadowWhereverFocusIs_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("shadow");
    QTest::newRow("view") << "view" << true;
    QTest::newRow("clicked Export && Lock") << "button" << true;
    QTest::newRow("history") << "history" << true;
    QTest::newRow("slider") << "slider" << true;
    QTest::newRow("text field") << "edit" << false;
  }
  void spaceShowsShadowWhereverFocusIs() {
    QFETCH(QString, focus);
    QFETCH(bool, shadow);
    Session s = Start(true);
    QVERIFY(s.frame);
    CLeftDialog* slicer = s.frame->FileView()->Dialog();
    CQuiltorView* view = s.frame->View();
    auto* edit = qobject_cast<QLineEdit*>(slicer->Control(SlicerId::kSliceFolder));
    QWidget* target = view;
    if (focus == QStringLiteral("history")) target = slicer->Control(SlicerId::kHistory);
    if (focus == QStringLiteral("slider"))
      target = s.frame->PropertiesWnd()->Dialog()->Slider(MergerId::kBrushSize);
    if (focus == QStringLiteral("edit")) target = edit;
    target->setFocus(Qt::TabFocusReason);
    if (focus == QStringLiteral("button")) {
      // a click leaves the focus where it was, so Space cannot press it again
      QTest::mouseClick(slicer->Control(SlicerId::kExportAndLock), Qt::LeftButton);
      QCOMPARE(QApplication::focusWidget(), target);
    }
    const QString text = edit->text();
    const QStringList history = slicer->History();
    QWidget* focused = QApplication::focusWidget();
    QVERIFY(focused);
    QTest::keyPress(focused, Qt::Key_Space);
    QCOMPARE(view->ShowingShadow(), shadow);
    QTest::keyRelease(focused, Qt::Key_Space);
    QVERIFY(!view->ShowingShadow());
    QCOMPARE(slicer->History(), history);
    QCOMPARE(edit->text() != text, !shadow);  // a text field types the blank
    // every push button of the panes: reachable by Tab, never by a click
    for (QWidget* pane :
         {static_cast<QWidget*>(slicer), static_cast<QWidget*>(s.frame->PropertiesWnd()->Dialog())})
      for (QPushButton* button : pane->findChildren<QPushButton*>())
        QCOMPARE(button->focusPolicy(), Qt::TabFocus);
  }

  void historyPlacesOnlyAChosenEntry() {
    Session s = Start(true);
    QVERIFY(s.frame);
    CQuiltorDoc& doc = s.app->Doc();
    CLeftDialog* slicer = s.frame->FileView()->Dialog();
    auto* list = qobject_cast<QListWidget*>(slicer->Control(SlicerId::kHistory));
    doc.CreateSlice(512, 0, 1);
    slicer->AddHistory(QStringLiteral("slice_001_(100,200,512,512).png"));
    slicer->AddHistory(QStringLiteral("slice_002_(700,800,512,512).png"));
    const QPoint start(doc.m_sliceX, doc.m_sliceY);
    struct Step {
      const char* what;
      std::function<void()> act;
      QPoint expected;
    };
    const Step steps[] = {
        {"tab into the list", [&] { list->setFocus(Qt::TabFocusReason); }, start},
        {"window re-activated",
         [&] {
           s.frame->View()->setFocus();
           QApplication::setActiveWindow(nullptr);
           s.frame->activateWindow();
           list->setFocus(Qt::ActiveWindowFocusReason);
         },
         start},
        {"arrow key", [&] { QTest::keyClick(list, Qt::Key_Down); }, QPoint(700, 800)},
        {"click",
         [&] {
           QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                             list->visualItemRect(list->item(0)).center());
         },
         QPoint(100, 200)},
    };
    for (const Step& step : steps) {
      step.act();
      QCOMPARE(QPoint(doc.m_sliceX, doc.m_sliceY), step.expected);
    }
  }

  void toolsAreOneChoiceFromEveryInput() {
    Session s = Start(false);
    QVERIFY(s.frame);
    CPropertiesWnd* pane = s.frame->PropertiesWnd();
    QAbstractButton* brush = ToolButton(s.frame, pane->BrushAction());
    QAbstractButton* eraser = ToolButton(s.frame, pane->EraserAction());
    QVERIFY(brush && eraser);
    struct Input {
      const char* what;
      std::function<void()> act;
      int tool;
    };
    const Input inputs[] = {
        {"assistive Toggle on Brush", [&] { Toggle(brush); }, 1},
        {"assistive Toggle on the chosen Brush", [&] { Toggle(brush); }, 1},
        {"menu Eraser", [&] { s.frame->Action(Cmd::kEraser)->trigger(); }, 0},
        {"click on Brush", [&] { QTest::mouseClick(brush, Qt::LeftButton); }, 1},
        {"assistive Toggle on Eraser", [&] { Toggle(eraser); }, 0},
        {"menu Eraser again", [&] { s.frame->Action(Cmd::kEraser)->trigger(); }, 0},
    };
    for (const Input& input : inputs) {
      input.act();
      QApplication::processEvents();
      QVERIFY2(s.app->Doc().m_tool == input.tool, input.what);
      QCOMPARE(pane->BrushFlag(), input.tool);
      QCOMPARE(brush->isChecked(), input.tool == 1);
      QCOMPARE(eraser->isChecked(), input.tool == 0);
      QCOMPARE(pane->BrushAction()->isChecked(), input.tool == 1);
      QCOMPARE(pane->EraserAction()->isChecked(), input.tool == 0);
    }
  }

  void statusBarShowsPlaceAndValues() {
    Session s = Start(true);
    QVERIFY(s.frame);
    CQuiltorDoc& doc = s.app->Doc();
    CQuiltorView* view = s.frame->View();
    auto* place = s.frame->statusBar()->findChild<QLabel*>(QStringLiteral("placeLabel"));
    QVERIFY(place);
    doc.CreateSlice(512, 1, 1);
    view->repaint();
    const QPoint over = view->rect().center();
    Move(view, over);
    const QPoint at = view->ImagePointOf(over);
    QCOMPARE(place->text(), QStringLiteral("x %1, y %2").arg(at.x()).arg(at.y()));
    // dragging the square shows its place and angle
    const QPoint inside(doc.m_sliceScreenLeft + 5, doc.m_sliceScreenTop + 5);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, inside);
    Move(view, inside + QPoint(30, 20), Qt::LeftButton);
    QCOMPARE(place->text(), QStringLiteral("slice %1, %2, 512 \u00d7 512, 0\u00b0")
                                .arg(doc.m_sliceX)
                                .arg(doc.m_sliceY));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, inside + QPoint(30, 20));
    // a focused slider shows its value: tooltip, accessible value, status bar
    CBlackSlider* size = s.frame->PropertiesWnd()->Dialog()->Slider(MergerId::kBrushSize);
    size->setFocus(Qt::TabFocusReason);
    QTest::keyClick(size, Qt::Key_Right);
    QCOMPARE(s.frame->statusBar()->currentMessage(), QStringLiteral("Brush Size: 129"));
    QCOMPARE(QToolTip::text(), QStringLiteral("129"));
    QAccessibleInterface* ai = QAccessible::queryAccessibleInterface(size);
    QVERIFY(ai && ai->valueInterface());
    QCOMPARE(ai->valueInterface()->currentValue().toInt(), 129);
    s.frame->View()->setFocus();
    QCOMPARE(s.frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
  }

  void saveAsKeyAndFolderCaption() {
    Session s = Start(true);
    QVERIFY(s.frame);
    QCOMPARE(s.frame->Action(Cmd::kFileSaveAs)->shortcut(),
             QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    QVERIFY(s.frame->Action(Cmd::kFileSaveAs)
                ->shortcut()
                .toString(QKeySequence::NativeText)
                .contains(u'S'));
    ModalAnswerer answers;
    answers.File(QString());
    QTest::keyClick(s.frame, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(answers.Done());
    QCOMPARE(answers.dialogFolders.value(0), s.folder);
    // the caption as given, without a second application name
    QCOMPARE(s.frame->windowHandle()->title(), QStringLiteral("picture.png - Quiltor "));
  }

  void previewClearedWhenTheMergeEnds_data() {
    QTest::addColumn<int>("end");
    QTest::newRow("Apply Merge") << 0;
    QTest::newRow("Cancel Merge") << 1;
    QTest::newRow("another picture") << 2;
  }
  void previewClearedWhenTheMergeEnds() {
    QFETCH(int, end);
    Session s = Start(true);
    QVERIFY(s.frame);
    CQuiltorDoc& doc = s.app->Doc();
    doc.m_sliceFolder = s.folder;
    doc.CreateSlice(512, 0, 1);
    const QString name = doc.ExportAndLock();
    QVERIFY(!name.isEmpty());
    doc.ImportFile(s.folder + u'/' + name);
    QCOMPARE(doc.m_merge, uint8_t(1));
    CImagePreviewWnd* preview = s.frame->PropertiesWnd()->Dialog()->Preview();
    QVERIFY(preview->Image().HasPixels());
    if (end == 0)
      QTest::mouseClick(s.frame->PropertiesWnd()->Dialog()->Control(MergerId::kApplyMerge),
                        Qt::LeftButton);
    if (end == 1) s.frame->Action(Cmd::kCancelMerge)->trigger();
    if (end == 2) {
      const QString other = s.folder + QStringLiteral("/other.png");
      QVERIFY(WritePicture(other, 800, 600, 7));
      doc.SetModifiedFlag(false);
      QCOMPARE(s.app->OpenDocumentFile(other), CQuiltorApp::OpenResult::Opened);
    }
    QVERIFY(!preview->Image().HasPixels());
  }

  void everyTextOfEveryLookIsReadable() {
    Session s = Start(false);
    QVERIFY(s.frame);
    CMainFrame* frame = s.frame;
    frame->AddOutputLine(QStringLiteral("Load BG: picture.png (2000,1500)"));
    for (QAction* tool :
         {frame->PropertiesWnd()->BrushAction(), frame->PropertiesWnd()->EraserAction()})
      tool->setIcon(QIcon());  // the glyphs alone are compared
    int count = 0;
    const LookEntry* looks = LookTable(&count);
    QCOMPARE(count, 11);
    for (int i = 0; i < count; ++i) {
      frame->OnApplicationLook(looks[i].id);
      QApplication::processEvents();
      auto check = [&](QWidget* w, const QString& text,
                       const std::function<void(const QString&)>& set) {
        if (!w->isVisible() || !w->isEnabled() || text.isEmpty()) return;
        const double ratio = TextContrast(w, set, text);
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("look %1, \"%2\": %3:1")
                                              .arg(looks[i].id)
                                              .arg(text)
                                              .arg(ratio, 0, 'f', 2)));
      };
      for (QLabel* l : frame->findChildren<QLabel*>())
        check(l, l->text(), [l](const QString& t) { l->setText(t); });
      for (QAbstractButton* b : frame->findChildren<QAbstractButton*>()) {
        auto* tool = qobject_cast<QToolButton*>(b);
        if (tool && tool->defaultAction()) {
          QAction* a = tool->defaultAction();
          if (a->icon().isNull()) check(b, a->text(), [a](const QString& t) { a->setText(t); });
        } else if (!tool) {
          check(b, b->text(), [b](const QString& t) { b->setText(t); });
        }
      }
      for (QLineEdit* e : frame->findChildren<QLineEdit*>())
        check(e, e->text(), [e](const QString& t) { e->setText(t); });
      for (QDockWidget* d : frame->findChildren<QDockWidget*>())
        check(d, d->windowTitle(), [d](const QString& t) { d->setWindowTitle(t); });
      // the log's lines, plain and selected, in both window states
      const QPalette log = frame->OutputWnd()->List()->palette();
      for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        for (auto [fore, back] : {std::pair{QPalette::Text, QPalette::Base},
                                  std::pair{QPalette::HighlightedText, QPalette::Highlight}})
          QVERIFY2(Contrast(log.color(g, fore).rgb(), log.color(g, back).rgb()) >= 4.5,
                   qPrintable(
                       QStringLiteral("look %1, log colours %2").arg(looks[i].id).arg(int(fore))));
      QStatusBar* bar = frame->statusBar();
      check(bar, QStringLiteral("Ready"), [bar](const QString& t) { bar->showMessage(t); });
      for (QAction* menu : frame->menuBar()->actions())
        check(frame->menuBar(), menu->text(), [menu](const QString& t) { menu->setText(t); });
    }
  }
};

QUILTOR_WIDGET_TEST_MAIN(WindowAccessTest)
#include "WindowAccessTest.moc"
