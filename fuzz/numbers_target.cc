// The number grammars and the number-to-text rule of lengths.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "geometry/readers.h"
#include "platform/error.h"
#include "platform/numbers.h"

#include <QLocale>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace skarvel::fuzz {
namespace {

// The real-number grammar written as a pattern, independently of the parser.
const QRegularExpression& NumberPattern(QChar separator) {
  static const QRegularExpression point(
      QStringLiteral("\\A *[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)? *\\z"));
  static const QRegularExpression comma(
      QStringLiteral("\\A *[+-]?([0-9]+(,[0-9]*)?|,[0-9]+)([eE][+-]?[0-9]+)? *\\z"));
  return separator == u',' ? comma : point;
}

// The integer grammar's decimal form, converted by the C++ library.
std::optional<int> ReferenceDecimalInt(const QString& text) {
  static const QRegularExpression decimal(QStringLiteral("\\A *([+-]?)([0-9]+)\\z"));
  const auto m = decimal.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const std::string digits = (m.captured(1) == u'-' ? "-" : "") + m.captured(2).toStdString();
  int value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// An error's message as the user sees it: skarvel::Error keeps a C string,
// so a text with a NUL character is shown up to it.
QString AsShown(const QString& message) { return QString::fromUtf8(message.toUtf8().constData()); }

void CheckNumberText(const QString& text) {
  for (QChar separator : kSeparators) {
    const std::optional<long double> extended = ParseExtended(text, separator);
    const bool matches = NumberPattern(separator).match(text).hasMatch();
    if (extended) {
      Require(matches, "ParseExtended accepts a text outside the grammar");
      Require(std::isfinite(*extended), "ParseExtended gives a value that is not finite");
    } else if (matches) {
      // Only a value beyond the extended range is refused, and that needs an exponent.
      Require(text.contains(u'e', Qt::CaseInsensitive), "ParseExtended refuses a number of the grammar");
    }

    std::optional<double> asDouble;
    try {
      asDouble = StrToFloat(text, separator);
    } catch (const Error& e) {
      Require(e.message() == AsShown(messages::NotAFloat(text)),
              "StrToFloat fails with " + e.message().toStdString());
    }
    if (asDouble) {
      Require(extended.has_value(), "StrToFloat converts a text ParseExtended refuses");
      Require(std::isfinite(*asDouble), "StrToFloat gives a value that is not finite");
      Require(*asDouble == static_cast<double>(*extended), "StrToFloat is not the extended value rounded");
      // Against Qt's own C-locale conversion: the same double or its
      // neighbour (the extended step may round twice).
      QString c = text.trimmed();
      c.replace(separator, u'.');
      bool converted = false;
      const double reference = QLocale::c().toDouble(c, &converted);
      if (converted && std::isfinite(reference) && reference != *asDouble) {
        const double up = std::nextafter(reference, std::numeric_limits<double>::infinity());
        const double down = std::nextafter(reference, -std::numeric_limits<double>::infinity());
        Require(*asDouble == up || *asDouble == down || std::fabs(reference) < 1e-300,
                "StrToFloat and the C conversion differ by more than a step");
      }
    } else if (extended) {
      Require(!std::isfinite(static_cast<double>(*extended)),
              "StrToFloat refuses a value of the double range");
    }
  }

  const std::optional<int> integer = TryStrToInt(text);
  std::optional<int> thrown;
  try {
    thrown = StrToInt(text);
  } catch (const Error& e) {
    Require(e.message() == AsShown(messages::NotAnInteger(text)),
            "StrToInt fails with " + e.message().toStdString());
  }
  Require(integer == thrown, "StrToInt and TryStrToInt disagree");
  if (!text.contains(u'$')) {
    Require(integer == ReferenceDecimalInt(text), "TryStrToInt and the C++ conversion disagree");
  } else if (integer) {
    // Hexadecimal: the same pattern written again reads back.
    const QString again = QStringLiteral("$") + QString::number(static_cast<std::uint32_t>(*integer), 16);
    Require(TryStrToInt(again) == integer, "a hexadecimal value does not read back");
  }
}

// What the number-to-text rule promises for a finite value.
void CheckShortNumber(double value) {
  for (QChar separator : kSeparators) {
    Separator scope(separator);
    const QString text = FormatShortNumber(value);
    const std::string shown = text.toStdString();
    Require(!text.isEmpty(), "FormatShortNumber gave an empty text");
    Require(!text.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
                !text.contains(QLatin1String("nan"), Qt::CaseInsensitive),
            "FormatShortNumber wrote " + shown);
    static const QRegularExpression point(QStringLiteral("\\A-?[0-9]+(\\.[0-9]+)?\\z"));
    static const QRegularExpression comma(QStringLiteral("\\A-?[0-9]+(,[0-9]+)?\\z"));
    Require((separator == u',' ? comma : point).match(text).hasMatch(), "not a plain decimal: " + shown);
    Require(!text.startsWith(u'-') || value < 0, "a minus sign on a value that is not negative: " + shown);

    const std::optional<long double> back = ParseExtended(text, separator);
    Require(back.has_value(), "the text does not read back: " + shown);
    const long double exact = std::fabs(static_cast<long double>(value));
    const long double magnitude = std::fabs(*back);
    const qsizetype at = text.indexOf(separator);
    if (exact >= 1e18L) {
      Require(at < 0 && magnitude == std::trunc(exact), "a huge value is not its integral part: " + shown);
      continue;
    }
    // The text is the value cut, after a rounding to 18 significant digits
    // (which may round up by half a unit of the 18th digit).
    const long double roundedUp = exact + exact * 6e-18L;
    Require(magnitude <= roundedUp, "the text is larger than the value: " + shown);
    if (at < 0) {
      // An integer: no significant decimal among the first 18 decimals.
      Require(magnitude == std::trunc(exact), "an integral text that is not the value truncated: " + shown);
      Require(exact - magnitude < 1e-18L + exact * 1e-17L, "decimals dropped from " + shown);
      continue;
    }
    const QString decimals = text.mid(at + 1);
    Require(decimals.size() <= 18, "more than 18 decimals: " + shown);
    const qsizetype firstSignificant = decimals.indexOf(QRegularExpression(QStringLiteral("[1-9]")));
    Require(firstSignificant >= 0, "decimals without a significant digit: " + shown);
    const qsizetype counted = decimals.size() - firstSignificant;
    Require(counted == 3 || (counted < 3 && decimals.size() == 18),
            "not three significant decimals: " + shown);
    const long double unit = std::pow(10.0L, -static_cast<long double>(decimals.size()));
    Require(exact - magnitude < unit + exact * 1e-17L, "more than the last digit cut off: " + shown);
  }
}

}  // namespace

void FuzzNumbers(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  CheckNumberText(QString::fromUtf8(bytes));
  CheckNumberText(QString::fromLatin1(bytes));
}

void FuzzShortNumber(const std::uint8_t* data, std::size_t size) {
  // The first eight bytes as a double; the whole input as a number text too,
  // which reaches the values of files far more often than random bits.
  double value = 0;
  std::memcpy(&value, data, std::min(size, sizeof value));
  std::vector<double> values{value};
  if (const auto parsed = ParseExtended(
          QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), u'.');
      parsed && std::isfinite(static_cast<double>(*parsed)))
    values.push_back(static_cast<double>(*parsed));
  for (double v : values) {
    if (std::isfinite(v)) {
      CheckShortNumber(v);
      continue;
    }
    // Infinities and NaNs are refused with the arithmetic's errors.
    bool refused = false;
    try {
      FormatShortNumber(v);
    } catch (const Error& e) {
      refused = e.message() == QLatin1String(messages::kFloatOverflow) ||
                e.message() == QLatin1String(messages::kFloatInvalid);
    }
    Require(refused, "FormatShortNumber did not refuse a value that is not finite");
  }
}

}  // namespace skarvel::fuzz
