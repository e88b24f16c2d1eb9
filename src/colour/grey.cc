#include "colour/grey.h"

#include "platform/bitmap_file.h"
#include "platform/file_names.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <vector>

namespace skarvel {
namespace {

// The double nearest to one third: a multiplication by it, not a division by
// 3, so that some exact integers come out just below and truncate one lower.
constexpr double kOneThird = 1.0 / 3.0;

}  // namespace

GreyFactors MakeGreyFactors(const ChannelSettings& s) {
  // Extended precision, then stored as doubles: at the defaults all are 1 exactly.
  return {static_cast<double>(s.r * 0.01L + 1.0L), static_cast<double>(s.g * 0.01L + 1.0L),
          static_cast<double>(s.b * 0.01L + 1.0L), static_cast<double>(s.contrast * 0.02L)};
}

double GreyValue(int b0, int b1, int b2, const GreyFactors& f) {
  // Extended precision throughout; v is rounded to a double before the clamp.
  const long double s = ((b0 * static_cast<long double>(f.kR) + b1 * static_cast<long double>(f.kG)) +
                         b2 * static_cast<long double>(f.kB)) *
                        static_cast<long double>(kOneThird);
  return static_cast<double>((s - 127.0L) * static_cast<long double>(f.k) + 127.0L);
}

namespace {

std::uint8_t LevelOf(double v) {
  if (v > 255.0) {
    v = 255.0;
  } else if (!(v >= 0.0)) {
    v = 0.0;
  }
  return static_cast<std::uint8_t>(v);
}

// How the contrast treated a value: 0 kept, 1 clipped at 0, 2 clipped at 255.
std::uint8_t ClipOf(double v) { return v < 0.0 ? 1 : v > 255.0 ? 2 : 0; }

}  // namespace

std::uint8_t GreyLevel(int b0, int b1, int b2, const GreyFactors& f) {
  return LevelOf(GreyValue(b0, b1, b2, f));
}

namespace {

// Equal weights k = kR = kG = kB: every product b k (an 8-bit integer times a
// 53-bit significand, at most 61 bits) is exact in the 64-bit significand of
// extended precision, and so are both partial sums, (b0 + b1) k and
// (b0 + b1 + b2) k (a 10-bit integer times k, at most 63 bits). So s, and the
// grey level, depend on the three bytes only through their sum 0..765.
void EqualWeightsTable(const GreyFactors& f, std::uint8_t (&level)[766]) {
  for (int sum = 0; sum <= 765; ++sum) {
    const int b0 = std::min(sum, 255), b1 = std::min(sum - b0, 255), b2 = sum - b0 - b1;
    level[sum] = GreyLevel(b0, b1, b2, f);
  }
}

// Any weights: per-byte tables of fixed-point values and a guard band.
//
// In exact arithmetic v = ((b0 kR + b1 kG + b2 kB) t - 127) K + 127 is the sum
// b0 kR t K + b1 kG t K + b2 kB t K + 127 (1 - K). Each of the three terms is
// tabulated for the 256 byte values (the constant goes into the first), in
// units of 2^-32 as 64-bit integers: computed in extended precision (within
// 2^-50) and rounded to the unit (within 2^-33), so the sum of three entries
// lies within 2^-31 of the exact v. The extended-precision formula itself
// lies within 2^-47 of the exact v before its rounding to a double, which
// moves it by less than 2^-40 (|v| < 6508). So the table sum and the double v
// of the formula differ by less than 2^-30. Where the sum lies farther than
// kGuard = 2^-24 from every integer, the formula's v lies strictly between
// the same two integers, and its clamps (at the integers 0 and 255) and
// truncation give the byte floor(sum) clamped to 0..255. Values nearer an
// integer (a few in a million for typical weights, up to a third of them for
// weights such as 1, 1, 2) are computed again by the formula.
constexpr int kFixedBits = 32;
constexpr std::int64_t kUnit = std::int64_t{1} << kFixedBits;
constexpr std::int64_t kGuard = std::int64_t{1} << (kFixedBits - 24);

// The values near an integer, computed again by the formula, remembered by
// the exact weighted sum when that sum is exact in extended precision.
//
// Every product b k is a multiple of the unit in the last place of k, so all
// products and partial sums of b0 kR + b1 kG + b2 kB are multiples of 2^-q,
// q the largest such exponent among the nonzero weights. When 2^q times the
// largest sum, 255 (kR + kG + kB), is below 2^64, every partial sum is an
// integer times 2^-q of at most 64 bits: the extended sum is exact, the
// formula's result depends on the bytes only through it, and the integer
// b0 KR + b1 KG + b2 KB (K = k 2^q) identifies it. Weights that put many
// values on integers (1, 1, 2) give few distinct sums, so a small cache
// answers most of them.
class Recomputed {
 public:
  explicit Recomputed(const GreyFactors& f) : f_(f) {
    const double weights[3] = {f.kR, f.kG, f.kB};
    int q = 0;
    for (double k : weights)
      if (k != 0) q = std::max(q, 52 - std::ilogb(k));
    const long double largest = std::ldexp(255.0L * (static_cast<long double>(f.kR) + f.kG + f.kB), q);
    exact_ = q <= 63 && largest < 0x1p64L;
    for (int i = 0; i < 3 && exact_; ++i) scaled_[i] = static_cast<std::uint64_t>(std::ldexp(weights[i], q));
    if (exact_) slots_.assign(kSlots, Slot{});
  }

