// The edit texts of the colour composition window: whatever is typed or
// pasted into an edit, and whatever position a slider reports.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "colour/channel_texts.h"
#include "colour/grey.h"
#include "platform/numbers.h"

#include <QRegularExpression>

#include <climits>
#include <cmath>
#include <cstring>

namespace skarvel::fuzz {
namespace {

// The reading of a text is the converted value cut toward zero, or the end
// of int beyond it.
void RequireTruncation(std::optional<int> result, std::optional<long double> value, const char* edit) {
  Require(result.has_value() == value.has_value(), std::string(edit) + ": converts when the number does not");
  if (!value) return;
  const long double v = *value;
  if (v >= 2147483648.0L) {
    Require(*result == INT_MAX, std::string(edit) + ": a large value does not saturate");
  } else if (v <= -2147483649.0L) {
    Require(*result == INT_MIN, std::string(edit) + ": a large negative value does not saturate");
  } else {
    Require(std::fabs(v - *result) < 1 && (v >= 0 ? *result <= v : *result >= v),
            std::string(edit) + ": not truncated toward zero");
  }
}

void CheckTexts(const QString& text) {
  for (QChar separator : kSeparators) {
    const qsizetype percent = text.indexOf(u'%');
    std::optional<long double> channel = ParseExtended(percent < 0 ? text : text.left(percent), separator);
    if (channel) {
      const double d = static_cast<double>(*channel);
      channel = std::isfinite(d) ? std::optional<long double>(d) : std::nullopt;
    }
    RequireTruncation(ParseChannelText(text, separator), channel, "channel edit");

    std::optional<long double> contrast = ParseExtended(text, separator);
    if (contrast) contrast = *contrast * 50;
    RequireTruncation(ParseContrastText(text, separator), contrast, "contrast edit");
  }
}

void CheckPosition(int position) {
  Require(ParseChannelText(FormatChannelText(position), u',') == position,
          "a channel position does not read back");
  for (QChar separator : kSeparators) {
    const QString shown = FormatContrastText(position, separator);
    static const QRegularExpression point(QStringLiteral("\\A-?[0-9]+\\.[0-9][0-9]\\z"));
    static const QRegularExpression comma(QStringLiteral("\\A-?[0-9]+,[0-9][0-9]\\z"));
    Require((separator == u',' ? comma : point).match(shown).hasMatch(),
            "contrast text " + shown.toStdString() + " is not two decimals");
    // Two significant digits of the factor: within half a unit of the second.
    const long double factor = position / 50.0L;
    const auto back = ParseExtended(shown, separator);
    Require(back.has_value(), "contrast text does not read back");
    if (factor != 0) {
      const long double unit = std::pow(10.0L, std::floor(std::log10(std::fabs(factor))) - 1);
      Require(std::fabs(*back - factor) <= unit / 2 * (1 + 1e-15L),
              "contrast text " + shown.toStdString() + " is not the factor to two digits");
    } else {
      Require(*back == 0, "contrast 0 is not shown as 0");
    }
    if (position >= kContrastMin && position <= kContrastMax) {
      // The slider and the edit settle after one round, within the range.
      const auto settled = ParseContrastText(shown, separator);
      Require(settled && *settled >= kContrastMin && *settled <= kContrastMax,
              "contrast settles outside 0..500");
      Require(FormatContrastText(*settled, separator) == shown, "the contrast exchange does not settle");
    }
  }
}

}  // namespace

void FuzzColourTexts(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  CheckTexts(QString::fromUtf8(bytes));
  int position = 0;
  std::memcpy(&position, data, std::min(size, sizeof position));
  CheckPosition(position);
  CheckPosition(position % 601 - 50);  // mostly near the slider's range
}

}  // namespace skarvel::fuzz
