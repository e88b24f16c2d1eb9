#include "resampling/resample.h"

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/float_checks.h"
#include "platform/numbers.h"
#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace skarvel {
namespace {

// The scale step W / n, the quotient taken in extended precision and stored as a double.
double ScaleStep(int sourceSize, int newSize) {
  return static_cast<double>(static_cast<long double>(sourceSize) / static_cast<long double>(newSize));
}

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

// Computes result rows [begin, end): row m goes to out + (m - begin) * stride
// (the stride may be negative, for the bottom-up rows of a file).
using RowBand = std::function<void(int begin, int end, std::uint8_t* out, std::ptrdiff_t stride)>;

RowBand NearestRows(const Bitmap& source, int newWidth, int newHeight, double sx, double sy) {
  auto columns = std::make_shared<std::vector<int>>(NearestIndices(newWidth, sx, source.width));
  auto rows = std::make_shared<const std::vector<int>>(NearestIndices(newHeight, sy, source.height));
  for (int& column : *columns) column *= source.bytesPerPixel();
  return [&source, columns, rows, newWidth](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(newWidth);
    for (int m = begin; m < end; ++m, out += stride) {
      if (m > begin && (*rows)[m] == (*rows)[m - 1]) {  // the same source row again
        std::memcpy(out, out - stride, rowBytes);
        continue;
      }
      const std::uint8_t* in = source.row((*rows)[m]);
      std::uint8_t* o = out;
      if (source.indexed) {
        for (int n = 0; n < newWidth; ++n, o += 3) {
          const Bgr c = source.palette[in[(*columns)[n]]];
          o[0] = c.b, o[1] = c.g, o[2] = c.r;
        }
      } else {
        for (int n = 0; n < newWidth; ++n, o += 3) std::memcpy(o, in + (*columns)[n], 3);
      }
    }
  };
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

RowBand BilinearRowsInDoubles(const Bitmap& source, int newWidth, std::vector<Neighbours> columnList,
                              std::vector<Neighbours> rowList) {
  auto columns = std::make_shared<const std::vector<Neighbours>>(std::move(columnList));
  auto rows = std::make_shared<const std::vector<Neighbours>>(std::move(rowList));
  int columnBits = 0;
  for (const Neighbours& c : *columns) columnBits = std::max(columnBits, c.fractionBits);
  return [&source, columns, rows, columnBits, newWidth](int begin, int end, std::uint8_t* out,
                                                        std::ptrdiff_t stride) {
    ColourRow24 upperRows(source), lowerRows(source);
    for (int m = begin; m < end; ++m, out += stride) {
      const Neighbours& r = (*rows)[m];
      const std::uint8_t* upper = upperRows.get(r.first);
      const std::uint8_t* lower = lowerRows.get(r.second);
      const double wy0 = r.weightFirst, wy1 = r.weightSecond;
      const bool rowExact = r.fractionBits + columnBits <= kExactBits;
      std::uint8_t* o = out;
      for (int n = 0; n < newWidth; ++n, o += 3) {
        const Neighbours& c = (*columns)[n];
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
            o[k] = static_cast<std::uint8_t>(std::clamp(whole, 0, 255));
          } else {
            o[k] = static_cast<std::uint8_t>(
                BilinearChannel(p00[k], p10[k], p01[k], p11[k], c.offset, r.offset));
          }
        }
      }
    }
  };
}

