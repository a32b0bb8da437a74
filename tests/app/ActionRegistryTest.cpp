// The command registry: shortcuts from a row, what a handler's run kind
// adds, and the lookup by id that menus and tests rely on.
#include <QAction>
#include <QSignalSpy>

#include "app/ActionRegistry.h"
#include "panes/BusyCursor.h"
#include "widgets/WidgetTestSupport.h"

Q_DECLARE_METATYPE(CommandKeys)
Q_DECLARE_METATYPE(CommandRun)

namespace {
struct Owner : QObject {
  int calls = 0;
  bool busy = false;
};
}  // namespace

class ActionRegistryTest : public QObject {
  Q_OBJECT
 private slots:
  void keys_data() {
    QTest::addColumn<CommandKeys>("keys");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << CommandKeys() << QString();
    QTest::newRow("standard") << CommandKeys(QKeySequence::Save) << QStringLiteral("Ctrl+S");
    QTest::newRow("text") << CommandKeys("Ctrl+Shift+S") << QStringLiteral("Ctrl+Shift+S");
    QTest::newRow("alternatives") << CommandKeys("Ctrl+=; Ctrl++")
                                  << QStringLiteral("Ctrl+=; Ctrl++");
  }
  void keys() {
    QFETCH(CommandKeys, keys);
    QFETCH(QString, expected);
    QStringList got;
    for (const QKeySequence& k : keys.Sequences()) got << k.toString(QKeySequence::PortableText);
    QCOMPARE(got.join(QStringLiteral("; ")), expected);
  }

  void runKinds_data() {
    QTest::addColumn<CommandRun>("run");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("done");
    QTest::newRow("plain") << CommandRun::kPlain << false << 0;
    QTest::newRow("refresh") << CommandRun::kRefresh << false << 1;
    QTest::newRow("busy") << CommandRun::kBusy << true << 1;
  }
  void runKinds() {
    QFETCH(CommandRun, run);
    QFETCH(bool, busy);
    QFETCH(int, done);
    CActionRegistry registry;
    Owner owner;
    QSignalSpy spy(&registry, &CActionRegistry::CommandDone);
    const TCommandRow<Owner> row(
        nullptr, 7, "&Seven", nullptr, nullptr, true,
        [](Owner& o) {
          ++o.calls;
          o.busy = CBusyCursor::Active();
        },
        run);
    QAction* action = registry.Add(row, owner);
    QCOMPARE(registry.Action(7), action);
    QCOMPARE(action->toolTip(), QStringLiteral("Seven"));
    QVERIFY(action->isCheckable());
    action->trigger();
    QCOMPARE(owner.calls, 1);
    QCOMPARE(owner.busy, busy);
    QVERIFY(!CBusyCursor::Active());
    QCOMPARE(spy.count(), done);
  }

  void unregisterKeepsAReplacement() {
    CActionRegistry registry;
    QAction first, second;
    registry.Register(3, &first);
    registry.Register(3, &second);
    registry.Unregister(3, &first);
    QCOMPARE(registry.Action(3), &second);
    registry.Unregister(3, &second);
    QCOMPARE(registry.Action(3), nullptr);
  }
};

QUILTOR_WIDGET_TEST_MAIN(ActionRegistryTest)
#include "ActionRegistryTest.moc"
