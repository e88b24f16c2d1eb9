// Grey composition: the worked cases, the formula against exact binary
// arithmetic over many pixels and settings, the fast paths against the
// formula over every colour triple, the source formats, and the batch.

#include "colour/grey.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/bmp_builder.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <utility>

namespace skarvel {
namespace {

using testing::TempDir;

// ---- The reference: the formula in exact binary arithmetic ----------------
//
// Every double and extended value is a binary fraction m * 2^e. Here each one
// is held as an integer m and an exponent; products and sums are formed
// exactly in 128-bit integers, and each step is then rounded to 64
// significant bits (extended precision) or 53 (a double), to nearest with
// ties to even, as the floating-point unit does. No floating-point
// instruction takes part, so the code under test is checked against the
// arithmetic itself rather than against a copy of its own expression.
struct Binary {
  bool negative = false;
  unsigned __int128 m = 0;  // the magnitude is m * 2^e
  int e = 0;
};

int BitLength(unsigned __int128 m) {
  const auto high = static_cast<std::uint64_t>(m >> 64), low = static_cast<std::uint64_t>(m);
  return high ? 128 - __builtin_clzll(high) : low ? 64 - __builtin_clzll(low) : 0;
}

Binary Round(Binary a, int bits) {
  const int excess = BitLength(a.m) - bits;
  if (excess <= 0) return a;
  const unsigned __int128 one = 1;
  const unsigned __int128 rest = a.m & ((one << excess) - 1), half = one << (excess - 1);
  a.m >>= excess;
  a.e += excess;
  if (rest > half || (rest == half && (a.m & 1))) ++a.m;
  if (BitLength(a.m) > bits) a.m >>= 1, ++a.e;  // rounded up to the next power of two
  return a;
}
Binary Extended(const Binary& a) { return Round(a, 64); }
Binary Double(const Binary& a) { return Round(a, 53); }

Binary Int(long long v) { return {v < 0, static_cast<unsigned __int128>(v < 0 ? -v : v), 0}; }

Binary Mul(const Binary& a, const Binary& b) {
  EXPECT_LE(BitLength(a.m) + BitLength(b.m), 128);
  return {a.negative != b.negative, a.m * b.m, a.e + b.e};
}

Binary Add(Binary a, Binary b) {
  if (a.m == 0) return b;
  if (b.m == 0) return a;
  if (a.e < b.e) std::swap(a, b);  // a has the larger exponent: shift it onto b's
  EXPECT_LE(BitLength(a.m) + (a.e - b.e), 126);
  const unsigned __int128 am = a.m << (a.e - b.e);
  if (a.negative == b.negative) return {a.negative, am + b.m, b.e};
  return am >= b.m ? Binary{a.negative, am - b.m, b.e} : Binary{b.negative, b.m - am, b.e};
}
Binary Sub(const Binary& a, Binary b) {
  b.negative = !b.negative;
  return Add(a, b);
}

// The sign of a - b.
int Compare(const Binary& a, const Binary& b) {
  const Binary d = Sub(a, b);
  return d.m == 0 ? 0 : d.negative ? -1 : 1;
}

// Truncated toward zero, for a value from 0 to 255.
int Trunc(const Binary& a) { return static_cast<int>(a.e >= 0 ? a.m << a.e : a.e <= -128 ? 0 : a.m >> -a.e); }

// The constants of the formula, from their definitions: 0.01 and 0.02 as
// extended values (64-bit m with 2^63 <= m < 2^64), the double nearest to
// one third (53-bit m).
const unsigned __int128 kOne = 1;
const Binary kHundredth{false, ((kOne << 70) + 50) / 100, -70};
const Binary kFiftieth{false, ((kOne << 70) + 50) / 100, -69};
const Binary kThird{false, ((kOne << 54) + 1) / 3, -54};

struct ReferenceFactors {
  Binary kR, kG, kB, K;
};

// The factors, computed in extended precision and stored as doubles; kept
// per thread for the settings last asked for.
const ReferenceFactors& FactorsOf(int r, int g, int b, int contrast) {
  thread_local int settings[4] = {-1000, 0, 0, 0};
  thread_local ReferenceFactors f;
  if (settings[0] != r || settings[1] != g || settings[2] != b || settings[3] != contrast) {
    auto weight = [](int position) {
      return Double(Extended(Add(Extended(Mul(Int(position), kHundredth)), Int(1))));
    };
    f = {weight(r), weight(g), weight(b), Double(Extended(Mul(Int(contrast), kFiftieth)))};
    settings[0] = r, settings[1] = g, settings[2] = b, settings[3] = contrast;
  }
  return f;
}

int ExactGrey(int b0, int b1, int b2, int r, int g, int b, int contrast) {
  const ReferenceFactors& f = FactorsOf(r, g, b, contrast);
  Binary s = Extended(Mul(Int(b0), f.kR));
  s = Extended(Add(s, Extended(Mul(Int(b1), f.kG))));
  s = Extended(Add(s, Extended(Mul(Int(b2), f.kB))));
  s = Extended(Mul(s, kThird));
  Binary v = Extended(Sub(s, Int(127)));
  v = Extended(Mul(v, f.K));
  v = Double(Extended(Add(v, Int(127))));
  if (Compare(v, Int(255)) > 0) return 255;
  if (Compare(v, Int(0)) < 0) return 0;
  return Trunc(v);
}

int Grey(int b0, int b1, int b2, ChannelSettings s = {}) { return GreyLevel(b0, b1, b2, MakeGreyFactors(s)); }

// The formula as the code computes it pixel by pixel, which the tests below
// hold to the exact arithmetic; the faster paths of ComposeGrey (tables,
// guard bands) are then held to it over every colour triple.
int FormulaGrey(int b0, int b1, int b2, int r, int g, int b, int contrast) {
  return GreyLevel(b0, b1, b2, MakeGreyFactors({r, g, b, contrast}));
}

TEST(GreyLevel, WorkedCases) {
  // Defaults: the truncated mean of the three bytes.
  EXPECT_EQ(Grey(30, 60, 90), 60);
  EXPECT_EQ(Grey(0, 0, 1), 0);
  EXPECT_EQ(Grey(255, 255, 255), 255);
  EXPECT_EQ(Grey(1, 1, 2), 1);
  // R = 100 doubles byte 0 (blue), not byte 2 (red).
  EXPECT_EQ(Grey(100, 0, 0, {.r = 100}), 66);
  EXPECT_EQ(Grey(0, 0, 100, {.r = 100}), 33);
  EXPECT_EQ(Grey(255, 0, 0, {.r = 200}), 255);
  // 255 (1/3 - 1.85e-17) is 85 - 4.7e-15, which rounds to 85 as a double.
  EXPECT_EQ(Grey(255, 255, 255, {.r = -100, .g = -100}), 85);
  // Contrast.
  EXPECT_EQ(Grey(17, 200, 93, {.contrast = 0}), 127);
  EXPECT_EQ(Grey(255, 255, 255, {.r = -100, .g = -100, .b = -100, .contrast = 25}), 63);
  EXPECT_EQ(Grey(200, 200, 200, {.contrast = 100}), 255);
  EXPECT_EQ(Grey(10, 10, 10, {.contrast = 100}), 0);
  EXPECT_EQ(Grey(100, 100, 100, {.contrast = 100}), 72);
  EXPECT_EQ(Grey(120, 120, 120, {.contrast = 75}), 116);
  // 381 t is 127 - 7e-15: times 10 the shortfall survives the rounding to a double.
  EXPECT_EQ(Grey(127, 127, 127, {.contrast = 500}), 126);
  EXPECT_EQ(Grey(127, 127, 127), 127);
}

// The settings of the every-triple test below: equal weights (the sum
// table), weights that put a third of all values on integers (1, 1, 2), the
// worked contrasts 0, 75 and 500, and arbitrary ones.
const ChannelSettings kTripleSettings[] = {
    {},
    {.r = 70, .g = 70, .b = 70, .contrast = 333},
    {.r = -100, .g = -100, .b = -100, .contrast = 25},
    {.r = 0, .g = 0, .b = 100, .contrast = 50},
    {.r = 12, .g = -40, .b = 150, .contrast = 0},
    {.r = 0, .g = 0, .b = 0, .contrast = 75},
    {.r = 5, .g = -3, .b = 20, .contrast = 75},
    {.r = 0, .g = 0, .b = 0, .contrast = 500},
    {.r = -7, .g = 33, .b = 100, .contrast = 500},
    {.r = 37, .g = -12, .b = 150, .contrast = 73},
    {.r = 200, .g = -100, .b = 199, .contrast = 417},
};

TEST(GreyLevel, AgreesWithExactArithmeticOverRandomPixelsAndSettings) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255), channel(kChannelMin, kChannelMax),
      contrast(kContrastMin, kContrastMax);
  auto expectExact = [](int b0, int b1, int b2, const ChannelSettings& s) {
    ASSERT_EQ(GreyLevel(b0, b1, b2, MakeGreyFactors(s)), ExactGrey(b0, b1, b2, s.r, s.g, s.b, s.contrast))
        << b0 << "," << b1 << "," << b2 << " at " << s.r << "," << s.g << "," << s.b << "," << s.contrast;
  };
  for (int round = 0; round < 400; ++round) {
    const ChannelSettings s{channel(random), channel(random), channel(random), contrast(random)};
    for (int i = 0; i < 500; ++i) expectExact(byte(random), byte(random), byte(random), s);
  }
  // Equal bytes at every contrast: the values that lie on integers in exact arithmetic.
  for (int c = kContrastMin; c <= kContrastMax; ++c)
    for (int p = 0; p < 256; ++p) expectExact(p, p, p, {.contrast = c});
  // The settings held to the formula over every triple: many triples each,
  // every sum of equal bytes among them.
  for (const ChannelSettings& s : kTripleSettings) {
    for (int i = 0; i < 20000; ++i) expectExact(byte(random), byte(random), byte(random), s);
    for (int sum = 0; sum <= 765; ++sum)
      expectExact(std::min(sum, 255), std::clamp(sum - 255, 0, 255), std::max(sum - 510, 0), s);
  }
}