  // The level and how the contrast treated the value (see ClipOf).
  std::pair<std::uint8_t, std::uint8_t> Classify(const std::uint8_t* bgr) {
    const Slot& slot = Find(bgr);
    return {slot.level, slot.clip};
  }

 private:
  static constexpr int kSlotBits = 12;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  struct Slot {
    std::uint64_t key = 0;
    std::uint8_t level = 0;
    std::uint8_t clip = 0;
    bool used = false;
  };
  Slot Compute(std::uint64_t key, const std::uint8_t* bgr) const {
    const double v = GreyValue(bgr[0], bgr[1], bgr[2], f_);
    return {key, LevelOf(v), ClipOf(v), true};
  }
  const Slot& Find(const std::uint8_t* bgr) {
    if (!exact_) return uncached_ = Compute(0, bgr);
    const std::uint64_t key = bgr[0] * scaled_[0] + bgr[1] * scaled_[1] + bgr[2] * scaled_[2];
    Slot& slot = slots_[(key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    if (!slot.used || slot.key != key) slot = Compute(key, bgr);
    return slot;
  }

  const GreyFactors& f_;
  Slot uncached_;
  bool exact_ = false;
  std::uint64_t scaled_[3] = {0, 0, 0};
  std::vector<Slot> slots_;
};

using Terms = std::int64_t[3][256];

void MakeTerms(const GreyFactors& f, Terms& terms) {
  const long double t = kOneThird, k = f.k;
  const long double weights[3] = {f.kR, f.kG, f.kB};
  for (int channel = 0; channel < 3; ++channel)
    for (int b = 0; b < 256; ++b) {
      long double term = b * weights[channel] * t * k;
      if (channel == 0) term += 127.0L * (1.0L - k);
      terms[channel][b] = std::llround(std::ldexp(term, kFixedBits));
    }
}

}  // namespace

// How the pixels are made: 8-bit sources through a table of their 256
// indices, equal weights through a table of byte sums, any other weights by
// the fixed-point terms and the guard band.
struct GreyComposer::Tables {
  enum class Kind { kIndices, kSums, kFixedPoint } kind = Kind::kFixedPoint;
  GreyFactors factors{};
  std::uint8_t indexLevel[256];
  std::uint8_t sumLevel[766];
  Terms terms;
};

GreyComposer::GreyComposer(const Bitmap& source, const ChannelSettings& settings)
    : source_(source), tables_(std::make_unique<Tables>()) {
  Tables& t = *tables_;
  t.factors = MakeGreyFactors(settings);
  const GreyFactors& factors = t.factors;
  if (source.indexed) {
    // 8-bit sources: the palette index is the grey level, whatever colour the
    // palette gives it. Other indexed sources (1 and 4 bits): the colour of
    // the index, as for a 24-bit source.
    t.kind = Tables::Kind::kIndices;
    for (int p = 0; p < 256; ++p) {
      const Bgr c = source.fileBitCount == 8 ? Bgr{static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p),
                                                   static_cast<std::uint8_t>(p)}
                                             : source.palette[p];
      t.indexLevel[p] = GreyLevel(c.b, c.g, c.r, factors);
    }
  } else if (factors.kR == factors.kG && factors.kG == factors.kB) {
    t.kind = Tables::Kind::kSums;
    EqualWeightsTable(factors, t.sumLevel);
  } else {
    MakeTerms(factors, t.terms);
  }
}

GreyComposer::~GreyComposer() = default;

// The pixels of `part`, each handed to the sink by the way the tables make
// it: Row(y) before the pixels of row y, then per pixel at offset x from the
// part's left Index(x, index) for 8-bit indices, Sum(x, bgr) for equal
// weights, or Fixed(x, bgr, v) with the fixed-point sum v for any other
// weights, then after the row Near(x, level, clip) for those whose v was near
// an integer, with the formula's level and clip (see ClipOf).
//
// Near values are listed first and recomputed after the row, so that the
// main loop has no branch that depends on the data. The recomputation and
// its cache are made only when a value is near.
template <class Sink>
void GreyComposer::ForEachPixel(const QRect& part, Sink& sink) const {
  const Tables& t = *tables_;
  const int left = part.left(), width = part.width();
  switch (t.kind) {
    case Tables::Kind::kIndices:
      for (int y = part.top(); y <= part.bottom(); ++y) {
        sink.Row(y);
        const std::uint8_t* in = source_.row(y) + left;
        for (int x = 0; x < width; ++x) sink.Index(x, in[x]);
      }
      return;
    case Tables::Kind::kSums:
      for (int y = part.top(); y <= part.bottom(); ++y) {
        sink.Row(y);
        const std::uint8_t* in = source_.row(y) + 3 * static_cast<std::size_t>(left);
        for (int x = 0; x < width; ++x, in += 3) sink.Sum(x, in);
      }
      return;
    case Tables::Kind::kFixedPoint:
      break;
  }
  std::optional<Recomputed> recompute;
  std::vector<int> near(static_cast<std::size_t>(width));
  for (int y = part.top(); y <= part.bottom(); ++y) {
    sink.Row(y);
    const std::uint8_t* in = source_.row(y) + 3 * static_cast<std::size_t>(left);
    std::size_t nearCount = 0;
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = in + 3 * static_cast<std::size_t>(x);
      const std::int64_t v = t.terms[0][p[0]] + t.terms[1][p[1]] + t.terms[2][p[2]];
      // Distance to the nearest integer below kGuard: (v + guard) mod unit < 2 guard.
      const bool isNear = ((v + kGuard) & (kUnit - 1)) < 2 * kGuard;
      sink.Fixed(x, p, v, isNear);
      near[nearCount] = x;
      nearCount += isNear;
    }
    if (nearCount != 0 && !recompute) recompute.emplace(t.factors);
    for (std::size_t i = 0; i < nearCount; ++i) {
      const auto [level, clip] = recompute->Classify(in + 3 * static_cast<std::size_t>(near[i]));
      sink.Near(near[i], level, clip);
    }
  }
}

namespace {

// Writes the grey levels into the result's rows.
template <class Tables>
class LevelWriter {
 public:
  LevelWriter(const Tables& tables, Bitmap& result, int left) : t_(tables), result_(result), left_(left) {}
  void Row(int y) { out_ = result_.row(y) + left_; }
  void Index(int x, std::uint8_t index) { out_[x] = t_.indexLevel[index]; }
  void Sum(int x, const std::uint8_t* p) { out_[x] = t_.sumLevel[p[0] + p[1] + p[2]]; }
  void Fixed(int x, const std::uint8_t*, std::int64_t v, bool) {
    const std::int64_t whole = v >> kFixedBits;  // floor
    out_[x] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(whole, 0, 255));
  }
  void Near(int x, std::uint8_t level, std::uint8_t) { out_[x] = level; }

