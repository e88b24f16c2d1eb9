// Grey composition: the worked cases, the plain long double reference over
// many random pixels and settings, the source formats, and the batch.

#include "colour/grey.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/bmp_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

namespace skarvel {
namespace {

using testing::TempDir;

// The formula as written, step by step, in extended precision.
int ReferenceGrey(int b0, int b1, int b2, int r, int g, int b, int contrast) {
  const double kR = static_cast<double>(static_cast<long double>(r) * 0.01L + 1.0L);
  const double kG = static_cast<double>(static_cast<long double>(g) * 0.01L + 1.0L);
  const double kB = static_cast<double>(static_cast<long double>(b) * 0.01L + 1.0L);
  const double K = static_cast<double>(static_cast<long double>(contrast) * 0.02L);
  const double t = 0.3333333333333333;  // the double nearest to 1/3
  long double s = static_cast<long double>(b0) * kR;
  s = s + static_cast<long double>(b1) * kG;
  s = s + static_cast<long double>(b2) * kB;
  s = s * t;
  long double e = s - 127;
  e = e * K;
  e = e + 127;
  double v = static_cast<double>(e);
  if (v > 255)
    v = 255;
  else if (!(v >= 0))
    v = 0;
  return static_cast<int>(std::trunc(v));
}

int Grey(int b0, int b1, int b2, ChannelSettings s = {}) { return GreyLevel(b0, b1, b2, MakeGreyFactors(s)); }

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

TEST(GreyLevel, AgreesWithTheReferenceOverRandomPixelsAndSettings) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255), channel(kChannelMin, kChannelMax),
      contrast(kContrastMin, kContrastMax);
  for (int round = 0; round < 400; ++round) {
    const ChannelSettings s{channel(random), channel(random), channel(random), contrast(random)};
    const GreyFactors f = MakeGreyFactors(s);
    for (int i = 0; i < 500; ++i) {
      const int b0 = byte(random), b1 = byte(random), b2 = byte(random);
      ASSERT_EQ(GreyLevel(b0, b1, b2, f), ReferenceGrey(b0, b1, b2, s.r, s.g, s.b, s.contrast))
          << b0 << "," << b1 << "," << b2 << " at " << s.r << "," << s.g << "," << s.b << "," << s.contrast;
    }
  }
  // Equal bytes at every contrast: the values that lie on integers in exact arithmetic.
  for (int c = kContrastMin; c <= kContrastMax; ++c)
    for (int p = 0; p < 256; ++p)
      ASSERT_EQ(Grey(p, p, p, {.contrast = c}), ReferenceGrey(p, p, p, 0, 0, 0, c));
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

// The index of the first triple whose level differs from the reference, or
// -1; the reference is spread over the cores on threads of the test's own.
long long FirstDifference(const Bitmap& grey, const ChannelSettings& s) {
  std::atomic<long long> first{-1};
  const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      const std::uint32_t begin = (1u << 24) / threads * t;
      const std::uint32_t end = t + 1 == threads ? (1u << 24) : (1u << 24) / threads * (t + 1);
      for (std::uint32_t i = begin; i < end; ++i)
        if (grey.pixels[i] != ReferenceGrey(i & 0xFF, (i >> 8) & 0xFF, i >> 16, s.r, s.g, s.b, s.contrast)) {
          long long expected = -1;
          first.compare_exchange_strong(expected, i);
          return;
        }
    });
  for (std::thread& thread : pool) thread.join();
  return first;
}

TEST(ComposeGrey, EveryColourTripleAgreesWithTheReference) {
  // Defaults and other equal weights (the sum table), weights that put a third
  // of all values on integers (1, 1, 2), the worked contrasts 0, 75 and 500,
  // and arbitrary ones.
  const ChannelSettings settings[] = {
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
  Bitmap grey;
  for (const ChannelSettings& s : settings) {
    ComposeGrey(EveryTriple(), s, grey);
    ASSERT_EQ(grey.width, 4096);
    const long long i = FirstDifference(grey, s);
    EXPECT_EQ(i, -1) << "bytes " << (i & 0xFF) << ", " << ((i >> 8) & 0xFF) << ", " << (i >> 16) << " at "
                     << s.r << ", " << s.g << ", " << s.b << ", " << s.contrast;
  }
}

TEST(ComposeGrey, RandomPicturesSettingsAndSourceKindsAgreeWithTheReference) {
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
        ASSERT_EQ(g24.row(y)[x], ReferenceGrey(c.b, c.g, c.r, s.r, s.g, s.b, s.contrast)) << x << "," << y;
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
        ASSERT_EQ(g8.row(y)[x], ReferenceGrey(p, p, p, s.r, s.g, s.b, s.contrast));
        ASSERT_EQ(g4.row(y)[x], ReferenceGrey(c.b, c.g, c.r, s.r, s.g, s.b, s.contrast));
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
  EXPECT_EQ(g24.pixels[0], ReferenceGrey(10, 20, 30, 37, -12, 150, 73));
  EXPECT_EQ(g24.pixels[1], ReferenceGrey(200, 100, 0, 37, -12, 150, 73));

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
  EXPECT_EQ(ComposeGrey(four, s).pixels[0], ReferenceGrey(30, 60, 90, 37, -12, 150, 73));
  EXPECT_EQ(ComposeGrey(thirtyTwo, s).pixels[0], ReferenceGrey(30, 60, 90, 37, -12, 150, 73));
  EXPECT_EQ(ComposeGrey(sixteenBit, {}).pixels[0], 255);
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
                     {[&](const QString& e, const Bitmap&) { loaded << e; },
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

}  // namespace
}  // namespace skarvel
