#include "cli/commands.h"
#include "scaling/scaling.h"

namespace skarvel::cli {

int RunScale(const ParsedArguments& parsed) {
  if (parsed.positional.isEmpty()) throw UsageError("no files given");
  // The edits' defaults.
  const QString bench = parsed.value(QStringLiteral("bench"), DefaultBenchText());
  const QString real = parsed.value(QStringLiteral("real"), kDefaultRealText);

  TImageGeometry geometry;  // one record for the whole run, as the window has
  bool skipped = false;
  ForEachFolderRun(parsed.positional, [&](const QString& folder, const QStringList& entries) {
    const ScalingResult result = RunScaling(folder, entries, bench, real, geometry);
    for (const QString& written : result.written) PrintOut(written);
    skipped = skipped || !result.skipped.isEmpty();
  });
  return skipped ? kExitFailure : kExitOk;
}

}  // namespace skarvel::cli
