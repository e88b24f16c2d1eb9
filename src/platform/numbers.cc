#include "platform/numbers.h"

#include "platform/error.h"

#include <QLocale>

#include <langinfo.h>
#include <locale.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace skarvel {
namespace {

std::optional<QChar> g_separatorOverride;

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
  return loc;
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A checked C-locale number text whose digits make an integer M below
// 10^19 and whose scale is a power of ten up to 10^27: both are exact long
// doubles, so M * 10^k or M / 10^k is one correctly rounded operation, the
// very value strtold gives. Empty for every other text.
std::optional<long double> QuickDecimal(const char* text, size_t length) {
  static constexpr long double kPowers[] = {
      1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
      1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
  size_t i = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '+' || text[0] == '-') ++i;
  uint64_t m = 0;
  int digits = 0;  // significant digits in m
  int scale = 0;   // value = m * 10^scale
  bool point = false;
  for (; i < length && text[i] != 'e'; ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    const int d = text[i] - '0';
    if (point) --scale;
    if (digits == 0 && d == 0) continue;
    if (++digits > 19) return std::nullopt;
    m = m * 10 + static_cast<uint64_t>(d);
  }
  if (i < length) {  // the exponent
    ++i;
    bool negativeExponent = false;
    if (text[i] == '+' || text[i] == '-') negativeExponent = text[i++] == '-';
    if (length - i > 4) return std::nullopt;
    int exponent = 0;
    for (; i < length; ++i) exponent = exponent * 10 + (text[i] - '0');
    scale += negativeExponent ? -exponent : exponent;
  }
  if (m == 0) return negative ? -0.0L : 0.0L;
  if (scale < -27 || scale > 27) return std::nullopt;
  const long double magnitude = static_cast<long double>(m);
  const long double value = scale < 0 ? magnitude / kPowers[-scale] : magnitude * kPowers[scale];
  return negative ? -value : value;
}

}  // namespace

QChar LocaleDecimalSeparator() {
  // Read the environment's LC_NUMERIC afresh rather than the process locale,
  // which a library may have changed.
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", nullptr);
  if (loc == nullptr) return u'.';
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  QChar result = u'.';
  if (radix != nullptr && radix[0] != '\0') {
    const QString text = QString::fromUtf8(radix);
    if (text.size() == 1) result = text.at(0);
  }
  freelocale(loc);
  return result;
}

QChar DecimalSeparator() {
  if (g_separatorOverride) return *g_separatorOverride;
  static const QChar fromLocale = LocaleDecimalSeparator();
  return fromLocale;
}

void SetDecimalSeparatorOverride(std::optional<QChar> separator) { g_separatorOverride = separator; }