// The bilinear weighting in integers, for steps whose offsets have few binary
// digits after the point.
//
// Let every column offset dx be a multiple of 2^-F and every row offset dy a
// multiple of 2^-G (F and G the most digits any of them has). With
// X = dx 2^F and Y = dy 2^G (integers below 2^(F+1) and 2^(G+1), as the
// offsets lie below 2) the weights are wx1 = X / 2^(F+1),
// wx0 = (2^(F+1) - X) / 2^(F+1) and likewise for y, and the exact value is
//   v = (wy0' (wx0' P00 + wx1' P10) + wy1' (wx0' P01 + wx1' P11)) / 2^(F+G+2)
// with the primed integer numerators. The numerator is at most
// 255 * 2^(F+G+2), below 2^32 for F + G <= kIntegerBits = 22, so 32-bit
// unsigned arithmetic holds it exactly, and trunc(v) is the numerator shifted
// right by F + G + 2.
//
// The extended-precision evaluation in its stated order gives that same v:
// the bytes, dx, dy, their halves and 1 - dx/2, 1 - dy/2 are exact; every
// product and sum it forms is a multiple of 2^-(F+G+2) (each of t1 to t4
// carries at most F+1 and G+1 digits from the two halved offsets) and lies
// below 512 (P10 dx is the largest, with dx < 2), so it needs at most
// 9 + F + G + 2 <= 33 significant bits, well within the 64 of the extended
// format: nothing is rounded, and its truncation is the integer result.
constexpr int kIntegerBits = 22;

struct IntegerColumns {
  std::vector<std::uint32_t> at;  // byte offset of the first neighbour in a colour row
  std::vector<std::uint32_t> w0, w1;
  std::size_t next = 3;  // from the first neighbour's bytes to the second's
};

// (wy0' upper + wy1' lower) >> shift for `count` values; every numerator is
// smaller than 2^32 (see above). Eight values at a time as a vector; the same
// code is compiled twice, for every x86-64 processor and for those with AVX2,
// and the second is used where the processor has it.
using U32x8 = std::uint32_t __attribute__((vector_size(32)));
using U8x32 = std::uint8_t __attribute__((vector_size(32)));
using U8x8 = std::uint8_t __attribute__((vector_size(8)));
using BlendFunction = void (*)(const std::uint32_t*, const std::uint32_t*, std::uint32_t, std::uint32_t, int,
                               std::uint8_t*, std::size_t);

