#include "colour/grey_statistics.h"

namespace skarvel {

GreyStatistics GreyStatisticsFrom(const GreyCounts& counts) {
  GreyStatistics s;
  s.levels = StatisticsOf(counts.levels);
  s.clippedLow = counts.clippedLow;
  s.clippedHigh = counts.clippedHigh;
  if (s.levels.count > 0) {
    const long double pixels = static_cast<long double>(s.levels.count);
    s.clippedLowPercent = static_cast<double>(100.0L * s.clippedLow / pixels);
    s.clippedHighPercent = static_cast<double>(100.0L * s.clippedHigh / pixels);
  }
  return s;
}

ColourStatistics ComputeColourStatistics(const Bitmap& source, const ChannelSettings& settings) {
  const GreyCounts counts = CountGreyLevels(source, settings);
  return {PictureStatisticsFrom(source, counts.source), GreyStatisticsFrom(counts)};
}

QStringList GreyStatisticsLines(const GreyStatistics& s) {
  if (s.levels.count == 0) return {};
  QStringList lines = LevelStatisticsLines(QStringLiteral("Результат"), s.levels);
  lines << QStringLiteral("Отсечено контрастом в 0: %1 %").arg(FormatFigure(s.clippedLowPercent))
        << QStringLiteral("Отсечено контрастом в 255: %1 %").arg(FormatFigure(s.clippedHighPercent));
  return lines;
}

QStringList ColourStatisticsLines(const ColourStatistics& s) {
  return PictureStatisticsLines(s.source) + GreyStatisticsLines(s.grey);
}

}  // namespace skarvel
