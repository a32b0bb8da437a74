// Placeholder until the resize command lands.
#include <cstdio>

#include "tools/cli/Commands.h"

int CmdResize(const Args&) {
  std::fputs("error: resize is not available yet\n", stderr);
  return 1;
}
