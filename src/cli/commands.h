#pragma once
// The subcommands of skarvel-batch. Each lives in its own file and calls the
// same core function the corresponding window calls.

#include "cli/command_line.h"

namespace skarvel::cli {

int RunScale(const QStringList& args);
int RunResample(const QStringList& args);
int RunCut(const QStringList& args);
int RunGrey(const QStringList& args);
int RunFov(const QStringList& args);

}  // namespace skarvel::cli
