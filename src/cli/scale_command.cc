#include "cli/commands.h"

namespace skarvel::cli {

int RunScale(const QStringList& args) {
  const ParsedArguments parsed = ParseArguments(args, {QStringLiteral("bench"), QStringLiteral("real")});
  if (parsed.positional.isEmpty()) throw UsageError("no files given");
  return kExitOk;
}

}  // namespace skarvel::cli