namespace {

// The grammar check and conversion of ParseExtended over any text whose
// characters give their code with Code(text, i): a QString's UTF-16 or the
// bytes of a file's field, where a byte outside ASCII (part of a character
// of whatever encoding) matches nothing.
char16_t Code(const QString& text, qsizetype i) { return text[i].unicode(); }
char16_t Code(QByteArrayView text, qsizetype i) {
  const auto byte = static_cast<unsigned char>(text[i]);
  return byte < 0x80 ? byte : u'\uFFFF';
}

template <typename Text>
std::optional<long double> ParseExtendedText(const Text& text, char16_t separator) {
  // Check the grammar and build the same number in the C locale's spelling.
  // Each character gives at most one; short texts stay off the heap.
  const qsizetype n = text.size();
  char local[128];
  std::string heap;
  char* ascii = local;
  if (n >= static_cast<qsizetype>(sizeof local)) {
    heap.resize(static_cast<size_t>(n) + 1);
    ascii = heap.data();
  }
  size_t length = 0;
  auto put = [&](char c) { ascii[length++] = c; };
  qsizetype i = 0;
  const auto at = [&](qsizetype k) { return Code(text, k); };
  const auto digit = [&](qsizetype k) { return at(k) >= u'0' && at(k) <= u'9'; };
  while (i < n && at(i) == u' ') ++i;
  if (i < n && (at(i) == u'+' || at(i) == u'-')) put(static_cast<char>(at(i++)));
  int mantissaDigits = 0;
  while (i < n && digit(i)) {
    put(static_cast<char>(at(i++)));
    ++mantissaDigits;
  }
  if (i < n && at(i) == separator) {
    put('.');
    ++i;
    while (i < n && digit(i)) {
      put(static_cast<char>(at(i++)));
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < n && (at(i) == u'e' || at(i) == u'E')) {
    put('e');
    ++i;
    if (i < n && (at(i) == u'+' || at(i) == u'-')) put(static_cast<char>(at(i++)));
    int exponentDigits = 0;
    while (i < n && digit(i)) {
      put(static_cast<char>(at(i++)));
      ++exponentDigits;
    }
    if (exponentDigits == 0) return std::nullopt;
  }
  while (i < n && at(i) == u' ') ++i;
  if (i != n) return std::nullopt;

  ascii[length] = '\0';
  if (const auto quick = QuickDecimal(ascii, length)) return *quick;
  char* end = nullptr;
  errno = 0;
  const long double value = strtold_l(ascii, &end, CLocale());
  if (end != ascii + length) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  // ERANGE with a huge result is an overflow; with a tiny one the value has
  // underflowed towards zero, which the unit accepts silently.
  if (errno == ERANGE && std::fabs(value) > 1) return std::nullopt;
  return value;
}

}  // namespace

std::optional<long double> ParseExtended(const QString& text, QChar separator) {
  return ParseExtendedText(text, separator.unicode());
}

long double StrToExtended(const QString& text) {
  const auto value = ParseExtended(text, DecimalSeparator());
  // A value must lie within the range of a double, as for StrToFloat.
  if (!value || !std::isfinite(static_cast<double>(*value))) throw Error(messages::NotAFloat(text));
  return *value;
}

double StrToFloat(const QString& text, QChar separator) {
  const auto value = ParseExtended(text, separator);
  if (!value) throw Error(messages::NotAFloat(text));
  const double d = static_cast<double>(*value);
  if (!std::isfinite(d)) throw Error(messages::NotAFloat(text));
  return d;
}

double StrToFloat(const QString& text) { return StrToFloat(text, DecimalSeparator()); }

double FileStrToFloat(const QString& text) {
  for (const QChar separator : {DecimalSeparator(), QChar(u'.'), QChar(u',')}) {
    if (const auto value = ParseExtended(text, separator)) {
      const double d = static_cast<double>(*value);
      if (!std::isfinite(d)) break;
      return d;
    }
  }
  throw Error(messages::NotAFloat(text));
}

std::optional<double> FileFieldToFloat(QByteArrayView field) {
  for (const char16_t separator : {DecimalSeparator().unicode(), u'.', u','}) {
    if (const auto value = ParseExtendedText(field, separator)) {
      const double d = static_cast<double>(*value);
      if (!std::isfinite(d)) break;
      return d;
    }
  }
  return std::nullopt;
}

std::optional<int> TryStrToInt(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == n) return std::nullopt;
  unsigned long long magnitude = 0;
  if (text[i] == u'$') {
    ++i;
    if (i == n) return std::nullopt;
    for (; i < n; ++i) {
      const char16_t c = text[i].unicode();
      unsigned digit;
      if (c >= u'0' && c <= u'9')
        digit = c - u'0';
      else if (c >= u'a' && c <= u'f')
        digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F')
        digit = c - u'A' + 10;
      else
        return std::nullopt;
      magnitude = magnitude * 16 + digit;
      if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    }
    // Hexadecimal texts give the 32-bit pattern.
    auto bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int>(bits);
  }
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
    magnitude = magnitude * 10 + static_cast<unsigned>(text[i].unicode() - u'0');
    if (magnitude > 0x80000000ull) return std::nullopt;
  }
  if (!negative && magnitude > 0x7FFFFFFFull) return std::nullopt;
  return negative ? static_cast<int>(-static_cast<long long>(magnitude)) : static_cast<int>(magnitude);
}