 private:
  const Tables& t_;
  Bitmap& result_;
  int left_;
  std::uint8_t* out_ = nullptr;
};

}  // namespace

void GreyComposer::Compose(const QRect& area, Bitmap& result) const {
  const QRect part = area.intersected(QRect(0, 0, source_.width, source_.height));
  if (part.isEmpty()) return;
  LevelWriter<Tables> writer(*tables_, result, part.left());
  ForEachPixel(part, writer);
}

void GreyComposer::ComposeShared(const QRect& area, Bitmap& result) const {
  const QRect part = area.intersected(QRect(0, 0, source_.width, source_.height));
  if (part.isEmpty()) return;
  ForEachRange(part.height(), MinRowsPerThread(part.width()), [&](int begin, int end) {
    Compose(QRect(part.left(), part.top() + begin, part.width(), end - begin), result);
  });
}

void PrepareGreyResult(const Bitmap& source, Bitmap& result) {
  if (source.empty()) {
    // Nothing loaded yet: the composition of the empty source is empty.
    result = Bitmap{};
    result.width = std::max(source.width, 0);
    result.height = std::max(source.height, 0);
    result.indexed = true;
    result.fileBitCount = 8;
    result.palette = GreyPalette();
    return;
  }
  WithPictureMemory(source.width, source.height, [&] {
    if (!result.indexed || result.width != source.width || result.height != source.height ||
        result.pixels.size() != result.rowBytes() * static_cast<std::size_t>(result.height)) {
      result = Bitmap::Indexed(source.width, source.height, GreyPalette());
    }
  });
  result.palette = GreyPalette();
  result.fileBitCount = 8;
}

