#include "cli/commands.h"

#include "resampling/resample.h"

namespace skarvel::cli {

// skarvel-batch resample [--width TEXT] [--height TEXT] [--method nearest|bilinear] FILE...
// The window's defaults: 512 x 512, bilinear.
int RunResample(const ParsedArguments& parsed) {
  const QString methodName = parsed.value(QStringLiteral("method"), QStringLiteral("bilinear"));
  ResampleMethod method;
  if (methodName == QStringLiteral("nearest")) {
    method = ResampleMethod::kNearest;
  } else if (methodName == QStringLiteral("bilinear")) {
    method = ResampleMethod::kBilinear;
  } else {
    throw UsageError(
        QStringLiteral("--method must be nearest or bilinear, not '%1'").arg(methodName).toStdString());
  }
  if (parsed.positional.isEmpty()) throw UsageError("no files given");
  const QString width = parsed.value(QStringLiteral("width"), QStringLiteral("512"));
  const QString height = parsed.value(QStringLiteral("height"), QStringLiteral("512"));
  RunBitmapBatch(parsed.positional,
                 [&](const QString& folder, const QStringList& entries, const BatchObserver& observer) {
                   RunResampling(folder, entries, width, height, method, observer);
                 });
  return kExitOk;
}

}  // namespace skarvel::cli
