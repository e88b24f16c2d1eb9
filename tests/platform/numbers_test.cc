#include "platform/numbers.h"
#include "platform/error.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <QLocale>

#include <locale.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace skarvel {
namespace {

double Parse(const char* text, QChar separator) {
  const auto value = ParseExtended(QString::fromUtf8(text), separator);
  EXPECT_TRUE(value.has_value()) << text;
  return value ? static_cast<double>(*value) : NAN;
}

bool Rejects(const char* text, QChar separator) {
  return !ParseExtended(QString::fromUtf8(text), separator).has_value();
}

TEST(NumberText, AcceptsTheGrammarWithTheGivenSeparatorOnly) {
  EXPECT_EQ(Parse("12,5", u','), 12.5);
  EXPECT_TRUE(Rejects("12.5", u','));
  EXPECT_EQ(Parse("12.5", u'.'), 12.5);
  EXPECT_TRUE(Rejects("12,5", u'.'));
  EXPECT_EQ(Parse("  -3,5E2   ", u','), -350.0);
  EXPECT_EQ(Parse("+7", u'.'), 7.0);
  EXPECT_EQ(Parse(".5", u'.'), 0.5);
  EXPECT_EQ(Parse("5.", u'.'), 5.0);
  EXPECT_EQ(Parse("1e-2", u'.'), 0.01);
  EXPECT_EQ(Parse("2E+3", u'.'), 2000.0);
}

TEST(NumberText, RejectsEverythingElse) {
  for (const char* text :
       {"",    " ",     ".",    "-",     "+.",    "e5",  "1e",    "1e+", "1 2", "\t1", "1\t",
        "1,5", "1.2.3", "0x10", "1_000", "1'000", "--1", "1e5.5", "inf", "nan", "12 ;"}) {
    EXPECT_TRUE(Rejects(text, u'.')) << '"' << text << '"';
  }
}

TEST(NumberText, FileNumbersTakeAPointOrACommaWhateverTheSeparatorInForce) {
  // (separator in force, text, value or NAN for a failure)
  const std::tuple<QChar, const char*, double> rows[] = {
      {u',', "12,5", 12.5}, {u',', " 12.5 ", 12.5}, {u'.', "-3,5E2", -350.0}, {u'.', "7", 7.0},
      {u':', "1:5", 1.5},   {u':', "1,5", 1.5},     {u'.', "1:5", NAN},       {u',', "1.5,0", NAN},
      {u'.', "1,2.3", NAN}, {u'.', "1e400", NAN},   {u',', "", NAN},          {u'.', "1,5;", NAN},
  };
  for (const auto& [separator, text, expected] : rows) {
    testing::SeparatorScope scope(separator);
    if (std::isnan(expected)) {
      EXPECT_THROW(FileStrToFloat(QString::fromUtf8(text)), Error) << text;
    } else {
      EXPECT_EQ(FileStrToFloat(QString::fromUtf8(text)), expected) << text;
      // Edits keep to the separator in force alone.
      if (QString::fromUtf8(text).contains(u',') && separator != u',') {
        EXPECT_THROW(StrToFloat(QString::fromUtf8(text)), Error) << text;
      }
    }
  }
}

TEST(NumberText, ValuesOutsideTheDoubleRangeFail) {
  EXPECT_TRUE(Rejects("1e5000", u'.'));
  // Within the extended range but beyond a double: the conversion fails.
  try {
    StrToFloat(QStringLiteral("1e400"), u'.');
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("'1e400' is not a valid floating point value"));
  }
  EXPECT_EQ(StrToFloat(QStringLiteral("-1.7976931348623157e308"), u'.'), -1.7976931348623157e308);
  // A value too small for a double underflows to (nearly) zero, as the unit does.
  EXPECT_EQ(StrToFloat(QStringLiteral("1e-400"), u'.'), 0.0);
}

