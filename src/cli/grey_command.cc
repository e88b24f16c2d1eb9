#include "cli/commands.h"

#include "colour/grey.h"

namespace skarvel::cli {
namespace {

// A slider position: a decimal integer within the slider's range.
int SliderPosition(const ParsedArguments& parsed, const QString& name, int fallback, int min, int max) {
  if (!parsed.options.contains(name)) return fallback;
  const QString text = parsed.options.value(name);
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok || value < min || value > max)
    throw UsageError(QStringLiteral("--%1 must be an integer from %2 to %3, not '%4'")
                         .arg(name)
                         .arg(min)
                         .arg(max)
                         .arg(text)
                         .toStdString());
  return value;
}

}  // namespace

// skarvel-batch grey [--r N] [--g N] [--b N] [--contrast N] FILE...
// Slider positions; the window's defaults 0, 0, 0, 50.
int RunGrey(const ParsedArguments& parsed) {
  ChannelSettings settings;
  settings.r = SliderPosition(parsed, QStringLiteral("r"), settings.r, kChannelMin, kChannelMax);
  settings.g = SliderPosition(parsed, QStringLiteral("g"), settings.g, kChannelMin, kChannelMax);
  settings.b = SliderPosition(parsed, QStringLiteral("b"), settings.b, kChannelMin, kChannelMax);
  settings.contrast =
      SliderPosition(parsed, QStringLiteral("contrast"), settings.contrast, kContrastMin, kContrastMax);
  if (parsed.positional.isEmpty()) throw UsageError("no files given");
  RunBitmapBatch(parsed.positional,
                 [&](const QString& folder, const QStringList& entries, const BatchObserver& observer) {
                   RunGreyComposition(folder, entries, settings, observer);
                 });
  return kExitOk;
}

}  // namespace skarvel::cli
