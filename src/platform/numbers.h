#pragma once
// Conversion between numbers and the texts of files and edit fields.
//
// Number texts follow one grammar everywhere: optional blanks, an optional
// sign, decimal digits with an optional decimal separator (digits before it,
// after it or both), an optional exponent (E or e, optional sign, digits),
// optional trailing blanks, nothing else. Blanks are spaces; tabs are not.
// The decimal separator is one character: the user's LC_NUMERIC radix unless
// overridden (tests and the command line do). No thousands separators.
//
// The C library's own conversions follow whatever locale the process has set
// (Qt sets it from the environment at start-up), so nothing here relies on
// them: the grammar is checked by hand and the digits are converted in the
// "C" locale.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <string>

namespace skarvel {

// The decimal separator in force: the override if set, else the locale's.
QChar DecimalSeparator();
// Sets (or with nullopt clears) the override of the locale's separator.
void SetDecimalSeparatorOverride(std::optional<QChar> separator);
// The separator of the environment's LC_NUMERIC locale ("." if it has none).
QChar LocaleDecimalSeparator();

// Parses a number text in extended precision. Returns nullopt when the text
// does not follow the grammar or lies outside the long double range.
std::optional<long double> ParseExtended(const QString& text, QChar separator);

// Text to double: converted in extended precision, then rounded to a double.
// Raises "'%s' is not a valid floating point value" when the text does not
// follow the grammar or the value lies outside the range of a double.
double StrToFloat(const QString& text);
double StrToFloat(const QString& text, QChar separator);
// A number text of a file (image geometry, camera or companion file): the
// grammar of StrToFloat with the separator in force, "." or "," as the
// decimal point. Files travel between machines set to either separator; as a
// text holds at most one decimal point and no thousands separator, no text
// converts to two different values. Raises the error of StrToFloat.
double FileStrToFloat(const QString& text);
// FileStrToFloat of a field's bytes in ASCII (the same text in every
// encoding a file may have); nullopt where it would raise, and for a field
// with any byte outside ASCII.
std::optional<double> FileFieldToFloat(QByteArrayView field);
// The same conversion (the same grammar and range, the same error), keeping
// the extended value instead of rounding it to a double.
long double StrToExtended(const QString& text);

// Integer text: leading blanks, an optional sign, then decimal digits or "$"
// and hexadecimal digits; nothing may follow. Decimal values must fit a
// 32-bit signed integer; hexadecimal ones fit 32 bits and are taken as the
// two's complement pattern ($FFFFFFFF is -1). Raises
// "'%s' is not a valid integer value" otherwise.
int StrToInt(const QString& text);
std::optional<int> TryStrToInt(const QString& text);

// Locale-independent fixed notation with the given number of decimals,
// correctly rounded from the exact binary value, '.' as separator.
std::string FormatFixedC(long double value, int decimals);
// Locale-independent scientific notation with `digits` significant digits,
// correctly rounded, '.' as separator (for example "1.25000e+02").
std::string FormatScientificC(long double value, int digits);
// The `digits` significant digits of that text (2 to 19 of them, for a
// finite value) into `out`, without the point, and the decimal exponent.
int ScientificDigits(long double value, int digits, char* out);
// The shortest text that reads back to the same double, '.' as separator,
// spelled as Qt's QByteArray::number(value, 'g', shortest) spells it.
QByteArray FormatShortest(double value);
void AppendShortest(QByteArray& out, double value);  // the same text, appended
// The same text written at `out`, which has room for kShortestRoom
// characters; returns the end of the text. What lies past that end within
// the room may be written over.
constexpr int kShortestRoom = 32;
char* WriteShortest(char* out, double value);

}  // namespace skarvel