// A 4096 x 4096 picture holding every colour triple once: pixel i has bytes
// i & 0xFF, (i >> 8) & 0xFF, i >> 16.
const Bitmap& EveryTriple() {
  static const Bitmap picture = [] {
    Bitmap b = Bitmap::Colour(4096, 4096);
    for (std::uint32_t i = 0; i < (1u << 24); ++i) {
      b.pixels[3 * i] = static_cast<std::uint8_t>(i);
      b.pixels[3 * i + 1] = static_cast<std::uint8_t>(i >> 8);
      b.pixels[3 * i + 2] = static_cast<std::uint8_t>(i >> 16);
    }
    return b;
  }();
  return picture;
}

// The index of the first triple whose level differs from the formula, or
// -1; the formula is spread over the cores on threads of the test's own.
long long FirstDifference(const Bitmap& grey, const ChannelSettings& s) {
  std::atomic<long long> first{-1};
  const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      const std::uint32_t begin = (1u << 24) / threads * t;
      const std::uint32_t end = t + 1 == threads ? (1u << 24) : (1u << 24) / threads * (t + 1);
      for (std::uint32_t i = begin; i < end; ++i)
        if (grey.pixels[i] != FormulaGrey(i & 0xFF, (i >> 8) & 0xFF, i >> 16, s.r, s.g, s.b, s.contrast)) {
          long long expected = -1;
          first.compare_exchange_strong(expected, i);
          return;
        }
    });
  for (std::thread& thread : pool) thread.join();
  return first;
}