TEST(NumberText, ConvertsInExtendedPrecisionThenRoundsToDouble) {
  // 0.1 through the 64-bit mantissa and then to a double is still the double
  // nearest 0.1; 1/3 likewise.
  EXPECT_EQ(StrToFloat(QStringLiteral("0.1"), u'.'), 0.1);
  EXPECT_EQ(StrToFloat(QStringLiteral("0.3333333333333333"), u'.'), 0.3333333333333333);
  EXPECT_EQ(StrToExtended(QStringLiteral("0.1")) == 0.1L, true);
  // The extended value keeps what the double loses, within the double's range only.
  SetDecimalSeparatorOverride(u'.');
  EXPECT_EQ(StrToExtended(QStringLiteral("1.7")) == 1.7L, true);
  EXPECT_EQ(StrToExtended(QStringLiteral("1.7")) == static_cast<long double>(1.7), false);
  for (const char* text : {"1e400", "-1e309", "1.8e308"}) {
    try {
      StrToExtended(QString::fromUtf8(text));
      ADD_FAILURE() << text;
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
  }
  SetDecimalSeparatorOverride(std::nullopt);
}

TEST(NumberText, IgnoresTheProcessLocale) {
  // A locale whose radix is "," must not change what the conversion accepts.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a comma separator is installed";
  EXPECT_EQ(Parse("2.5", u'.'), 2.5);
  EXPECT_TRUE(Rejects("2,5", u'.'));
  EXPECT_EQ(FormatFixedC(2.5L, 2), "2.50");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberText, TheLocaleSeparatorComesFromTheEnvironment) {
  const QByteArray saved = qgetenv("LC_ALL");
  qputenv("LC_ALL", "ru_RU.UTF-8");
  const QChar russian = LocaleDecimalSeparator();
  qputenv("LC_ALL", "C");
  const QChar plain = LocaleDecimalSeparator();
  if (saved.isNull())
    qunsetenv("LC_ALL");
  else
    qputenv("LC_ALL", saved);
  EXPECT_EQ(plain, u'.');
  if (russian == u'.') GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed";
  EXPECT_EQ(russian, u',');
}

TEST(IntegerText, FollowsTheEditGrammar) {
  EXPECT_EQ(StrToInt(QStringLiteral("  12")), 12);
  EXPECT_EQ(StrToInt(QStringLiteral("+7")), 7);
  EXPECT_EQ(StrToInt(QStringLiteral("-10")), -10);
  EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), 2147483647);
  EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
  EXPECT_EQ(StrToInt(QStringLiteral("$FF")), 255);
  EXPECT_EQ(StrToInt(QStringLiteral("$7fffffff")), 2147483647);
  EXPECT_EQ(StrToInt(QStringLiteral("$FFFFFFFF")), -1);
  EXPECT_EQ(StrToInt(QStringLiteral("-$10")), -16);
  for (const char* text : {"", " ", "-", "12 ", "1 2", "2147483648", "-2147483649", "$", "$100000000", "$G",
                           "0x10", "1e3", "1.0", "\t5", "99999999999999999999"}) {
    EXPECT_FALSE(TryStrToInt(QString::fromUtf8(text)).has_value()) << '"' << text << '"';
  }
  try {
    StrToInt(QStringLiteral("12 "));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("'12 ' is not a valid integer value"));
  }
}

TEST(NumberFormat, FixedAndScientificAreCorrectlyRounded) {
  EXPECT_EQ(FormatFixedC(0.125L, 2), "0.12");  // ties to even on the exact value
  EXPECT_EQ(FormatFixedC(-2.5L, 0), "-2");
  EXPECT_EQ(FormatScientificC(117647.05882352941L, 18).substr(0, 10), "1.17647058");
  EXPECT_EQ(FormatScientificC(static_cast<long double>(0.1), 18), "1.00000000000000006e-01");
}

TEST(NumberFormat, ScientificRoundsTiesAndDecadesExactly) {
  struct Row {
    long double value;
    int digits;
    const char* expected;
    const char* why;
  };
  const Row rows[] = {
      {1000000000000000.625L, 18, "1.00000000000000062e+15", "exact tie, down to the even digit"},
      {1000000000000000.875L, 18, "1.00000000000000088e+15", "exact tie, up to the even digit"},
      {9.5L, 1, "1e+01", "tie into the next decade"},
      {8.5L, 1, "8e+00", "tie kept even"},
      {0.5L, 1, "5e-01", "one digit has no point"},
      {9.96L, 2, "1.0e+01", "rounded up into the next decade"},
      {0.001L, 3, "1.00e-03", "a power of ten held inexactly"},
      {1e-100L, 5, "1.0000e-100", "three exponent digits"},
      {123456789012345678.0L, 18, "1.23456789012345678e+17", "a whole number"},
      {0.1L, 19, "1.000000000000000000e-01", "long double 0.1 to 19 digits"},
  };
  for (const Row& r : rows) EXPECT_EQ(FormatScientificC(r.value, r.digits), r.expected) << r.why;
}

