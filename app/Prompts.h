// The prompt strings of the commands: the status-bar prompt and the tooltip.
#pragma once

#include <QString>

struct CommandPrompt {
  QString prompt;   // status bar; empty when the command has none
  QString tooltip;  // empty when the command has none
};

CommandPrompt PromptFor(int id);