TEST(ComposeGrey, EveryColourTripleAgreesWithTheFormula) {
  const auto& settings = kTripleSettings;
  Bitmap grey;
  for (const ChannelSettings& s : settings) {
    ComposeGrey(EveryTriple(), s, grey);
    ASSERT_EQ(grey.width, 4096);
    const long long i = FirstDifference(grey, s);
    EXPECT_EQ(i, -1) << "bytes " << (i & 0xFF) << ", " << ((i >> 8) & 0xFF) << ", " << (i >> 16) << " at "
                     << s.r << ", " << s.g << ", " << s.b << ", " << s.contrast;
  }
}

TEST(ComposeGrey, RandomPicturesSettingsAndSourceKindsAgreeWithTheFormula) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> channel(kChannelMin, kChannelMax), contrast(kContrastMin, kContrastMax),
      size(1, 700);
  for (int round = 0; round < 40; ++round) {
    ChannelSettings s{channel(random), channel(random), channel(random), contrast(random)};
    if (round % 5 == 0) s.g = s.b = s.r;  // equal weights
    const int width = size(random), height = size(random);
    SCOPED_TRACE(::testing::Message()
                 << width << "x" << height << " at " << s.r << "," << s.g << "," << s.b << "," << s.contrast);
    // 24 bits, with flat patches (equal bytes lie on integers in exact arithmetic).
    Bitmap colour = Bitmap::Colour(width, height);
    for (std::size_t i = 0; i < colour.pixels.size(); ++i)
      colour.pixels[i] = static_cast<std::uint8_t>(i % 7 == 0 ? 120 : random());
    const Bitmap g24 = ComposeGrey(colour, s);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Bgr c = colour.colour(x, y);
        ASSERT_EQ(g24.row(y)[x], FormulaGrey(c.b, c.g, c.r, s.r, s.g, s.b, s.contrast)) << x << "," << y;
      }
    // 8 bits (the index is the level) and 4 bits (the palette colour).
    Bitmap indexed = Bitmap::Indexed(width, height, {});
    for (auto& c : indexed.palette)
      c = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
           static_cast<std::uint8_t>(random())};
    for (auto& p : indexed.pixels) p = static_cast<std::uint8_t>(random() % 16);
    const Bitmap g8 = ComposeGrey(indexed, s);
    indexed.fileBitCount = 4;
    const Bitmap g4 = ComposeGrey(indexed, s);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int p = indexed.row(y)[x];
        const Bgr c = indexed.palette[p];
        ASSERT_EQ(g8.row(y)[x], FormulaGrey(p, p, p, s.r, s.g, s.b, s.contrast));
        ASSERT_EQ(g4.row(y)[x], FormulaGrey(c.b, c.g, c.r, s.r, s.g, s.b, s.contrast));
      }
  }
}

