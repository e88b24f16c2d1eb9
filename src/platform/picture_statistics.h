#pragma once
// Brightness statistics of a picture, for the statistics dialog: the size,
// the bit count and per colour channel (red, green, blue of each pixel's
// colour, through the palette for indexed pictures) the minimum, maximum,
// mean and standard deviation (of the whole picture, dividing by the pixel
// count).
//
// The figures come from per-channel histograms made in one pass over the
// pixels, the rows shared between the cores; sums are exact integers, so the
// figures do not depend on how the rows were shared.

#include "platform/bitmap.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace skarvel {

using LevelHistogram = std::array<std::uint64_t, 256>;

struct LevelStatistics {
  std::uint64_t count = 0;  // values counted
  int minimum = 0;          // 0 when nothing is counted
  int maximum = 0;
  double mean = 0;
  double standardDeviation = 0;
};
LevelStatistics StatisticsOf(const LevelHistogram& histogram);

struct PictureStatistics {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::array<LevelStatistics, 3> channels;  // red, green, blue
};

// Red, green and blue histograms of the pixels' colours.
std::array<LevelHistogram, 3> ColourHistograms(const Bitmap& bitmap);
PictureStatistics ComputePictureStatistics(const Bitmap& bitmap);
PictureStatistics PictureStatisticsFrom(const Bitmap& bitmap,
                                        const std::array<LevelHistogram, 3>& histograms);

// The dialog's lines, one statistic each, numbers with the decimal separator
// in force; every character is one of Windows-1251, so that the lines are
// saved unchanged:
//   "Размер: 6000 x 4000 пикс.", "Бит на пиксель: 24", then per channel
//   "Красный: минимум 3", "Красный: максимум 250", "Красный: среднее 127,25",
//   "Красный: стандартное отклонение 10,50" (then "Зелёный", "Синий").
QStringList PictureStatisticsLines(const PictureStatistics& statistics);
// The four lines of one set of levels under a name ("Красный", ...).
QStringList LevelStatisticsLines(const QString& name, const LevelStatistics& levels);

// A figure with two decimals and the separator in force.
QString FormatFigure(double value);

}  // namespace skarvel
