#include "resampling/resample.h"

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/numbers.h"

#include <algorithm>
#include <vector>

namespace skarvel {
namespace {

// The scale step W / n, the quotient taken in extended precision and stored as a double.
double ScaleStep(int sourceSize, int newSize) {
  return static_cast<double>(static_cast<long double>(sourceSize) / static_cast<long double>(newSize));
}

// trunc(i * step) for every result index i, clamped to the source. The
// product is taken in extended precision and truncated without rounding it
// to a double first.
std::vector<int> NearestIndices(int newSize, double step, int sourceSize) {
  std::vector<int> index(static_cast<std::size_t>(newSize));
  for (int i = 0; i < newSize; ++i) {
    const auto at = static_cast<long long>(static_cast<long double>(i) * step);
    index[static_cast<std::size_t>(i)] = static_cast<int>(std::min<long long>(at, sourceSize - 1));
  }
  return index;
}

// The two source neighbours of one result column (or row) and the offset from the first.
struct Neighbours {
  int first;
  int second;
  double offset;
};

std::vector<Neighbours> BilinearNeighbours(int newSize, double step, int sourceSize) {
  std::vector<Neighbours> out(static_cast<std::size_t>(newSize));
  for (int i = 0; i < newSize; ++i) {
    const double position = static_cast<double>(static_cast<long double>(i) * step);
    int first = std::min(static_cast<int>(position), sourceSize - 1);
    // The last source pixel is never the first neighbour (unless it is the only one).
    if (first == sourceSize - 1 && sourceSize > 1) first = sourceSize - 2;
    const double offset = static_cast<double>(static_cast<long double>(position) - first);
    out[static_cast<std::size_t>(i)] = {first, std::min(first + 1, sourceSize - 1), offset};
  }
  return out;
}

// One channel of the bilinear weighting, in extended precision and in this
// exact order: the byte results depend on every rounding step.
int BilinearChannel(long double p00, long double p10, long double p01, long double p11, double dx,
                    double dy) {
  const long double ldx = dx, ldy = dy;
  const long double t1 = ((1.0L - ldy * 0.5L) * (p10 * ldx)) * 0.5L;
  const long double t2 = ((p11 * ldx) * ldy) * 0.25L;
  const long double t3 = (((1.0L - ldx * 0.5L) * p01) * ldy) * 0.5L;
  const long double t4 = ((1.0L - ldx * 0.5L) * p00) * (1.0L - ldy * 0.5L);
  const long double v = ((t1 + t2) + t3) + t4;
  return std::clamp(static_cast<int>(v), 0, 255);
}

void ResampleNearest(const Bitmap& source, Bitmap& result, double sx, double sy) {
  const std::vector<int> columns = NearestIndices(result.width, sx, source.width);
  const std::vector<int> rows = NearestIndices(result.height, sy, source.height);
  std::vector<std::uint8_t> sourceRow(static_cast<std::size_t>(source.width) * 3);
  int loadedRow = -1;
  for (int m = 0; m < result.height; ++m) {
    if (rows[m] != loadedRow) ColourRow(source, loadedRow = rows[m], sourceRow.data());
    std::uint8_t* out = result.row(m);
    for (int n = 0; n < result.width; ++n, out += 3) {
      const std::uint8_t* in = sourceRow.data() + 3 * static_cast<std::size_t>(columns[n]);
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
}

void ResampleBilinear(const Bitmap& source, Bitmap& result, double sx, double sy) {
  const std::vector<Neighbours> columns = BilinearNeighbours(result.width, sx, source.width);
  const std::vector<Neighbours> rows = BilinearNeighbours(result.height, sy, source.height);
  std::vector<std::uint8_t> upper(static_cast<std::size_t>(source.width) * 3);
  std::vector<std::uint8_t> lower(upper.size());
  for (int m = 0; m < result.height; ++m) {
    const Neighbours& r = rows[m];
    ColourRow(source, r.first, upper.data());
    ColourRow(source, r.second, lower.data());
    std::uint8_t* out = result.row(m);
    for (int n = 0; n < result.width; ++n, out += 3) {
      const Neighbours& c = columns[n];
      const std::uint8_t* p00 = upper.data() + 3 * static_cast<std::size_t>(c.first);
      const std::uint8_t* p10 = upper.data() + 3 * static_cast<std::size_t>(c.second);
      const std::uint8_t* p01 = lower.data() + 3 * static_cast<std::size_t>(c.first);
      const std::uint8_t* p11 = lower.data() + 3 * static_cast<std::size_t>(c.second);
      for (int k = 0; k < 3; ++k)
        out[k] =
            static_cast<std::uint8_t>(BilinearChannel(p00[k], p10[k], p01[k], p11[k], c.offset, r.offset));
    }
  }
}

}  // namespace

Bitmap ResampleImage(const Bitmap& source, int newWidth, int newHeight, ResampleMethod method) {
  if (newWidth < 1 || newHeight < 1)
    throw Error(
        QStringLiteral("Новые ширина и высота изображения должны быть не меньше 1 пикс. (задано %1 × %2)")
            .arg(newWidth)
            .arg(newHeight));
  Bitmap result = Bitmap::Colour(newWidth, newHeight);
  if (source.empty()) return result;
  const double sx = ScaleStep(source.width, newWidth);
  const double sy = ScaleStep(source.height, newHeight);
  switch (method) {
    case ResampleMethod::kNearest:
      ResampleNearest(source, result, sx, sy);
      break;
    case ResampleMethod::kBilinear:
      ResampleBilinear(source, result, sx, sy);
      break;
  }
  return result;
}

void RunResampling(const QString& directory, const QStringList& entries, const QString& widthText,
                   const QString& heightText, ResampleMethod method, const BatchObserver& observer) {
  for (const QString& entry : entries) {
    const Bitmap picture = LoadBitmap(JoinPath(directory, entry));
    if (observer.loaded) observer.loaded(entry, picture);
    const int newWidth = StrToInt(widthText);
    const int newHeight = StrToInt(heightText);
    const Bitmap result = ResampleImage(picture, newWidth, newHeight, method);
    const QString output = MakeOutputName(directory, entry, kResampledSuffix);
    SaveBitmap(result, output);
    if (observer.written) observer.written(output, result);
  }
}

}  // namespace skarvel
