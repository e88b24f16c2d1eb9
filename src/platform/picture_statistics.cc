#include "platform/picture_statistics.h"

#include "platform/numbers.h"
#include "platform/parallel.h"

#include <cmath>
#include <mutex>

namespace skarvel {

LevelStatistics StatisticsOf(const LevelHistogram& histogram) {
  LevelStatistics s;
  // Sums of values and squares, exact: at most 2^30 pixels of 255^2.
  unsigned __int128 sum = 0, squares = 0;
  bool first = true;
  for (int v = 0; v < 256; ++v) {
    const std::uint64_t c = histogram[static_cast<size_t>(v)];
    if (c == 0) continue;
    if (first) s.minimum = v;
    first = false;
    s.maximum = v;
    s.count += c;
    sum += static_cast<unsigned __int128>(c) * static_cast<unsigned>(v);
    squares += static_cast<unsigned __int128>(c) * static_cast<unsigned>(v * v);
  }
  if (s.count == 0) return s;
  const unsigned __int128 n = s.count;
  s.mean = static_cast<double>(static_cast<long double>(sum) / static_cast<long double>(n));
  // N^2 variance = N S2 - S1^2, not negative and exact.
  const unsigned __int128 spread = n * squares - sum * sum;
  s.standardDeviation =
      static_cast<double>(std::sqrt(static_cast<long double>(spread)) / static_cast<long double>(n));
  return s;
}

std::array<LevelHistogram, 3> ColourHistograms(const Bitmap& bitmap) {
  std::array<LevelHistogram, 3> total{};
  if (bitmap.empty()) return total;
  std::mutex merge;
  if (bitmap.indexed) {
    // One histogram of indices, then each index's colour.
    LevelHistogram indices{};
    ForEachRange(bitmap.height, MinRowsPerThread(bitmap.width), [&](int begin, int end) {
      LevelHistogram local{};
      for (int y = begin; y < end; ++y) {
        const std::uint8_t* p = bitmap.row(y);
        for (int x = 0; x < bitmap.width; ++x) ++local[p[x]];
      }
      const std::lock_guard lock(merge);
      for (int i = 0; i < 256; ++i) indices[static_cast<size_t>(i)] += local[static_cast<size_t>(i)];
    });
    for (int i = 0; i < 256; ++i) {
      const Bgr c = bitmap.palette[static_cast<size_t>(i)];
      total[0][c.r] += indices[static_cast<size_t>(i)];
      total[1][c.g] += indices[static_cast<size_t>(i)];
      total[2][c.b] += indices[static_cast<size_t>(i)];
    }
    return total;
  }
  ForEachRange(bitmap.height, MinRowsPerThread(bitmap.width), [&](int begin, int end) {
    // Counts of blue, green, red bytes (the pixel's byte order).
    std::array<LevelHistogram, 3> local{};
    for (int y = begin; y < end; ++y) {
      const std::uint8_t* p = bitmap.row(y);
      for (int x = 0; x < bitmap.width; ++x, p += 3) {
        ++local[0][p[0]];
        ++local[1][p[1]];
        ++local[2][p[2]];
      }
    }
    const std::lock_guard lock(merge);
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c) total[2 - c][static_cast<size_t>(i)] += local[c][static_cast<size_t>(i)];
  });
  return total;
}

PictureStatistics PictureStatisticsFrom(const Bitmap& bitmap,
                                        const std::array<LevelHistogram, 3>& histograms) {
  PictureStatistics s;
  s.width = bitmap.width;
  s.height = bitmap.height;
  s.bitCount = bitmap.fileBitCount;
  for (int c = 0; c < 3; ++c)
    s.channels[static_cast<size_t>(c)] = StatisticsOf(histograms[static_cast<size_t>(c)]);
  return s;
}

PictureStatistics ComputePictureStatistics(const Bitmap& bitmap) {
  return PictureStatisticsFrom(bitmap, ColourHistograms(bitmap));
}

QString FormatFigure(double value) {
  QString text = QString::fromStdString(FormatFixedC(value, 2));
  text.replace(u'.', DecimalSeparator());
  return text;
}

QStringList LevelStatisticsLines(const QString& name, const LevelStatistics& levels) {
  return {QStringLiteral("%1: минимум %2").arg(name).arg(levels.minimum),
          QStringLiteral("%1: максимум %2").arg(name).arg(levels.maximum),
          QStringLiteral("%1: среднее %2").arg(name, FormatFigure(levels.mean)),
          QStringLiteral("%1: стандартное отклонение %2").arg(name, FormatFigure(levels.standardDeviation))};
}

QStringList PictureStatisticsLines(const PictureStatistics& s) {
  QStringList lines = {QStringLiteral("Размер: %1 x %2 пикс.").arg(s.width).arg(s.height),
                       QStringLiteral("Бит на пиксель: %1").arg(s.bitCount)};
  // A picture without pixels has no levels to describe.
  if (s.channels[0].count == 0) return lines;
  const QString names[3] = {QStringLiteral("Красный"), QStringLiteral("Зелёный"), QStringLiteral("Синий")};
  for (int c = 0; c < 3; ++c) lines += LevelStatisticsLines(names[c], s.channels[static_cast<size_t>(c)]);
  return lines;
}

}  // namespace skarvel
