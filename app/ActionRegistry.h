// Every command of the window by id. The main frame and the docks register
// the actions they own; menus, toolbars, the view's context menu, the
// application object and the tests reach the same QAction here by id.
#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <functional>

class QAction;

// How a command's handler runs.
enum class CommandRun {
  kPlain,    // as it is
  kRefresh,  // then the window's marks and the view are brought up to date
  kBusy,     // under the busy cursor, then refreshed
};

// A command's shortcut: the platform's standard key, or portable text with
// "; " between alternatives ("Ctrl+=; Ctrl++"). Plain data, so that tables of
// commands are built before the application exists.
struct CommandKeys {
  constexpr CommandKeys() = default;
  constexpr CommandKeys(QKeySequence::StandardKey key) : standard(key) {}
  constexpr CommandKeys(const char* portable) : text(portable) {}
  QList<QKeySequence> Sequences() const;

  QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
  const char* text = nullptr;
};

// One row of a command table: where the entry goes, the action and what it
// does for its owner.
template <class Owner>
struct TCommandRow {
  using Handler = void (*)(Owner&);
  // Trailing fields may be left out.
  constexpr TCommandRow(const char* menu, int id, const char* text = nullptr, CommandKeys keys = {},
                        const char* icon = nullptr, bool checkable = false,
                        Handler handler = nullptr, CommandRun run = CommandRun::kPlain)
      : menu(menu),
        id(id),
        text(text),
        keys(keys),
        icon(icon),
        checkable(checkable),
        handler(handler),
        run(run) {}

  const char* menu;  // "&File", "&File/Export Small"; null: in no menu
  int id;            // CActionRegistry::kSeparator: a line
  const char* text;  // null: an action registered by its owner
  CommandKeys keys;
  const char* icon;  // resource path
  bool checkable;
  Handler handler;  // null: another part connects triggered
  CommandRun run;
};

class CActionRegistry : public QObject {
  Q_OBJECT
 public:
  static constexpr int kSeparator = 0;

  using QObject::QObject;

  void Register(int id, QAction* action);
  // Forgets id if it still stands for action.
  void Unregister(int id, const QAction* action);
  // Null when nothing is registered under id.
  QAction* Action(int id) const { return m_actions.value(id, nullptr); }

  // A command action owned by parent: the id as its data, the status-bar
  // prompt and the tooltip of the id. Not registered.
  QAction* NewCommand(int id, const QString& text, QObject* parent);

  // Makes the row's action (owned by owner), registers it and connects its
  // handler.
  template <class Owner>
  QAction* Add(const TCommandRow<Owner>& row, Owner& owner) {
    std::function<void()> run;
    if (auto* handler = row.handler) run = [handler, &owner] { handler(owner); };
    return Add(row.id, QString::fromLatin1(row.text), row.keys, row.icon, row.checkable,
               std::move(run), row.run, &owner);
  }

 signals:
  // A handler of a kRefresh or kBusy command has run.
  void CommandDone();

 private:
  QAction* Add(int id, const QString& text, const CommandKeys& keys, const char* icon,
               bool checkable, std::function<void()> handler, CommandRun run, QObject* owner);

  QHash<int, QAction*> m_actions;
};