__attribute__((always_inline)) inline void BlendRowsBody(const std::uint32_t* upper,
                                                         const std::uint32_t* lower, std::uint32_t w0,
                                                         std::uint32_t w1, int shift, std::uint8_t* out,
                                                         std::size_t count) {
  std::size_t j = 0;
  for (; j + 8 <= count; j += 8) {
    U32x8 a, b;
    std::memcpy(&a, upper + j, sizeof a);
    std::memcpy(&b, lower + j, sizeof b);
    const auto v = reinterpret_cast<U8x32>((a * w0 + b * w1) >> shift);  // the low bytes are the results
    const U8x8 bytes = __builtin_shufflevector(v, v, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(out + j, &bytes, sizeof bytes);
  }
  for (; j < count; ++j) out[j] = static_cast<std::uint8_t>((w0 * upper[j] + w1 * lower[j]) >> shift);
}

void BlendRowsPlain(const std::uint32_t* upper, const std::uint32_t* lower, std::uint32_t w0,
                    std::uint32_t w1, int shift, std::uint8_t* out, std::size_t count) {
  BlendRowsBody(upper, lower, w0, w1, shift, out, count);
}

__attribute__((target("avx2"))) void BlendRowsAvx2(const std::uint32_t* upper, const std::uint32_t* lower,
                                                   std::uint32_t w0, std::uint32_t w1, int shift,
                                                   std::uint8_t* out, std::size_t count) {
  BlendRowsBody(upper, lower, w0, w1, shift, out, count);
}

std::atomic<bool> wideVectorsAllowed{true};

BlendFunction ChooseBlend() {
  return wideVectorsAllowed.load() && __builtin_cpu_supports("avx2") ? BlendRowsAvx2 : BlendRowsPlain;
}

// The horizontal weighting wx0' P0 + wx1' P1 of source rows, per channel,
// kept for the two rows last used: consecutive result rows mostly share them.
class WeightedRows {
 public:
  WeightedRows(const Bitmap& source, const IntegerColumns& columns) : colours_(source), columns_(columns) {
    for (auto& row : rows_) row.resize(3 * columns.at.size());
  }
  // Row y's weighting; row `keep` is not dropped to make room for it.
  const std::uint32_t* get(int y, int keep) {
    for (int s = 0; s < 2; ++s)
      if (y_[s] == y) return rows_[s].data();
    const int s = y_[0] == keep ? 1 : 0;
    y_[s] = y;
    const std::uint8_t* in = colours_.get(y);
    std::uint32_t* out = rows_[s].data();
    const std::size_t next = columns_.next;
    for (std::size_t n = 0; n < columns_.at.size(); ++n, out += 3) {
      const std::uint8_t* a = in + columns_.at[n];
      const std::uint8_t* b = a + next;
      const std::uint32_t w0 = columns_.w0[n], w1 = columns_.w1[n];
      out[0] = w0 * a[0] + w1 * b[0];
      out[1] = w0 * a[1] + w1 * b[1];
      out[2] = w0 * a[2] + w1 * b[2];
    }
    return rows_[s].data();
  }

 private:
  ColourRow24 colours_;
  const IntegerColumns& columns_;
  std::vector<std::uint32_t> rows_[2];
  int y_[2] = {-1, -1};
};

RowBand BilinearRowsInIntegers(const Bitmap& source, const std::vector<Neighbours>& columnList,
                               std::vector<Neighbours> rowList, int columnBits, int rowBits) {
  auto columns = std::make_shared<IntegerColumns>();
  const std::size_t count = columnList.size();
  columns->at.resize(count), columns->w0.resize(count), columns->w1.resize(count);
  const std::uint32_t columnOne = 2u << columnBits;  // 1 in the weights' scale
  for (std::size_t n = 0; n < count; ++n) {
    const auto x = static_cast<std::uint32_t>(std::ldexp(columnList[n].offset, columnBits));
    columns->at[n] = 3 * static_cast<std::uint32_t>(columnList[n].first);
    columns->w0[n] = columnOne - x;
    columns->w1[n] = x;
  }
  if (count > 0) columns->next = 3 * static_cast<std::size_t>(columnList[0].second - columnList[0].first);
  auto rows = std::make_shared<const std::vector<Neighbours>>(std::move(rowList));
  return [&source, columns, rows, rowBits, shift = columnBits + rowBits + 2, blend = ChooseBlend()](
             int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
    WeightedRows weighted(source, *columns);
    const std::uint32_t rowOne = 2u << rowBits;
    for (int m = begin; m < end; ++m, out += stride) {
      const Neighbours& r = (*rows)[m];
      const std::uint32_t* upper = weighted.get(r.first, r.second);
      const std::uint32_t* lower = weighted.get(r.second, r.first);
      const auto y = static_cast<std::uint32_t>(std::ldexp(r.offset, rowBits));
      blend(upper, lower, rowOne - y, y, shift, out, 3 * columns->at.size());
    }
  };
}

RowBand BilinearRows(const Bitmap& source, int newWidth, int newHeight, double sx, double sy) {
  std::vector<Neighbours> columns = BilinearNeighbours(newWidth, sx, source.width);
  std::vector<Neighbours> rows = BilinearNeighbours(newHeight, sy, source.height);
  int columnBits = 0, rowBits = 0;
  for (const Neighbours& c : columns) columnBits = std::max(columnBits, c.fractionBits);
  for (const Neighbours& r : rows) rowBits = std::max(rowBits, r.fractionBits);
  if (columnBits + rowBits <= kIntegerBits)
    return BilinearRowsInIntegers(source, columns, std::move(rows), columnBits, rowBits);
  return BilinearRowsInDoubles(source, newWidth, std::move(columns), std::move(rows));
}

// The rows of a result; a source without pixels leaves them white.
RowBand ResultRows(const Bitmap& source, int newWidth, int newHeight, ResampleMethod method) {
  if (source.empty() || (method != ResampleMethod::kNearest && method != ResampleMethod::kBilinear))
    return [newWidth](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
      for (int m = begin; m < end; ++m, out += stride)
        std::memset(out, 0xFF, 3 * static_cast<std::size_t>(newWidth));
    };
  const double sx = ScaleStep(source.width, newWidth);
  const double sy = ScaleStep(source.height, newHeight);
  if (method == ResampleMethod::kNearest) return NearestRows(source, newWidth, newHeight, sx, sy);
  return BilinearRows(source, newWidth, newHeight, sx, sy);
}

// Memory the tables of one result row or column take at most (the neighbours
// and weights of both methods), counted against the memory limit with the
// result itself: a result 1 pixel wide and millions high is refused before
// its tables are made.
constexpr std::int64_t kTableBytesPerLine = 64;

// A new size of 0 ends in the division of the scale step by it (W / 0 is a
// division by zero, 0 / 0 with an empty source an invalid operation). A
// negative one is refused with its own message.
void CheckNewSize(const Bitmap& source, int newWidth, int newHeight) {
  if (newWidth < 0 || newHeight < 0)
    throw Error(
        QStringLiteral("Новые ширина и высота изображения должны быть не меньше 1 пикс. (задано %1 × %2)")
            .arg(newWidth)
            .arg(newHeight));
  fp::Divide(source.width, newWidth);
  fp::Divide(source.height, newHeight);
  CheckBitmapSize(newWidth, newHeight, 3, (std::int64_t{newWidth} + newHeight) * kTableBytesPerLine);
}

// Resamples straight into the file, band by band from the bottom, without
// the whole result in memory.
void SaveResampled(const Bitmap& source, int newWidth, int newHeight, ResampleMethod method,
                   const QString& fileName) {
  CheckNewSize(source, newWidth, newHeight);
  WithPictureMemory(newWidth, newHeight, [&] {
    const RowBand rows = ResultRows(source, newWidth, newHeight, method);
    SaveBitmap24Bands(fileName, newWidth, newHeight,
                      [&](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
                        ForEachRange(end - begin, MinRowsPerThread(newWidth), [&](int first, int last) {
                          rows(begin + first, begin + last, out + first * stride, stride);
                        });
                      });
  });
}

}  // namespace

