// Edit > Undo and Redo in the window: place, keys, texts naming the step,
// enabled state, the view's release ending a stroke; and the recovery
// question at start.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <memory>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/OutputWnd.h"
#include "app/QuiltorApp.h"
#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"
#include "view/QuiltorView.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {
std::unique_ptr<CQuiltorApp> Start(const QStringList& extra = {}) {
  auto app = std::make_unique<CQuiltorApp>(QStringList{QStringLiteral("quiltor")} + extra);
  if (!app->InitInstance()) return nullptr;
  return app;
}

QMenu* EditMenu(CMainFrame* frame) {
  for (QAction* a : frame->menuBar()->actions())
    if (a->text() == QStringLiteral("&Edit")) return a->menu();
  return nullptr;
}

// A merge of a returned 512 slice in the middle of the picture.
void StartMerge(CQuiltorDoc& doc, const QString& folder) {
  const QString slice = folder + QStringLiteral("/returned.png");
  QVERIFY(WritePicture(slice, 512, 512, 9));
  doc.CreateSlice(512, 0, 1);
  doc.LockSlice();
  doc.ImportFile(slice);
  QCOMPARE(doc.m_merge, uint8_t(1));
}
}  // namespace

class UndoMenuTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearSettings(); }

  void undoAndRedoTopTheEditMenu() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/main.png");
    QVERIFY(WritePicture(picture, 1200, 900));
    auto app = Start({picture});
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    CQuiltorDoc& doc = app->Doc();
    QMenu* edit = EditMenu(frame);
    QVERIFY(edit);
    const QList<QAction*> actions = edit->actions();
    QCOMPARE(actions.value(0)->data().toInt(), Cmd::kEditUndo);
    QCOMPARE(actions.value(1)->data().toInt(), Cmd::kEditRedo);
    QVERIFY(actions.value(2)->isSeparator());
    QCOMPARE(actions.value(3)->data().toInt(), Cmd::kExportAndLock);
    QAction* undo = frame->Action(Cmd::kEditUndo);
    QAction* redo = frame->Action(Cmd::kEditRedo);
    QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(redo->shortcut(), QKeySequence(QKeySequence::Redo));
    QCOMPARE(undo->text(), QStringLiteral("Undo"));
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());

    StartMerge(doc, folder);
    // A press and release on the view: one stroke.
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    CQuiltorView* view = frame->View();
    const QPoint middle = view->rect().center();
    QTest::mousePress(view, Qt::LeftButton, {}, middle);
    QTest::mouseMove(view, middle + QPoint(20, 10));
    QTest::mouseRelease(view, Qt::LeftButton, {}, middle + QPoint(20, 10));
    QCOMPARE(doc.MaskHistory().UndoCount(), size_t{1});
    QTRY_COMPARE(undo->text(), QStringLiteral("Undo Mask Stroke"));
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(frame->OutputWnd()->List()->Line(frame->OutputWnd()->List()->LineCount() - 1),
             QStringLiteral("Undo: Mask Stroke"));
    QCOMPARE(undo->text(), QStringLiteral("Undo"));
    QVERIFY(!undo->isEnabled());
    QCOMPARE(redo->text(), QStringLiteral("Redo Mask Stroke"));
    QVERIFY(redo->isEnabled());

    // The Merger's buttons call the document directly: the menu follows.
    doc.InvertMask();
    QTRY_COMPARE(undo->text(), QStringLiteral("Undo Invert"));
    QVERIFY(!redo->isEnabled());
    frame->Action(Cmd::kApplyMerge)->trigger();
    QCOMPARE(undo->text(), QStringLiteral("Undo Apply Merge"));
    undo->trigger();
    QCOMPARE(redo->text(), QStringLiteral("Redo Apply Merge"));
    redo->trigger();
    QCOMPARE(undo->text(), QStringLiteral("Undo Apply Merge"));
    frame->hide();
    doc.SetModifiedFlag(false);  // no save question at the end
  }

  void recoveryIsOfferedAtStart() {
    const QString folder = TempFolder();
    const QString picture = folder + QStringLiteral("/castle.png");
    QVERIFY(WritePicture(picture, 1200, 900));
    // A first program's work, left behind as a crash leaves it, in the
    // program's own state folder.
    QCoreApplication::setOrganizationName(QStringLiteral("Orvandel"));
    QCoreApplication::setApplicationName(QStringLiteral("Quiltor"));
    QByteArray expected;
    {
      RecordingHost host;
      CQuiltorServices services;
      CQuiltorDoc first(host, services);
      QVERIFY(first.FileOpen(picture));
      StartMerge(first, folder);
      first.ApplyMerge();
      expected =
          QByteArray(reinterpret_cast<const char*>(first.m_mainImage.Pixels()), 3 * 1200 * 900);
      QVERIFY(first.Journal().IsOpen());
      first.Journal().Abandon();
    }
    ModalAnswerer answerer;
    answerer.Box(QMessageBox::Yes);
    auto app = Start();
    QVERIFY(app);
    CQuiltorDoc& doc = app->Doc();
    QTRY_VERIFY(answerer.Done());
    QCOMPARE(
        answerer.boxTexts.value(0),
        QStringLiteral("Quiltor closed without saving. Recover the unsaved work on castle.png?"));
    QTRY_VERIFY(doc.m_mainImage.HasPixels());
    QVERIFY(doc.IsModified());
    QVERIFY(app->MainFrame()->isWindowModified());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(doc.m_mainImage.Pixels()), 3 * 1200 * 900),
             expected);
    doc.SetModifiedFlag(false);
  }
};

QUILTOR_WIDGET_TEST_MAIN(UndoMenuTest)
#include "UndoMenuTest.moc"