TEST(ComposeGrey, SourceFormats) {
  const ChannelSettings s{.r = 37, .g = -12, .b = 150, .contrast = 73};
  // 24-bit: bytes in memory order.
  Bitmap colour = Bitmap::Colour(2, 1);
  const std::uint8_t bytes[6] = {10, 20, 30, 200, 100, 0};
  std::copy(bytes, bytes + 6, colour.pixels.begin());
  const Bitmap g24 = ComposeGrey(colour, s);
  EXPECT_TRUE(g24.indexed);
  EXPECT_EQ(g24.palette, GreyPalette());
  EXPECT_EQ(g24.pixels[0], FormulaGrey(10, 20, 30, 37, -12, 150, 73));
  EXPECT_EQ(g24.pixels[1], FormulaGrey(200, 100, 0, 37, -12, 150, 73));

  // 8-bit: the index, whatever the palette says.
  std::vector<QRgb> palette(256, qRgb(255, 0, 0));
  const Bitmap indexed = DecodeBitmap(
      testing::MakeBmp({.width = 3, .height = 1, .bitCount = 8, .palette = palette}, {200, 0, 255}));
  const Bitmap g8 = ComposeGrey(indexed, {});
  EXPECT_EQ(std::vector<int>(g8.pixels.begin(), g8.pixels.end()), (std::vector<int>{200, 0, 255}));

  // 4-bit, 16-bit and 32-bit sources go through their colours as bytes blue, green, red.
  std::vector<QRgb> sixteen(16, qRgb(0, 0, 0));
  sixteen[3] = qRgb(90, 60, 30);  // red 90, green 60, blue 30
  const Bitmap four =
      DecodeBitmap(testing::MakeBmp({.width = 2, .height = 1, .bitCount = 4, .palette = sixteen}, {3, 0}));
  const Bitmap thirtyTwo =
      DecodeBitmap(testing::MakeBmp({.width = 1, .height = 1, .bitCount = 32}, {0x005A3C1E}));
  const Bitmap sixteenBit =
      DecodeBitmap(testing::MakeBmp({.width = 1, .height = 1, .bitCount = 16}, {0x7FFF}));  // white
  EXPECT_EQ(ComposeGrey(four, s).pixels[0], FormulaGrey(30, 60, 90, 37, -12, 150, 73));
  EXPECT_EQ(ComposeGrey(thirtyTwo, s).pixels[0], FormulaGrey(30, 60, 90, 37, -12, 150, 73));
  EXPECT_EQ(ComposeGrey(sixteenBit, {}).pixels[0], 255);
}

