// The edit texts of the colour composition window: the formats the window
// writes and the readings it takes back, with "," as the user's separator
// unless a case says otherwise.

#include "colour/channel_texts.h"

#include "colour/grey.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>

namespace skarvel {
namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(ChannelText, PositionThenSpaceAndPercent) {
  EXPECT_EQ(FormatChannelText(0), T("0 %"));
  EXPECT_EQ(FormatChannelText(-100), T("-100 %"));
  EXPECT_EQ(FormatChannelText(200), T("200 %"));
}

TEST(ChannelText, ReadsTheTextBeforeThePercentSign) {
  EXPECT_EQ(ParseChannelText(T("12 %"), u','), 12);
  EXPECT_EQ(ParseChannelText(T("-100 %"), u','), -100);
  EXPECT_EQ(ParseChannelText(T("250"), u','), 250);  // no "%": the whole text
  EXPECT_EQ(ParseChannelText(T("  7  % and more % text"), u','), 7);
  EXPECT_EQ(ParseChannelText(T("1e2%"), u','), 100);
}

TEST(ChannelText, TruncatesTowardZero) {
  EXPECT_EQ(ParseChannelText(T("12,7 %"), u','), 12);
  EXPECT_EQ(ParseChannelText(T("-12,7 %"), u','), -12);
  EXPECT_EQ(ParseChannelText(T("-0,9 %"), u','), 0);
  EXPECT_EQ(ParseChannelText(T("199,999 %"), u','), 199);
  // The conversion gives a double: 12.99999999999999999 is 13 as a double.
  EXPECT_EQ(ParseChannelText(T("12,99999999999999999 %"), u','), 13);
}

TEST(ChannelText, TextsThatDoNotConvert) {
  for (const char* text : {"", " %", "%12", "abc", "12 abc %", "12.5 %", "1,2,3", "\t5 %", "nan", "inf %"})
    EXPECT_EQ(ParseChannelText(T(text), u','), std::nullopt) << text;
  // The other separator is the only one then.
  EXPECT_EQ(ParseChannelText(T("12.5 %"), u'.'), 12);
  EXPECT_EQ(ParseChannelText(T("12,5 %"), u'.'), std::nullopt);
  // Beyond the range of a double the text does not convert.
  EXPECT_EQ(ParseChannelText(T("1e400 %"), u','), std::nullopt);
}

TEST(ChannelText, ValuesBeyondIntSaturate) {
  EXPECT_EQ(ParseChannelText(T("5000000000 %"), u','), INT_MAX);
  EXPECT_EQ(ParseChannelText(T("-5000000000 %"), u','), INT_MIN);
  EXPECT_EQ(ParseChannelText(T("1e300"), u','), INT_MAX);
  EXPECT_EQ(ParseChannelText(T("2147483647,9"), u','), INT_MAX);
  EXPECT_EQ(ParseChannelText(T("2147483648"), u','), INT_MAX);
  EXPECT_EQ(ParseChannelText(T("-2147483648,5"), u','), INT_MIN);
  EXPECT_EQ(ParseChannelText(T("-2147483647,5"), u','), -2147483647);
}

TEST(ChannelText, EveryPositionReadsBack) {
  for (int p = kChannelMin; p <= kChannelMax; ++p) EXPECT_EQ(ParseChannelText(FormatChannelText(p), u','), p);
  EXPECT_EQ(ParseChannelText(FormatChannelText(INT_MIN), u'.'), INT_MIN);
  EXPECT_EQ(ParseChannelText(FormatChannelText(INT_MAX), u'.'), INT_MAX);
}

TEST(ContrastText, TwoSignificantDigitsTwoDecimals) {
  EXPECT_EQ(FormatContrastText(0, u','), T("0,00"));
  EXPECT_EQ(FormatContrastText(1, u','), T("0,02"));
  EXPECT_EQ(FormatContrastText(7, u','), T("0,14"));
  EXPECT_EQ(FormatContrastText(49, u','), T("0,98"));
  EXPECT_EQ(FormatContrastText(50, u','), T("1,00"));
  EXPECT_EQ(FormatContrastText(61, u','), T("1,20"));   // 1.22
  EXPECT_EQ(FormatContrastText(63, u','), T("1,30"));   // 1.26
  EXPECT_EQ(FormatContrastText(104, u','), T("2,10"));  // 2.08
  EXPECT_EQ(FormatContrastText(497, u','), T("9,90"));  // 9.94
  EXPECT_EQ(FormatContrastText(498, u','), T("10,00"));
  EXPECT_EQ(FormatContrastText(499, u','), T("10,00"));
  EXPECT_EQ(FormatContrastText(500, u','), T("10,00"));
  EXPECT_EQ(FormatContrastText(61, u'.'), T("1.20"));
}

TEST(ContrastText, SeparatorInForce) {
  testing::SeparatorScope scope(u',');
  EXPECT_EQ(FormatContrastText(7), T("0,14"));
  EXPECT_EQ(ParseContrastText(T("0,14")), 7);
  EXPECT_EQ(ParseChannelText(T("12,7 %")), 12);
}

TEST(ContrastText, ExtendedTimesFiftyTruncated) {
  EXPECT_EQ(ParseContrastText(T("2,10"), u','), 104);  // 104.99999999999999999...
  EXPECT_EQ(ParseContrastText(T("1,20"), u','), 60);
  EXPECT_EQ(ParseContrastText(T("1,30"), u','), 65);
  EXPECT_EQ(ParseContrastText(T("0,14"), u','), 7);
  EXPECT_EQ(ParseContrastText(T("9,90"), u','), 494);  // 494.99999999999999997...
  EXPECT_EQ(ParseContrastText(T("10,00"), u','), 500);
  EXPECT_EQ(ParseContrastText(T("1"), u','), 50);
  EXPECT_EQ(ParseContrastText(T(" 0,019 "), u','), 0);
  EXPECT_EQ(ParseContrastText(T("-0,5"), u','), -25);
}

TEST(ContrastText, TextsThatDoNotConvertAndHugeOnes) {
  for (const char* text : {"", " ", "abc", "1,5 %", "1.5", "1,2,3", "e5", "1e99999"})
    EXPECT_EQ(ParseContrastText(T(text), u','), std::nullopt) << text;
  // In the extended range, beyond int once multiplied: saturated.
  EXPECT_EQ(ParseContrastText(T("1e400"), u','), INT_MAX);
  EXPECT_EQ(ParseContrastText(T("-1e400"), u','), INT_MIN);
  EXPECT_EQ(ParseContrastText(T("1e4931"), u','), INT_MAX);  // the product overflows
  EXPECT_EQ(ParseContrastText(T("42949672,96"), u','), INT_MAX);
}

// The slider and the edit rewrite each other until neither changes: from any
// position the displayed text leads to a position that displays the same text,
// so the exchange ends after one round. 498 and 499 go to 500, 61 to 60, 63
// to 65; positions below 50 stay where they are.
TEST(ContrastText, TheExchangeSettlesAfterOneRound) {
  for (int p = kContrastMin; p <= kContrastMax; ++p) {
    const QString shown = FormatContrastText(p, u',');
    const auto settled = ParseContrastText(shown, u',');
    ASSERT_TRUE(settled.has_value()) << p;
    EXPECT_GE(*settled, kContrastMin);
    EXPECT_LE(*settled, kContrastMax);
    EXPECT_EQ(FormatContrastText(*settled, u','), shown) << p;
    if (p < 50) {
      EXPECT_EQ(*settled, p);
    }
  }
  EXPECT_EQ(ParseContrastText(FormatContrastText(61, u','), u','), 60);
  EXPECT_EQ(ParseContrastText(FormatContrastText(63, u','), u','), 65);
  EXPECT_EQ(ParseContrastText(FormatContrastText(498, u','), u','), 500);
  EXPECT_EQ(ParseContrastText(FormatContrastText(499, u','), u','), 500);
}

}  // namespace
}  // namespace skarvel
