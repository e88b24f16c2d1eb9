#pragma once
// Brightness statistics for the colour composition window: the source
// picture's own figures and those of its grey composition with the window's
// settings (the levels of the result, and the share of pixels the contrast
// clipped: a pixel is clipped at 0 when its value v before clamping is
// below 0, at 255 when it is above 255). One pass over the source pixels,
// without making the result picture.

#include "colour/grey.h"
#include "platform/picture_statistics.h"

#include <QStringList>

#include <cstdint>

namespace skarvel {

struct GreyStatistics {
  LevelStatistics levels;  // of the grey result
  std::uint64_t clippedLow = 0;
  std::uint64_t clippedHigh = 0;
  double clippedLowPercent = 0;  // of all pixels
  double clippedHighPercent = 0;
};

struct ColourStatistics {
  PictureStatistics source;
  GreyStatistics grey;
};

ColourStatistics ComputeColourStatistics(const Bitmap& source, const ChannelSettings& settings);
GreyStatistics GreyStatisticsFrom(const GreyCounts& counts);

// The dialog's lines for the grey result: "Результат: минимум 0", ...,
// "Результат: стандартное отклонение 40,00", "Отсечено контрастом в 0: 1,25 %",
// "Отсечено контрастом в 255: 0,03 %".
QStringList GreyStatisticsLines(const GreyStatistics& statistics);
// The source's lines followed by the grey result's.
QStringList ColourStatisticsLines(const ColourStatistics& statistics);

}  // namespace skarvel