TEST(ComposeGrey, TheEmptySourceComposesToAnEmptyResult) {
  // The sliders move before any file is loaded: nothing to compose, no error,
  // and a result left from before is replaced by the empty one.
  const Bitmap nothing;
  Bitmap result = ComposeGrey(Bitmap::Colour(3, 2), {});
  ASSERT_EQ(result.pixels.size(), 6u);
  ComposeGrey(nothing, {.r = 50, .contrast = 100}, result);
  for (const Bitmap& grey : {result, ComposeGrey(nothing, {})}) {
    EXPECT_TRUE(grey.empty());
    EXPECT_EQ(grey.width, 0);
    EXPECT_EQ(grey.height, 0);
    EXPECT_TRUE(grey.pixels.empty());
    EXPECT_TRUE(grey.indexed);
    EXPECT_EQ(grey.palette, GreyPalette());
    EXPECT_TRUE(ToQImage(grey).isNull());
  }
}

TEST(RunGreyComposition, WritesEightBitGreyFilesInOrder) {
  TempDir dir;
  Bitmap a = Bitmap::Colour(3, 2);
  for (std::size_t i = 0; i < a.pixels.size(); ++i) a.pixels[i] = static_cast<std::uint8_t>(40 * i);
  SaveBitmap(a, dir.file("a.1.bmp"));
  Bitmap b = Bitmap::Colour(2, 2);
  SaveBitmap(b, dir.file("a.2.bmp"));
  SaveBitmap(a, dir.file("x_mod.bmp"));
  QStringList loaded, written;
  RunGreyComposition(dir.path(), {"a.1.bmp", "a.2.bmp", "x_mod.bmp"}, {},
                     {[&](const QString& e, const std::shared_ptr<const Bitmap>&) { loaded << e; },
                      [&](const QString& f, const Bitmap&) { written << f; }});
  EXPECT_EQ(loaded, (QStringList{"a.1.bmp", "a.2.bmp", "x_mod.bmp"}));
  EXPECT_EQ(written, (QStringList{dir.path() + "/a_mod.bmp", dir.path() + "/a_mod.bmp",
                                  dir.path() + "/x_mod_mod.bmp"}));
  // The second a.*.bmp (2 x 2 white) replaced the first.
  const Bitmap aMod = LoadBitmap(dir.file("a_mod.bmp"));
  EXPECT_EQ(aMod.width, 2);
  EXPECT_EQ(aMod.fileBitCount, 8);
  EXPECT_EQ(aMod.pixels, PixelBuffer(4, 255));
  const Bitmap xMod = LoadBitmap(dir.file("x_mod_mod.bmp"));
  ASSERT_EQ(xMod.width, 3);
  // Row 0 holds bytes 0..8 times 40 (mod 256): pixel 1 is (120, 160, 200) -> 160.
  EXPECT_EQ(xMod.pixels[1], 160);
  EXPECT_EQ(testing::ReadBytes(dir.file("x_mod_mod.bmp")).size(), 54 + 1024 + 2 * 4);
}

TEST(RunGreyComposition, AFailureKeepsEarlierFilesAndLeavesNoPartialOne) {
  TempDir dir;
  SaveBitmap(Bitmap::Colour(2, 2), dir.file("one.bmp"));
  dir.write("two.bmp", "not a bitmap");
  SaveBitmap(Bitmap::Colour(2, 2), dir.file("three.bmp"));
  try {
    RunGreyComposition(dir.path(), {"one.bmp", "two.bmp", "three.bmp"}, {});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QString::fromUtf8(messages::kBitmapNotValid));
  }
  EXPECT_EQ(dir.entries(), (QStringList{"one.bmp", "one_mod.bmp", "three.bmp", "two.bmp"}));
}

testing::OutputCase GreyFile() {
  return {.prepare =
              [](const QString& folder) {
                Bitmap b = Bitmap::Colour(300, 200);
                for (std::size_t i = 0; i < b.pixels.size(); ++i)
                  b.pixels[i] = static_cast<std::uint8_t>(i * 7);
                SaveBitmap(b, folder + "/g.bmp");
              },
          .write = [](const QString& folder) { RunGreyComposition(folder, {"g.bmp"}, {.r = 20}); },
          .output = "g_mod.bmp"};
}
SKARVEL_OUTPUT_FAULT_TESTS(GreyFileOutput, GreyFile())

}  // namespace
}  // namespace skarvel
