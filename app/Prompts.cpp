#include "app/Prompts.h"

#include "document/CommandIds.h"

CommandPrompt PromptFor(int id) {
  auto p = [](const char* prompt, const char* tip) {
    return CommandPrompt{QString::fromLatin1(prompt), QString::fromLatin1(tip)};
  };
  if (id >= Cmd::kFileMruFirst && id <= Cmd::kFileMruLast) return p("Open this document", "");
  switch (id) {
    case Cmd::kFileNew: return p("Create a new document", "New");
    case Cmd::kFileOpen: return p("Open an existing document", "Open");
    case Cmd::kFileSave: return p("Save the active document", "Save");
    case Cmd::kFileSaveAs: return p("Save the active document with a new name", "Save As");
    case Cmd::kAppExit: return p("Quit the application; prompts to save documents", "Exit");
    case Cmd::kViewStatusBar: return p("Show or hide the status bar", "Toggle Status Bar");
    case Cmd::kMagnify: return p("Magnify", "Magnify");
    case Cmd::kAppAbout: return p("Display program information, version number and copyright", "About");
    case Cmd::kFilePrint: return p("Print the active document", "Print");
    case Cmd::kFilePrintPreview: return p("Display full pages", "Print Preview");
    default: return {};
  }
}