void ComposeGrey(const Bitmap& source, const ChannelSettings& settings, Bitmap& result) {
  PrepareGreyResult(source, result);
  if (source.empty()) return;
  WithPictureMemory(source.width, source.height, [&] {
    GreyComposer(source, settings).ComposeShared(QRect(0, 0, source.width, source.height), result);
  });
}

Bitmap ComposeGrey(const Bitmap& source, const ChannelSettings& settings) {
  Bitmap result;
  ComposeGrey(source, settings, result);
  return result;
}

namespace {

void Add(LevelHistogram& to, const LevelHistogram& from) {
  for (size_t i = 0; i < to.size(); ++i) to[i] += from[i];
}

// Counts a range's pixels by what the grey level depends on: the index
// (8-bit sources), the byte sum (equal weights) or the fixed-point sum, as
// bins: bin 0 for a value below 0, bins 1 to 255 for levels 0 to 254, bin
// 256 for a value above 255 (level 255; a value of exactly 255 is near an
// integer); the values near an integer are classified by the formula. Also
// the source's bytes, blue, green and red, of 24-bit sources.
struct LevelCounter {
  LevelHistogram indices{};
  std::array<std::uint64_t, 766> sums{};
  std::array<std::uint64_t, 257> bins{};
  LevelHistogram nearLevels{};
  std::uint64_t nearLow = 0, nearHigh = 0;
  std::array<LevelHistogram, 3> bytes{};

  void Row(int) {}
  void Index(int, std::uint8_t index) { ++indices[index]; }
  void Bytes(const std::uint8_t* p) {
    ++bytes[0][p[0]];
    ++bytes[1][p[1]];
    ++bytes[2][p[2]];
  }
  void Sum(int, const std::uint8_t* p) {
    Bytes(p);
    ++sums[p[0] + p[1] + p[2]];
  }
  void Fixed(int, const std::uint8_t* p, std::int64_t v, bool isNear) {
    Bytes(p);
    const std::int64_t whole = v >> kFixedBits;  // floor
    bins[static_cast<size_t>(std::clamp<std::int64_t>(whole, -1, 255) + 1)] += !isNear;
  }
  void Near(int, std::uint8_t level, std::uint8_t clip) {
    ++nearLevels[level];
    nearLow += clip == 1;
    nearHigh += clip == 2;
  }

