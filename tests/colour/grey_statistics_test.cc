// Statistics of the grey composition: levels of the result and the pixels
// the contrast clips, by hand for chosen values, and for every path of the
// counting pass against the result picture and the formula pixel by pixel.

#include "colour/grey_statistics.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace skarvel {
namespace {

using testing::SeparatorScope;

Bitmap GreyPixels(std::initializer_list<int> values) {
  Bitmap b = Bitmap::Colour(static_cast<int>(values.size()), 1);
  int x = 0;
  for (int v : values) {
    std::uint8_t* p = b.row(0) + 3 * x++;
    p[0] = p[1] = p[2] = static_cast<std::uint8_t>(v);
  }
  return b;
}

TEST(GreyStatistics, ChosenValuesWithHighContrast) {
  SeparatorScope separator(u',');
  // Contrast 500: K = 10, v = (s - 127) 10 + 127 with s = 3 b t, t the double
  // just below 1/3, so for b > 0 the value lies just below 10 b - 1143:
  // b = 0 gives -1143 (clipped at 0), 255 gives 1407 (clipped at 255), 115,
  // 125 and 128 give levels 6, 106 and 136.
  const ColourStatistics s = ComputeColourStatistics(GreyPixels({0, 255, 115, 125, 128}), {0, 0, 0, 500});
  EXPECT_EQ(1u, s.grey.clippedLow);
  EXPECT_EQ(1u, s.grey.clippedHigh);
  EXPECT_DOUBLE_EQ(20, s.grey.clippedLowPercent);
  EXPECT_EQ(0, s.grey.levels.minimum);
  EXPECT_EQ(255, s.grey.levels.maximum);
  EXPECT_DOUBLE_EQ((0 + 255 + 6 + 106 + 136) / 5.0, s.grey.levels.mean);
  EXPECT_EQ(5, s.source.width);
  EXPECT_DOUBLE_EQ((0 + 255 + 115 + 125 + 128) / 5.0, s.source.channels[1].mean);
  // Deviations from 100.6: -100.6, 154.4, -94.6, 5.4, 35.4; their squares
  // sum to 44191.2, so the variance is 8838.24 and the deviation 94.01.
  EXPECT_NEAR(std::sqrt(8838.24), s.grey.levels.standardDeviation, 1e-12);
  const QStringList lines = ColourStatisticsLines(s);
  ASSERT_EQ(14 + 6, lines.size());
  EXPECT_EQ(QStringList({"Результат: минимум 0", "Результат: максимум 255", "Результат: среднее 100,60",
                         "Результат: стандартное отклонение 94,01", "Отсечено контрастом в 0: 20,00 %",
                         "Отсечено контрастом в 255: 20,00 %"}),
            lines.mid(14));
}

// The counts a plain loop gives: the levels of ComposeGrey's result, the
// clips from the formula's value of every pixel.
GreyCounts PlainCounts(const Bitmap& source, const ChannelSettings& settings) {
  GreyCounts counts;
  const Bitmap result = ComposeGrey(source, settings);
  const GreyFactors f = MakeGreyFactors(settings);
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < source.width; ++x) {
      ++counts.levels[result.row(y)[x]];
      Bgr c = source.colour(x, y);
      if (source.indexed && source.fileBitCount == 8) {
        const std::uint8_t i = source.row(y)[x];
        c = {i, i, i};
      }
      const double v = GreyValue(c.b, c.g, c.r, f);
      counts.clippedLow += v < 0;
      counts.clippedHigh += v > 255;
      const Bgr colour = source.colour(x, y);
      ++counts.source[0][colour.r];
      ++counts.source[1][colour.g];
      ++counts.source[2][colour.b];
    }
  return counts;
}

TEST(GreyStatistics, EveryPathCountsAsThePlainLoop) {
  // 1500 x 400 pixels of every byte pattern, split between threads.
  Bitmap colour = Bitmap::Colour(1500, 400);
  std::uint32_t state = 99;
  for (int y = 0; y < colour.height; ++y)
    for (int x = 0; x < colour.width * 3; ++x) {
      state = state * 1664525u + 1013904223u;
      colour.row(y)[x] = static_cast<std::uint8_t>(state >> 24);
    }
  Palette palette{};
  for (int i = 0; i < 256; ++i)
    palette[static_cast<size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                       static_cast<std::uint8_t>(i * 7)};
  Bitmap indexed8 = Bitmap::Indexed(700, 300, palette);
  Bitmap indexed4 = Bitmap::Indexed(700, 300, palette);
  indexed4.fileBitCount = 4;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 700; ++x) {
      indexed8.row(y)[x] = static_cast<std::uint8_t>(x * 3 + y);
      indexed4.row(y)[x] = static_cast<std::uint8_t>((x + y) % 16);
    }
  const ChannelSettings settings[] = {
      {}, {37, -12, 150, 73}, {0, 0, 100, 50}, {0, 0, 0, 500}, {-100, 200, 0, 3}};
  for (const ChannelSettings& s : settings)
    for (const Bitmap* source : {&colour, &indexed8, &indexed4}) {
      const GreyCounts fast = CountGreyLevels(*source, s);
      const GreyCounts plain = PlainCounts(*source, s);
      const std::string what = std::to_string(s.r) + " " + std::to_string(s.g) + " " + std::to_string(s.b) +
                               " " + std::to_string(s.contrast) + " bits " +
                               std::to_string(source->indexed ? source->fileBitCount : 24);
      EXPECT_EQ(plain.levels, fast.levels) << what;
      EXPECT_EQ(plain.clippedLow, fast.clippedLow) << what;
      EXPECT_EQ(plain.clippedHigh, fast.clippedHigh) << what;
      EXPECT_EQ(plain.source, fast.source) << what;
    }
}

TEST(GreyStatistics, AnEmptySourceHasNoGreyLines) {
  EXPECT_TRUE(GreyStatisticsLines(ComputeColourStatistics(Bitmap{}, {}).grey).isEmpty());
}

}  // namespace
}  // namespace skarvel
