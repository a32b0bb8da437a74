// Commands of quiltor-cli. Each takes the arguments after the command name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int CmdInfo(const Args& args);
int CmdConvert(const Args& args);
int CmdResize(const Args& args);
int CmdRun(const Args& args);
