// quiltor-cli: the console front end.
#include <cstdio>
#include <cstring>

#include "tools/cli/Commands.h"

#ifdef QUILTOR_HAS_DOCUMENT
#include <QCoreApplication>
#endif

namespace {
void Usage() {
  std::fputs(
      "usage: quiltor-cli COMMAND ARGS\n"
      "  info FILE                              type, size and resolution of an image file\n"
      "  convert IN OUT                         load IN, save OUT in the type its extension names\n"
      "  resize IN OUT WIDTH HEIGHT [bilinear|0|16|17]\n"
      "  run [--progress] [FILE]                run a document script (standard input without "
      "FILE);\n"
      "                                         --progress reports opening and saving\n",
      stderr);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  // The desktop program's names, so that both share the per-user folders
  // (the recovery journals among them).
#ifdef QUILTOR_HAS_DOCUMENT
  QCoreApplication::setOrganizationName(QStringLiteral("Orvandel"));
  QCoreApplication::setApplicationName(QStringLiteral("Quiltor"));
#endif
  Args args(argv + 2, argv + argc);
  const char* cmd = argv[1];
  if (!std::strcmp(cmd, "info")) return CmdInfo(args);
  if (!std::strcmp(cmd, "convert")) return CmdConvert(args);
  if (!std::strcmp(cmd, "resize")) return CmdResize(args);
  if (!std::strcmp(cmd, "run")) return CmdRun(args);
  Usage();
  return 2;
}
