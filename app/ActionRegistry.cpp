#include "app/ActionRegistry.h"

#include <QAction>
#include <QIcon>
#include <optional>

#include "app/Prompts.h"
#include "panes/BusyCursor.h"

QList<QKeySequence> CommandKeys::Sequences() const {
  // One sequence from a standard key, as QAction::setShortcut takes it.
  if (standard != QKeySequence::UnknownKey) return {QKeySequence(standard)};
  if (!text) return {};
  return QKeySequence::listFromString(QString::fromLatin1(text), QKeySequence::PortableText);
}

void CActionRegistry::Register(int id, QAction* action) { m_actions.insert(id, action); }

void CActionRegistry::Unregister(int id, const QAction* action) {
  if (m_actions.value(id) == action) m_actions.remove(id);
}

QAction* CActionRegistry::NewCommand(int id, const QString& text, QObject* parent) {
  auto* action = new QAction(text, parent);
  action->setData(id);
  const CommandPrompt prompt = PromptFor(id);
  action->setStatusTip(prompt.prompt);
  QString tip = prompt.tooltip;
  if (tip.isEmpty()) tip = QString(text).remove(u'&');
  action->setToolTip(tip);
  return action;
}

QAction* CActionRegistry::Add(int id, const QString& text, const CommandKeys& keys,
                              const char* icon, bool checkable, std::function<void()> handler,
                              CommandRun run, QObject* owner) {
  QAction* action = NewCommand(id, text, owner);
  const QList<QKeySequence> sequences = keys.Sequences();
  if (!sequences.isEmpty()) action->setShortcuts(sequences);
  if (icon) action->setIcon(QIcon(QString::fromLatin1(icon)));
  action->setCheckable(checkable);
  if (handler)
    connect(action, &QAction::triggered, owner, [this, handler = std::move(handler), run] {
      {
        std::optional<CBusyCursor> busy;
        if (run == CommandRun::kBusy) busy.emplace();
        handler();
      }
      if (run != CommandRun::kPlain) emit CommandDone();
    });
  Register(id, action);
  return action;
}