  void MergeInto(LevelCounter& total) const {
    Add(total.indices, indices);
    for (size_t i = 0; i < sums.size(); ++i) total.sums[i] += sums[i];
    for (size_t i = 0; i < bins.size(); ++i) total.bins[i] += bins[i];
    Add(total.nearLevels, nearLevels);
    total.nearLow += nearLow;
    total.nearHigh += nearHigh;
    for (size_t c = 0; c < 3; ++c) Add(total.bytes[c], bytes[c]);
  }
};

// Adds n pixels of value v.
void CountValue(GreyCounts& counts, double v, std::uint64_t n) {
  counts.levels[LevelOf(v)] += n;
  if (ClipOf(v) == 1) counts.clippedLow += n;
  if (ClipOf(v) == 2) counts.clippedHigh += n;
}

}  // namespace

GreyCounts CountGreyLevels(const Bitmap& source, const ChannelSettings& settings) {
  GreyCounts total;
  if (source.empty()) return total;
  const GreyComposer composer(source, settings);
  LevelCounter all;
  std::mutex merge;
  ForEachRange(source.height, MinRowsPerThread(source.width), [&](int begin, int end) {
    // Large: on the heap rather than a pool thread's stack.
    const auto part = std::make_unique<LevelCounter>();
    composer.ForEachPixel(QRect(0, begin, source.width, end - begin), *part);
    const std::lock_guard lock(merge);
    part->MergeInto(all);
  });

  const GreyFactors& f = composer.tables_->factors;
  switch (composer.tables_->kind) {
    case GreyComposer::Tables::Kind::kIndices:
      // Each index stands for its level (as the composition takes it) and
      // its colour.
      total.source = ColourHistograms(source);
      for (int p = 0; p < 256; ++p) {
        const auto index = static_cast<std::uint8_t>(p);
        const Bgr c = source.fileBitCount == 8 ? Bgr{index, index, index} : source.palette[index];
        CountValue(total, GreyValue(c.b, c.g, c.r, f), all.indices[index]);
      }
      return total;
    case GreyComposer::Tables::Kind::kSums:
      for (int sum = 0; sum <= 765; ++sum) {
        const int b0 = std::min(sum, 255), b1 = std::min(sum - b0, 255), b2 = sum - b0 - b1;
        CountValue(total, GreyValue(b0, b1, b2, f), all.sums[static_cast<size_t>(sum)]);
      }
      break;
    case GreyComposer::Tables::Kind::kFixedPoint:
      // A sum farther than the guard from every integer gives the level
      // floor(sum) clamped, and lies below 0 or above 255 exactly when the
      // formula's value does.
      total.levels = all.nearLevels;
      total.clippedLow = all.nearLow + all.bins[0];
      total.clippedHigh = all.nearHigh + all.bins[256];
      total.levels[0] += all.bins[0];
      for (size_t level = 0; level < 255; ++level) total.levels[level] += all.bins[level + 1];
      total.levels[255] += all.bins[256];
      break;
  }
  for (size_t c = 0; c < 3; ++c) total.source[2 - c] = all.bytes[c];
  return total;
}

void RunGreyComposition(const QString& directory, const QStringList& entries, const ChannelSettings& settings,
                        const BatchObserver& observer) {
  Bitmap result;
  RunGreyComposition(directory, entries, settings, observer, result);
}

void RunGreyComposition(const QString& directory, const QStringList& entries, const ChannelSettings& settings,
                        const BatchObserver& observer, Bitmap& result) {
  ForEachBatchEntry(entries, observer, [&](const QString& entry) {
    const auto picture = LoadBatchPicture(directory, entry, observer);
    ComposeGrey(*picture, settings, result);
    const QString output = MakeOutputName(directory, entry, kGreySuffix);
    SaveBitmap(result, output);
    if (observer.written) observer.written(output, result);
    if (observer.saved) observer.saved(output);
  });
}

}  // namespace skarvel
