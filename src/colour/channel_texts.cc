#include "colour/channel_texts.h"

#include "platform/numbers.h"

#include <climits>
#include <cmath>

namespace skarvel {
namespace {

// Truncates toward zero into int, saturating: a value beyond int (infinities
// included) becomes INT_MIN or INT_MAX. The comparison is made before the
// conversion, which would be undefined for such values.
int TruncateSaturated(long double value) {
  if (value >= 2147483648.0L) return INT_MAX;
  if (value <= -2147483649.0L) return INT_MIN;
  return static_cast<int>(std::trunc(value));
}

}  // namespace

QString FormatChannelText(int position) { return QString::number(position) + QStringLiteral(" %"); }

QString FormatContrastText(int position, QChar separator) {
  // The factor in extended precision, then its two significant digits,
  // correctly rounded from the binary value (no position lies on a tie).
  const long double factor = static_cast<long double>(position) * 0.02L;
  const std::string twoDigits = FormatScientificC(factor, 2);  // "d.de+XX"
  const long double rounded = *ParseExtended(QString::fromLatin1(twoDigits.c_str()), u'.');
  // Two significant digits of a factor of 0.01 and more fit two decimals
  // exactly, so the nearest extended value prints back as those digits.
  QString text = QString::fromStdString(FormatFixedC(rounded, 2));
  text.replace(u'.', separator);
  return text;
}

QString FormatContrastText(int position) { return FormatContrastText(position, DecimalSeparator()); }

std::optional<int> ParseChannelText(const QString& text, QChar separator) {
  const qsizetype percent = text.indexOf(u'%');
  const auto value = ParseExtended(percent < 0 ? text : text.left(percent), separator);
  if (!value) return std::nullopt;
  // The system's real-number conversion gives a double; a text beyond the
  // double range does not convert.
  const double d = static_cast<double>(*value);
  if (!std::isfinite(d)) return std::nullopt;
  return TruncateSaturated(d);
}

// The separator in force first, then the other of "." and ",": the edits
// are typed on keyboards and desktops set to either, and a text holds at
// most one decimal point and no thousands separator, so no text converts to
// two different values. Under "," alone, "0.5" would not convert while its
// first keystroke "0" does: the edit would end at 0.
template <typename Parse>
std::optional<int> WithEitherSeparator(const QString& text, Parse parse) {
  const QChar separator = DecimalSeparator();
  if (const std::optional<int> value = parse(text, separator)) return value;
  return parse(text, separator == u'.' ? QChar(u',') : QChar(u'.'));
}

std::optional<int> ParseChannelText(const QString& text) {
  return WithEitherSeparator(text, [](const QString& t, QChar s) { return ParseChannelText(t, s); });
}

std::optional<int> ParseContrastText(const QString& text, QChar separator) {
  const auto value = ParseExtended(text, separator);
  if (!value) return std::nullopt;
  // Kept in extended precision: 2.1 times 50 is then just below 105.
  return TruncateSaturated(*value * 50);
}

std::optional<int> ParseContrastText(const QString& text) {
  return WithEitherSeparator(text, [](const QString& t, QChar s) { return ParseContrastText(t, s); });
}

}  // namespace skarvel
