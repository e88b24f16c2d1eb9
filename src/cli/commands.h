#pragma once
// The subcommands of skarvel-batch. Each lives in its own file and calls the
// same core function the corresponding window calls, with the arguments
// parsed by its options in the command table (main.cc).

#include "cli/command_line.h"

namespace skarvel::cli {

int RunScale(const ParsedArguments& parsed);
int RunResample(const ParsedArguments& parsed);
int RunCut(const ParsedArguments& parsed);
int RunGrey(const ParsedArguments& parsed);
int RunFov(const ParsedArguments& parsed);

}  // namespace skarvel::cli