// The digits of random values against the C++ library's own conversion.
TEST(NumberFormat, ScientificMatchesLibraryOnRandomValues) {
  std::mt19937_64 random(20261210);
  auto reference = [](long double v, int digits) {
    char buffer[256];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, digits - 1);
    return std::string(buffer, r.ptr);
  };
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = random();
    long double v;
    switch (i % 4) {
      case 0: {  // any double of moderate size, as the corner lines see them
        const double d = std::ldexp(static_cast<double>(bits >> 11) / 9007199254740992.0 + 0.5,
                                    static_cast<int>(random() % 80) - 50);
        v = d;
        break;
      }
      case 1:  // a full 64-bit mantissa
        v = std::ldexp(static_cast<long double>(bits | (1ull << 63)), static_cast<int>(random() % 160) - 200);
        break;
      case 2:  // few significant bits: many exact ties
        v = std::ldexp(static_cast<long double>(bits >> 40), -static_cast<int>(random() % 12));
        break;
      default:  // any double
        v = std::fabs(std::bit_cast<double>(bits));
        if (!std::isfinite(v)) v = 1;
        break;
    }
    const int digits = 1 + static_cast<int>(random() % 19);
    ASSERT_EQ(FormatScientificC(v, digits), reference(v, digits)) << static_cast<double>(v) << " " << digits;
    if (digits < 2) continue;
    // The digits and exponent alone, spelled back into the same text.
    char out[19];
    const int x = ScientificDigits(v, digits, out);
    const std::string spelled =
        std::string(1, out[0]) + '.' + std::string(out + 1, static_cast<size_t>(digits - 1)) +
        (x < 0 ? "e-" : "e+") + (std::abs(x) < 10 ? "0" : "") + std::to_string(std::abs(x));
    ASSERT_EQ(spelled, reference(v, digits)) << static_cast<double>(v) << " " << digits;
  }
}

// Random number texts read as the C library reads them, to the last bit of
// the long double.
TEST(NumberParse, MatchesTheCLibraryToTheLastBit) {
  std::mt19937_64 random(2718);
  locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  for (int i = 0; i < 200000; ++i) {
    std::string text = random() % 2 ? "-" : "";
    const int whole = static_cast<int>(random() % 12), decimals = static_cast<int>(random() % 22);
    for (int k = 0; k < whole; ++k) text += static_cast<char>('0' + random() % 10);
    if (whole == 0 || decimals > 0) {
      text += '.';
      for (int k = 0; k < std::max(decimals, whole == 0 ? 1 : 0); ++k)
        text += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 70) - 35);
    const long double expected = strtold_l(text.c_str(), nullptr, c);
    const auto value = ParseExtended(QString::fromStdString(text), u'.');
    ASSERT_TRUE(value.has_value()) << text;
    ASSERT_EQ(std::memcmp(&*value, &expected, 10), 0) << text;
  }
  freelocale(c);
}

// Every kind of double against Qt's own shortest conversion, which the
// exports were written with: over a million values, most of them of the
// moderate sizes the exports write in fixed notation, where the digits are
// worked out in integers.
TEST(NumberFormat, ShortestMatchesQtOnRandomValues) {
  std::mt19937_64 random(31415);
  std::vector<double> values{0.1,
                             -0.1,
                             0.001,
                             0.0009999999999999998,
                             1e15 - 0.5,
                             999999999999999.9,
                             123456.789,
                             -2.5,
                             0.5,
                             0.3,
                             2.0 / 3,
                             0.1 + 0.2,
                             9007199254740991.0 / 8,
                             1e-300,
                             5e-324,
                             1e300,
                             0.0,
                             -0.0,
                             1e6,
                             100000.0,
                             std::numeric_limits<double>::infinity(),
                             std::nan("")};
  const auto sign = [&](double v) { return random() & 1 ? -v : v; };
  for (int i = 0; i < 1200000; ++i) {
    const uint64_t bits = random();
    switch (i % 5) {
      case 0:  // any double at all
        values.push_back(std::bit_cast<double>(bits));
        break;
      case 1:  // moderate sizes, as the figures are
        values.push_back(sign(std::ldexp(static_cast<double>(bits >> 11) / 9007199254740992.0 + 0.5,
                                         static_cast<int>(random() % 70) - 20)));
        break;
      case 2: {  // a few steps from a power of ten
        double v = std::pow(10.0, static_cast<int>(random() % 22) - 5);
        for (int step = static_cast<int>(random() % 7) - 3; step != 0; step += step < 0 ? 1 : -1)
          v = std::nextafter(v, step < 0 ? 0.0 : 1e300);
        values.push_back(sign(v));
        break;
      }
      case 3:  // short decimals, and their neighbours
        values.push_back(
            sign(static_cast<double>(bits % 1000000000) / std::pow(10.0, static_cast<int>(random() % 13))));
        if (random() % 2) values.back() = std::nextafter(values.back(), 1e300);
        break;
      default:  // powers of two and their neighbours
        values.push_back(sign(
            std::nextafter(std::ldexp(1.0, static_cast<int>(random() % 80) - 20), random() % 3 == 0 ? 0.0
                                                                                  : random() % 2    ? 1e300
                                                                                                    : 1.0)));
        if (random() % 3 == 0) values.back() = std::ldexp(1.0, static_cast<int>(random() % 80) - 20);
    }
  }
  char text[kShortestRoom];
  for (double v : values) {
    const QByteArray expected = QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
    ASSERT_EQ(expected, QByteArray(text, WriteShortest(text, v) - text)) << v;
    ASSERT_EQ(expected, FormatShortest(v)) << v;
  }
}

}  // namespace
}  // namespace skarvel
