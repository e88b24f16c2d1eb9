#include "cli/commands.h"

#include "cut/fragment.h"

namespace skarvel::cli {

// skarvel-batch cut [--w1 TEXT] [--h1 TEXT] [--w2 TEXT] [--h2 TEXT] FILE...
// The window's defaults: 0, 0, 100, 100.
int RunCut(const ParsedArguments& parsed) {
  if (parsed.positional.isEmpty()) throw UsageError("no files given");
  const QString w1 = parsed.value(QStringLiteral("w1"), QStringLiteral("0"));
  const QString h1 = parsed.value(QStringLiteral("h1"), QStringLiteral("0"));
  const QString w2 = parsed.value(QStringLiteral("w2"), QStringLiteral("100"));
  const QString h2 = parsed.value(QStringLiteral("h2"), QStringLiteral("100"));
  RunBitmapBatch(parsed.positional,
                 [&](const QString& folder, const QStringList& entries, const BatchObserver& observer) {
                   RunFragmentExtraction(folder, entries, w1, h1, w2, h2, observer);
                 });
  return kExitOk;
}

}  // namespace skarvel::cli
