// The desktop program as the start-up benchmark runs it: the shipped
// program's start, ending after the main window's first paint.
#include "app/QuiltorApp.h"

int main(int argc, char** argv) {
  CQuiltorApp app(argc, argv);
  app.SetExitAfterFirstPaint(true);
  return app.Run();
}
