// Placeholder until the document script lands.
#include <cstdio>

#include "tools/cli/Commands.h"

int CmdRun(const Args&) {
  std::fputs("error: run is not available yet\n", stderr);
  return 1;
}
