#include "resampling/resample.h"

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/numbers.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace skarvel {
namespace {

// The scale step W / n, the quotient taken in extended precision and stored as a double.
double ScaleStep(int sourceSize, int newSize) {
  return static_cast<double>(static_cast<long double>(sourceSize) / static_cast<long double>(newSize));
}

// Rows per thread: at least about a quarter of a megapixel of result each.
int MinRowsPerThread(int width) { return std::max(1, (1 << 18) / std::max(width, 1)); }

// trunc(i * step) for every result index i, clamped to the source. The
// product is taken in extended precision and truncated without rounding it
// to a double first; the table is made once per picture.
std::vector<int> NearestIndices(int newSize, double step, int sourceSize) {
  std::vector<int> index(static_cast<std::size_t>(newSize));
  for (int i = 0; i < newSize; ++i) {
    const auto at = static_cast<long long>(static_cast<long double>(i) * step);
    index[static_cast<std::size_t>(i)] = static_cast<int>(std::min<long long>(at, sourceSize - 1));
  }
  return index;
}

// The number of binary digits after the point of d (0 <= d < 2): 0 for an
// integer, 53 or more for most quotients; kManyBits when there are more than 60.
constexpr int kManyBits = 99;
int FractionBits(double d) {
  for (int bits = 0; bits <= 60; ++bits) {
    const double scaled = std::ldexp(d, bits);
    if (scaled == std::trunc(scaled)) return bits;
  }
  return kManyBits;
}

// The two source neighbours of one result column (or row), the offset from
// the first and the weights of the two, (1 - offset/2) and offset/2.
struct Neighbours {
  int first;
  int second;
  double offset;
  double weightFirst;
  double weightSecond;
  int fractionBits;  // of the offset
};

std::vector<Neighbours> BilinearNeighbours(int newSize, double step, int sourceSize) {
  std::vector<Neighbours> out(static_cast<std::size_t>(newSize));
  for (int i = 0; i < newSize; ++i) {
    const double position = static_cast<double>(static_cast<long double>(i) * step);
    int first = std::min(static_cast<int>(position), sourceSize - 1);
    // The last source pixel is never the first neighbour (unless it is the only one).
    if (first == sourceSize - 1 && sourceSize > 1) first = sourceSize - 2;
    const double offset = static_cast<double>(static_cast<long double>(position) - first);
    out[static_cast<std::size_t>(i)] = {first,        std::min(first + 1, sourceSize - 1),
                                        offset,       1.0 - offset * 0.5,
                                        offset * 0.5, FractionBits(offset)};
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

// The colour rows of a source as B, G, R bytes: a colour picture's own rows,
// an indexed picture's rows converted through its palette into a buffer
// (one per thread and neighbour, converted again only when the row changes).
class ColourRow24 {
 public:
  explicit ColourRow24(const Bitmap& source) : source_(source) {}
  const std::uint8_t* get(int y) {
    if (!source_.indexed) return source_.row(y);
    if (y != loaded_) {
      buffer_.resize(static_cast<std::size_t>(source_.width) * 3);
      ColourRow(source_, loaded_ = y, buffer_.data());
    }
    return buffer_.data();
  }

 private:
  const Bitmap& source_;
  std::vector<std::uint8_t> buffer_;
  int loaded_ = -1;
};

void ResampleNearest(const Bitmap& source, Bitmap& result, double sx, double sy) {
  std::vector<int> columns = NearestIndices(result.width, sx, source.width);
  const std::vector<int> rows = NearestIndices(result.height, sy, source.height);
  for (int& column : columns) column *= source.bytesPerPixel();
  const std::size_t rowBytes = result.rowBytes();
  ForEachRange(result.height, MinRowsPerThread(result.width), [&](int begin, int end) {
    for (int m = begin; m < end; ++m) {
      std::uint8_t* out = result.row(m);
      if (m > begin && rows[m] == rows[m - 1]) {  // the same source row again
        std::memcpy(out, result.row(m - 1), rowBytes);
        continue;
      }
      const std::uint8_t* in = source.row(rows[m]);
      if (source.indexed) {
        for (int n = 0; n < result.width; ++n, out += 3) {
          const Bgr c = source.palette[in[columns[n]]];
          out[0] = c.b, out[1] = c.g, out[2] = c.r;
        }
      } else {
        for (int n = 0; n < result.width; ++n, out += 3) std::memcpy(out, in + columns[n], 3);
      }
    }
  });
}

// The bilinear weighting, computed as
//   v = wy0 (wx0 P00 + wx1 P10) + wy1 (wx0 P01 + wx1 P11)
// in double arithmetic, with wx0 = 1 - dx/2, wx1 = dx/2 and likewise for y.
//
// Exact case: let dx have fx binary digits after the point and dy fy (dx is
// an integer times 2^-fx, below 2). Then wx0 and wx1 are integers of at most
// fx + 2 bits times 2^-(fx+1), every product and sum above is a multiple of
// 2^-(fx+fy+2) no larger than 255 (the weights are not negative and sum to
// 1), so at most fx + fy + 10 bits: with fx + fy <= kExactBits they are all
// exact in a double's 53 bits. The extended-precision computation in the
// stated order has no more than fx + fy + 11 bits in any intermediate, so it
// is exact too, and both give the exact value and the same truncation. Steps
// such as 2, 1.171875 or 6000/4096 have at most a few such digits.
//
// Other steps (6000/2900): each weight carries at most one rounding and each
// term at most five more plus the final addition, so the double v lies
// within 2^-42 of the exact value; the extended computation lies within
// 2^-50 of it. Where the double v lies farther than kGuard = 2^-30 from every
// integer, both truncate alike; nearer ones (flat areas, where the exact
// value is an integer) are computed again in the stated extended order.
constexpr int kExactBits = 40;
constexpr double kGuard = 1.0 / (1 << 30);

void ResampleBilinear(const Bitmap& source, Bitmap& result, double sx, double sy) {
  std::vector<Neighbours> columns = BilinearNeighbours(result.width, sx, source.width);
  const std::vector<Neighbours> rows = BilinearNeighbours(result.height, sy, source.height);
  int columnBits = 0;
  for (const Neighbours& c : columns) columnBits = std::max(columnBits, c.fractionBits);
  ForEachRange(result.height, MinRowsPerThread(result.width), [&](int begin, int end) {
    ColourRow24 upperRows(source), lowerRows(source);
    for (int m = begin; m < end; ++m) {
      const Neighbours& r = rows[m];
      const std::uint8_t* upper = upperRows.get(r.first);
      const std::uint8_t* lower = lowerRows.get(r.second);
      const double wy0 = r.weightFirst, wy1 = r.weightSecond;
      const bool rowExact = r.fractionBits + columnBits <= kExactBits;
      std::uint8_t* out = result.row(m);
      for (int n = 0; n < result.width; ++n, out += 3) {
        const Neighbours& c = columns[n];
        const std::uint8_t* p00 = upper + 3 * static_cast<std::size_t>(c.first);
        const std::uint8_t* p10 = upper + 3 * static_cast<std::size_t>(c.second);
        const std::uint8_t* p01 = lower + 3 * static_cast<std::size_t>(c.first);
        const std::uint8_t* p11 = lower + 3 * static_cast<std::size_t>(c.second);
        const double wx0 = c.weightFirst, wx1 = c.weightSecond;
        const bool exact = rowExact || r.fractionBits + c.fractionBits <= kExactBits;
        for (int k = 0; k < 3; ++k) {
          const double v = wy0 * (wx0 * p00[k] + wx1 * p10[k]) + wy1 * (wx0 * p01[k] + wx1 * p11[k]);
          const int whole = static_cast<int>(v);
          const double fraction = v - whole;
          if (exact || (fraction >= kGuard && fraction <= 1.0 - kGuard)) {
            out[k] = static_cast<std::uint8_t>(std::clamp(whole, 0, 255));
          } else {
            out[k] = static_cast<std::uint8_t>(
                BilinearChannel(p00[k], p10[k], p01[k], p11[k], c.offset, r.offset));
          }
        }
      }
    }
  });
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