int StrToInt(const QString& text) {
  const auto value = TryStrToInt(text);
  if (!value) throw Error(messages::NotAnInteger(text));
  return *value;
}

std::string FormatFixedC(long double value, int decimals) {
  char buffer[6000];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc{}) throw Error(messages::kFloatOverflow);
  return std::string(buffer, result.ptr);
}

namespace {

using Wide = unsigned __int128;

constexpr Wide PowerOfTen(int n) {
  Wide p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

constexpr int kMaxFastDigits = 19;

// The significant digits of a positive finite value, correctly rounded (to
// the nearest, ties to even) from its exact binary value, in 128-bit
// integers: value = m * 2^-s, and the digits are m * 10^p / 2^s rounded.
// False when the value lies outside what that arithmetic holds (whole
// numbers, very small or large values); the caller then takes the general
// path.
bool FastScientificDigits(long double value, int digits, uint64_t& result, int& exponent) {
  if (!(value > 0) || !std::isfinite(value) || digits < 1 || digits > kMaxFastDigits) return false;
  int binaryExponent = 0;
  const long double fraction = std::frexp(value, &binaryExponent);  // value = fraction * 2^binaryExponent
  uint64_t m = static_cast<uint64_t>(std::ldexp(fraction, 64));
  int e = binaryExponent - 64;  // value = m * 2^e exactly
  while ((m & 1) == 0) {
    m >>= 1;
    ++e;
  }
  if (e >= 0) return false;
  const int s = -e;
  if (s > 126) return false;
  const int mBits = 64 - __builtin_clzll(m);
  const Wide low = PowerOfTen(digits - 1), high = PowerOfTen(digits);
  // A first guess of the decimal exponent, corrected below.
  int x = static_cast<int>(std::floor(std::log10(value)));
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int p = digits - 1 - x;
    // 10^p has at most 3.33 p bits; the product must stay below 2^127.
    if (p < 0 || p > 38 || mBits + (p * 3322 + 999) / 1000 > 127) return false;
    const Wide n = static_cast<Wide>(m) * PowerOfTen(p);
    Wide q = n >> s;
    if (q >= high) {
      ++x;
      continue;
    }
    const Wide rest = n - (q << s);
    const Wide half = static_cast<Wide>(1) << (s - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    if (q < low) {
      --x;
      continue;
    }
    if (q == high) {  // rounded up into the next decade
      q = low;
      ++x;
    }
    result = static_cast<uint64_t>(q);
    exponent = x;
    return true;
  }
  return false;
}

}  // namespace

namespace {

// The `digits` decimal digits of q, leading zeros included.
void WriteDigits(uint64_t q, int digits, char* out) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + q % 10);
    q /= 10;
  }
}

}  // namespace

int ScientificDigits(long double value, int digits, char* out) {
  uint64_t q = 0;
  int x = 0;
  if (FastScientificDigits(value, digits, q, x)) {
    WriteDigits(q, digits, out);
    return x;
  }
  // d.ddde[+-]X..., its digits and exponent
  const std::string text = FormatScientificC(value, digits);
  int count = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] != 'e'; ++i)
    if (text[i] != '.' && count < digits) out[count++] = text[i];
  int exponent = 0;
  const bool below = i + 1 < text.size() && text[i + 1] == '-';
  for (i += 2; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
  return below ? -exponent : exponent;
}

