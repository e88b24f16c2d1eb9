// Picture statistics: figures of pictures whose values are chosen, checked
// by hand and, for a picture large enough to be shared between threads,
// against a plain loop over the pixels.

#include "platform/picture_statistics.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace skarvel {
namespace {

using testing::SeparatorScope;

TEST(PictureStatistics, ChosenColourValues) {
  SeparatorScope separator(u',');
  // 4 x 2 pixels: red 0, 10, ..., 70; green 200 everywhere; blue 255 in the
  // top row and 0 in the bottom one.
  Bitmap b = Bitmap::Colour(4, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      std::uint8_t* p = b.row(y) + 3 * x;
      p[0] = y == 0 ? 255 : 0;
      p[1] = 200;
      p[2] = static_cast<std::uint8_t>(10 * (4 * y + x));
    }
  const PictureStatistics s = ComputePictureStatistics(b);
  EXPECT_EQ(4, s.width);
  EXPECT_EQ(2, s.height);
  EXPECT_EQ(24, s.bitCount);
  // Red: mean 35, variance 100 * (0^2 + ... + 7^2) / 8 - 35^2 = 1750 - 1225 = 525.
  EXPECT_EQ(0, s.channels[0].minimum);
  EXPECT_EQ(70, s.channels[0].maximum);
  EXPECT_DOUBLE_EQ(35, s.channels[0].mean);
  EXPECT_DOUBLE_EQ(std::sqrt(525.0), s.channels[0].standardDeviation);
  EXPECT_EQ(200, s.channels[1].minimum);
  EXPECT_EQ(200, s.channels[1].maximum);
  EXPECT_EQ(0, s.channels[1].standardDeviation);
  EXPECT_DOUBLE_EQ(127.5, s.channels[2].mean);
  EXPECT_DOUBLE_EQ(127.5, s.channels[2].standardDeviation);
  EXPECT_EQ(
      QStringList({"Размер: 4 x 2 пикс.", "Бит на пиксель: 24", "Красный: минимум 0", "Красный: максимум 70",
                   "Красный: среднее 35,00", "Красный: стандартное отклонение 22,91", "Зелёный: минимум 200",
                   "Зелёный: максимум 200", "Зелёный: среднее 200,00", "Зелёный: стандартное отклонение 0,00",
                   "Синий: минимум 0", "Синий: максимум 255", "Синий: среднее 127,50",
                   "Синий: стандартное отклонение 127,50"}),
      PictureStatisticsLines(s));
}

TEST(PictureStatistics, IndexedPicturesThroughTheirPalette) {
  SeparatorScope separator(u'.');
  Palette palette{};
  palette[1] = {10, 20, 30};  // blue, green, red
  palette[2] = {0, 0, 90};
  Bitmap b = Bitmap::Indexed(3, 1, palette);
  b.fileBitCount = 4;
  b.row(0)[0] = 1;
  b.row(0)[1] = 2;
  b.row(0)[2] = 2;
  const PictureStatistics s = ComputePictureStatistics(b);
  EXPECT_EQ(4, s.bitCount);
  EXPECT_EQ(30, s.channels[0].minimum);  // red 30, 90, 90
  EXPECT_EQ(90, s.channels[0].maximum);
  EXPECT_DOUBLE_EQ(70, s.channels[0].mean);
  EXPECT_DOUBLE_EQ(std::sqrt(800.0), s.channels[0].standardDeviation);  // (40^2 + 20^2 + 20^2) / 3
  EXPECT_DOUBLE_EQ(20.0 / 3, s.channels[1].mean);
  EXPECT_EQ(10, s.channels[2].maximum);
  EXPECT_EQ("Красный: среднее 70.00", PictureStatisticsLines(s)[4]);
}

TEST(PictureStatistics, RowsSharedBetweenThreadsGiveThePlainFigures) {
  // 2000 x 700: several ranges of rows; values with a pattern in each channel.
  Bitmap b = Bitmap::Colour(2000, 700);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      std::uint8_t* p = b.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>((x * 7 + y) % 256);
      p[1] = static_cast<std::uint8_t>(std::min(255, (x + y) / 10));
      p[2] = static_cast<std::uint8_t>(y < 350 ? 17 : 240 - x % 3);
    }
  const PictureStatistics s = ComputePictureStatistics(b);
  for (int c = 0; c < 3; ++c) {
    const int byte = 2 - c;  // red is the third byte
    long double sum = 0, squares = 0;
    int lo = 255, hi = 0;
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) {
        const int v = b.row(y)[3 * x + byte];
        sum += v;
        squares += static_cast<long double>(v) * v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    const long double n = 2000.0L * 700;
    const long double mean = sum / n;
    EXPECT_EQ(lo, s.channels[c].minimum) << c;
    EXPECT_EQ(hi, s.channels[c].maximum) << c;
    EXPECT_NEAR(static_cast<double>(mean), s.channels[c].mean, 1e-12) << c;
    EXPECT_NEAR(static_cast<double>(std::sqrt(squares / n - mean * mean)), s.channels[c].standardDeviation,
                1e-9)
        << c;
  }
}

TEST(PictureStatistics, APictureWithoutPixelsHasOnlyItsSize) {
  const Bitmap empty;
  EXPECT_EQ(QStringList({"Размер: 0 x 0 пикс.", "Бит на пиксель: 24"}),
            PictureStatisticsLines(ComputePictureStatistics(empty)));
}

}  // namespace
}  // namespace skarvel