void AllowWideVectors(bool allowed) { wideVectorsAllowed = allowed; }

Bitmap ResampleImage(const Bitmap& source, int newWidth, int newHeight, ResampleMethod method) {
  CheckNewSize(source, newWidth, newHeight);
  return WithPictureMemory(newWidth, newHeight, [&] {
    Bitmap result = Bitmap::Colour(newWidth, newHeight);
    const RowBand rows = ResultRows(source, newWidth, newHeight, method);
    const auto rowBytes = static_cast<std::ptrdiff_t>(result.rowBytes());
    ForEachRange(newHeight, MinRowsPerThread(newWidth),
                 [&](int begin, int end) { rows(begin, end, result.row(begin), rowBytes); });
    return result;
  });
}

void RunResampling(const QString& directory, const QStringList& entries, const QString& widthText,
                   const QString& heightText, ResampleMethod method, const BatchObserver& observer) {
  ForEachBatchEntry(entries, observer, [&](const QString& entry) {
    const auto loaded = LoadBatchPicture(directory, entry, observer);
    const Bitmap& picture = *loaded;
    const int newWidth = StrToInt(widthText);
    const int newHeight = StrToInt(heightText);
    const QString output = MakeOutputName(directory, entry, kResampledSuffix);
    if (observer.written) {
      const Bitmap result = ResampleImage(picture, newWidth, newHeight, method);
      SaveBitmap(result, output);
      observer.written(output, result);
    } else {
      SaveResampled(picture, newWidth, newHeight, method, output);
    }
    if (observer.saved) observer.saved(output);
  });
}

}  // namespace skarvel