std::string FormatScientificC(long double value, int digits) {
  uint64_t q = 0;
  int x = 0;
  if (FastScientificDigits(value, digits, q, x)) {
    // d.ddde[+-]XX, as the general path spells it
    char text[kMaxFastDigits + 1];
    WriteDigits(q, digits, text);
    std::string out;
    out.reserve(static_cast<size_t>(digits) + 8);
    out += text[0];
    if (digits > 1) {
      out += '.';
      out.append(text + 1, static_cast<size_t>(digits - 1));
    }
    out += x < 0 ? "e-" : "e+";
    const int magnitude = x < 0 ? -x : x;
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
    return out;
  }
  char buffer[128];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits - 1);
  if (result.ec != std::errc{}) throw Error(messages::kFloatOverflow);
  return std::string(buffer, result.ptr);
}

QByteArray FormatShortest(double value) {
  QByteArray text;
  AppendShortest(text, value);
  return text;
}

void AppendShortest(QByteArray& out, double value) {
  char text[kShortestRoom];
  out.append(text, WriteShortest(text, value) - text);
}

namespace {

// 10^0 to 10^19, every power of ten a 64-bit word holds.
constexpr auto kPowersOfTen = [] {
  std::array<uint64_t, 20> powers{};
  for (size_t i = 0; i < powers.size(); ++i)
    powers[i] = static_cast<uint64_t>(PowerOfTen(static_cast<int>(i)));
  return powers;
}();

// The shortest digits that read back to a magnitude in [1e-3, 1e15) with a
// fractional part: digits * 10^(exponent + 1 - count), `count` of them,
// none of them trailing zeros. Every decimal of at most 15 significant
// digits survives the trip to a double and back, so when any of 15 digits
// or fewer reads back it is the value rounded to 15 digits (trailing zeros
// dropped); else the value rounded to 16 digits when that reads back, else
// to 17, which always does. A decimal reads back when it lies within half a
// unit in the last place of the double (on the bound, when the double's
// last bit is 0), a test made exactly in 128-bit integers. False for a power
// of two, whose lower neighbour is nearer than its upper one.
bool ShortestFixedDigits(double magnitude, uint64_t& digits, int& count, int& exponent) {
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int s = 1075 - biased;  // magnitude = m * 2^-s
  if (m == uint64_t{1} << 52 || s < 1 || s > 63) return false;
  // The decimal exponent: floor(log10(2^e)) is at most one below it.
  int x = ((biased - 1023) * 78913) >> 18;
  Wide n = 0;
  for (;;) {
    const int p = 14 - x;
    if (p < 0 || p > 17) return false;
    n = static_cast<Wide>(m) * kPowersOfTen[p];
    const auto q = static_cast<uint64_t>(n >> s);
    if (q >= kPowersOfTen[15])
      ++x;
    else if (q < kPowersOfTen[14])
      --x;
    else
      break;
  }
  // n = m * 10^p, p the decimals of 15 digits
  for (int length = 15; length <= 17; ++length, n *= 10) {
    const int p = length - 1 - x;
    auto q = static_cast<uint64_t>(n >> s);
    const auto rest = static_cast<uint64_t>(n - (static_cast<Wide>(q) << s));
    const uint64_t half = uint64_t{1} << (s - 1);
    // Rounded to the nearest, ties to even, without a branch: which way it
    // goes is as good as random.
    const uint64_t up = static_cast<uint64_t>(rest > half) | (static_cast<uint64_t>(rest == half) & q & 1);
    q += up;
    const uint64_t distance = up != 0 ? 2 * half - rest : rest;
    // |q * 10^-p - m * 2^-s| <= 2^-s / 2, times 10^p * 2^s
    const uint64_t twice = 2 * distance;
    if (twice < kPowersOfTen[p] || (twice == kPowersOfTen[p] && (m & 1) == 0)) {
      int e = x, c = length;
      if (q == kPowersOfTen[length]) {  // rounded up into the next decade
        q = kPowersOfTen[length - 1];
        ++e;
      }
      while (q % 10 == 0) {
        q /= 10;
        --c;
      }
      digits = q;
      count = c;
      exponent = e;
      return true;
    }
  }
  return false;
}

// The eight decimal digits of v (below 10^8), leading zeros included, as
// the bytes of a word in the order they are written, worked out in the
// word's lanes at once: two halves of four digits, then four pairs, then
// eight digits.
[[gnu::always_inline]] inline uint64_t EightDigits(uint32_t v) {
  static_assert(std::endian::native == std::endian::little);
  const uint64_t halves = (v / 10000) | (static_cast<uint64_t>(v % 10000) << 32);
  const uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007Full;  // x / 100 below 43,699
  const uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
  const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;  // x / 10 below 179
  return (tens | ((pairs - tens * 10) << 8)) + 0x3030303030303030ull;
}

// The `count` (1 to 17) decimal digits of q from `at` on, leading zeros
// included, written eight at a time: up to 8 bytes past the last digit are
// written over as well.
void WriteDigitsByEights(char* at, uint64_t q, int count) {
  const int blocks = (count - 1) / 8, lead = count - 8 * blocks;
  uint64_t rest[2] = {};
  for (int b = blocks - 1; b >= 0; --b) {
    rest[b] = q % 100000000;
    q /= 100000000;
  }
  const uint64_t first = EightDigits(static_cast<uint32_t>(q)) >> (8 * (8 - lead));
  std::memcpy(at, &first, 8);
  at += lead;
  for (int b = 0; b < blocks; ++b, at += 8) {
    const uint64_t word = EightDigits(static_cast<uint32_t>(rest[b]));
    std::memcpy(at, &word, 8);
  }
}

// The shortest digits of a magnitude the C++ library's own conversion gives,
// for what ShortestFixedDigits leaves.
void LibraryShortestDigits(double magnitude, uint64_t& digits, int& count, int& exponent) {
  char sci[32];
  const auto r = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific);
  // d[.ddd]e[+-]XX
  const char* e = std::find(sci, r.ptr, 'e');
  exponent = 0;
  for (const char* p = e + 2; p < r.ptr; ++p) exponent = exponent * 10 + (*p - '0');
  if (e[1] == '-') exponent = -exponent;
  digits = 0;
  count = 0;
  for (const char* p = sci; p < e; ++p)
    if (*p != '.') {
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
      ++count;
    }
}

}  // namespace

