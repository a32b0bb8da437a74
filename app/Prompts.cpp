#include "app/Prompts.h"

#include "app/CommandIds.h"

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
    case Cmd::kZoomIn: return p("Show the picture larger, around the view's centre", "Zoom In");
    case Cmd::kZoomOut: return p("Show the picture smaller, down to the whole picture", "Zoom Out");
    case Cmd::kZoomFit: return p("Show the whole picture fitted into the window", "Fit to Window");
    case Cmd::kZoomActual: return p("Show one screen pixel per picture pixel", "Actual Pixels");
    case Cmd::kZoomToSlice: return p("Zoom until the slice square fills the view", "Zoom to Slice");
    case Cmd::kZoomToSliceWhenMerging:
      return p("Zoom to the slice square while a merge is under way", "Zoom to Slice When Merging");
    case Cmd::kAppAbout:
      return p("Display program information, version number and copyright", "About");
    case Cmd::kFilePrint: return p("Print the active document", "Print");
    case Cmd::kFilePrintPreview: return p("Display full pages", "Print Preview");
    default: return {};
  }
}