char* WriteShortest(char* out, double value) {
  const double magnitude = std::fabs(value);
  // Numbers with decimals of moderate size are written in fixed notation:
  // the shortest digits with the point placed. Whole numbers and the rest
  // take Qt's own choice between fixed and scientific notation.
  const bool moderate = magnitude >= 1e-3 && magnitude < 1e15;
  const auto whole = moderate ? static_cast<uint64_t>(magnitude) : 0;
  if (!moderate || static_cast<double>(whole) == magnitude) {
    const QByteArray text = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    const auto size = std::min<qsizetype>(text.size(), kShortestRoom);
    std::memcpy(out, text.constData(), static_cast<size_t>(size));
    return out + size;
  }
  int count = 0, exponent = 0;
  uint64_t q = 0;
  if (!ShortestFixedDigits(magnitude, q, count, exponent))
    LibraryShortestDigits(magnitude, q, count, exponent);
  char* p = out;
  if (value < 0) *p++ = '-';
  if (exponent >= 0) {
    // Not whole, so there are more digits than the integral part holds.
    // That part is the value's own: a whole number between the value and
    // digits that read back to it would read back to it too, and be shorter.
    const int decimals = count - exponent - 1;
    WriteDigitsByEights(p, whole, exponent + 1);
    p[exponent + 1] = '.';
    WriteDigitsByEights(p + exponent + 2, q - whole * kPowersOfTen[decimals], decimals);
    return p + count + 1;
  }
  // at most two zeros after the point, for a magnitude from 1e-3 on
  std::memcpy(p, "0.00", 4);
  p += 2 + (-exponent - 1);
  WriteDigitsByEights(p, q, count);
  return p + count;
}

}  // namespace skarvel
