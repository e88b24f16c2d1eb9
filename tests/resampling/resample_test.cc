// Resampling: the worked cases, the plain reference (three planes of doubles,
// long double per channel) over random pictures and sizes, the edges, and
// the batch.

#include "resampling/resample.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cmath>
#include <random>

namespace skarvel {
namespace {

using testing::TempDir;

// The operation as written: planes of doubles, every pixel computed on its own.
Bitmap Reference(const Bitmap& src, int newWidth, int newHeight, int method) {
  const int W = src.width, H = src.height;
  const double sx = static_cast<double>(static_cast<long double>(W) / newWidth);
  const double sy = static_cast<double>(static_cast<long double>(H) / newHeight);
  Bitmap out = Bitmap::Colour(newWidth, newHeight);
  auto put = [&](int n, int m, int r, int g, int b) {
    std::uint8_t* p = out.row(m) + 3 * n;
    p[0] = static_cast<std::uint8_t>(b), p[1] = static_cast<std::uint8_t>(g),
    p[2] = static_cast<std::uint8_t>(r);
  };
  if (method == 0) {
    for (int n = 0; n < newWidth; ++n)
      for (int m = 0; m < newHeight; ++m) {
        const Bgr c = src.colour(static_cast<int>(std::trunc(n * static_cast<long double>(sx))),
                                 static_cast<int>(std::trunc(m * static_cast<long double>(sy))));
        put(n, m, c.r, c.g, c.b);
      }
    return out;
  }
  std::vector<double> R(static_cast<std::size_t>(W) * H), G(R.size()), B(R.size());
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      const Bgr c = src.colour(x, y);
      R[static_cast<std::size_t>(y) * W + x] = c.r;
      G[static_cast<std::size_t>(y) * W + x] = c.g;
      B[static_cast<std::size_t>(y) * W + x] = c.b;
    }
  for (int n = 0; n < newWidth; ++n)
    for (int m = 0; m < newHeight; ++m) {
      const double x = static_cast<double>(n * static_cast<long double>(sx));
      const double y = static_cast<double>(m * static_cast<long double>(sy));
      int x0 = static_cast<int>(std::trunc(x));
      if (x0 == W - 1 && W > 1) x0 = W - 2;
      int y0 = static_cast<int>(std::trunc(y));
      if (y0 == H - 1 && H > 1) y0 = H - 2;
      const int x1 = W > 1 ? x0 + 1 : x0, y1 = H > 1 ? y0 + 1 : y0;  // a single column or row stands for both
      const double dx = x - x0, dy = y - y0;
      int channel[3];
      const std::vector<double>* planes[3] = {&R, &G, &B};
      for (int k = 0; k < 3; ++k) {
        const std::vector<double>& P = *planes[k];
        const long double P00 = P[static_cast<std::size_t>(y0) * W + x0],
                          P10 = P[static_cast<std::size_t>(y0) * W + x1],
                          P01 = P[static_cast<std::size_t>(y1) * W + x0],
                          P11 = P[static_cast<std::size_t>(y1) * W + x1];
        const long double t1 = ((1 - dy * 0.5L) * (P10 * dx)) * 0.5L;
        const long double t2 = ((P11 * dx) * dy) * 0.25L;
        const long double t3 = (((1 - dx * 0.5L) * P01) * dy) * 0.5L;
        const long double t4 = ((1 - dx * 0.5L) * P00) * (1 - dy * 0.5L);
        const long double v = ((t1 + t2) + t3) + t4;
        channel[k] = static_cast<int>(std::trunc(v));
      }
      put(n, m, channel[0], channel[1], channel[2]);
    }
  return out;
}

Bitmap RandomPicture(std::mt19937& random, int width, int height) {
  Bitmap b = Bitmap::Colour(width, height);
  for (auto& p : b.pixels) p = static_cast<std::uint8_t>(random());
  return b;
}

// Red = column mod 256, green = column / 256, blue = row: a pixel tells where it came from.
Bitmap CoordinatePicture(int width, int height) {
  Bitmap b = Bitmap::Colour(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = b.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(y), p[1] = static_cast<std::uint8_t>(x / 256),
      p[2] = static_cast<std::uint8_t>(x);
    }
  return b;
}

::testing::AssertionResult SamePixels(const Bitmap& actual, const Bitmap& expected) {
  if (actual.width != expected.width || actual.height != expected.height)
    return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height;
  for (int y = 0; y < actual.height; ++y)
    for (int x = 0; x < actual.width; ++x)
      if (!(actual.colour(x, y) == expected.colour(x, y))) {
        const Bgr a = actual.colour(x, y), e = expected.colour(x, y);
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << "): " << int(a.r) << "," << int(a.g) << "," << int(a.b)
               << " instead of " << int(e.r) << "," << int(e.g) << "," << int(e.b);
      }
  return ::testing::AssertionSuccess();
}

TEST(ResampleImage, HalvingTakesEveryOtherPixelWithEitherMethod) {
  std::mt19937 random(1);
  const Bitmap src = RandomPicture(random, 1024, 1024);
  Bitmap expected = Bitmap::Colour(512, 512);
  for (int m = 0; m < 512; ++m)
    for (int n = 0; n < 512; ++n) std::memcpy(expected.row(m) + 3 * n, src.row(2 * m) + 6 * n, 3);
  EXPECT_TRUE(SamePixels(ResampleImage(src, 512, 512, ResampleMethod::kNearest), expected));
  EXPECT_TRUE(SamePixels(ResampleImage(src, 512, 512, ResampleMethod::kBilinear), expected));
}

TEST(ResampleImage, SameSizeCopiesButBilinearBlendsTheLastColumnAndRow) {
  std::mt19937 random(2);
  Bitmap src = RandomPicture(random, 512, 512);
  EXPECT_TRUE(SamePixels(ResampleImage(src, 512, 512, ResampleMethod::kNearest), src));
  // Last column 100, the one before 51 (all channels) in row 7; the four
  // bottom right pixels 10, 20, 30, 41.
  std::memset(src.row(7) + 3 * 510, 51, 3);
  std::memset(src.row(7) + 3 * 511, 100, 3);
  std::memset(src.row(510) + 3 * 510, 10, 3);
  std::memset(src.row(510) + 3 * 511, 20, 3);
  std::memset(src.row(511) + 3 * 510, 30, 3);
  std::memset(src.row(511) + 3 * 511, 41, 3);
  const Bitmap out = ResampleImage(src, 512, 512, ResampleMethod::kBilinear);
  for (int y = 0; y < 511; ++y)
    ASSERT_EQ(0, std::memcmp(out.row(y), src.row(y), 3 * 511)) << "row " << y << " up to the last column";
  EXPECT_EQ(out.colour(511, 7), (Bgr{75, 75, 75}));    // trunc(0.5 * 100 + 0.5 * 51)
  EXPECT_EQ(out.colour(511, 511), (Bgr{25, 25, 25}));  // trunc((10 + 20 + 30 + 41) / 4)
}

TEST(ResampleImage, DoublingUsesHalvedOffsets) {
  Bitmap src = Bitmap::Colour(256, 4);
  std::memset(src.pixels.data(), 0, src.pixels.size());
  for (int y = 0; y < 4; ++y) std::memset(src.row(y) + 3, 100, 3);  // column 1 is 100, column 0 is 0
  const Bitmap bilinear = ResampleImage(src, 512, 8, ResampleMethod::kBilinear);
  const Bitmap nearest = ResampleImage(src, 512, 8, ResampleMethod::kNearest);
  EXPECT_EQ(bilinear.colour(1, 0), (Bgr{25, 25, 25}));  // not 50: dx = 0.5 enters halved
  EXPECT_EQ(nearest.colour(1, 0), (Bgr{0, 0, 0}));
  EXPECT_EQ(bilinear.colour(2, 0), (Bgr{100, 100, 100}));
}

TEST(ResampleImage, NonDyadicStepsPickTheTruncatedPositions) {
  // 600 x 400 to 512 x 512: sx = 1.171875 and sy = 0.78125, both exact.
  const Bitmap out = ResampleImage(CoordinatePicture(600, 400), 512, 512, ResampleMethod::kNearest);
  auto source = [&](int n, int m) {
    const Bgr c = out.colour(n, m);
    return std::pair<int, int>(c.r + 256 * c.g, c.b);
  };
  EXPECT_EQ(source(3, 3), (std::pair<int, int>(3, 2)));                // 3.515625, 2.34375
  EXPECT_EQ(source(511, 511), (std::pair<int, int>(598, 399 % 256)));  // 598.828125, 399.21875
  EXPECT_EQ(source(256, 128), (std::pair<int, int>(300, 100)));
}

TEST(ResampleImage, AgreesWithTheReferenceOverRandomPicturesAndSizes) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> size(1, 40);
  for (int round = 0; round < 150; ++round) {
    const int w = size(random), h = size(random), nw = size(random) * (round % 3 ? 1 : 3), nh = size(random);
    Bitmap src = RandomPicture(random, w, h);
    if (round % 4 == 0) {  // an indexed source resamples its palette colours
      Bitmap indexed = Bitmap::Indexed(w, h, {});
      for (auto& c : indexed.palette)
        c = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
             static_cast<std::uint8_t>(random())};
      for (auto& p : indexed.pixels) p = static_cast<std::uint8_t>(random());
      src = indexed;
    }
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " to " << nw << "x" << nh);
    ASSERT_TRUE(SamePixels(ResampleImage(src, nw, nh, ResampleMethod::kNearest), Reference(src, nw, nh, 0)));
    ASSERT_TRUE(SamePixels(ResampleImage(src, nw, nh, ResampleMethod::kBilinear), Reference(src, nw, nh, 1)));
  }
}

// Random colours with flat patches: where the four neighbours are equal the
// exact weighting is an integer, which extended precision may miss by a hair.
Bitmap PatchyPicture(std::mt19937& random, int width, int height) {
  Bitmap b = RandomPicture(random, width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((x / 7 + y / 5) % 3 == 0) std::memset(b.row(y) + 3 * x, 100 + (x / 7) % 50, 3);
  return b;
}

TEST(ResampleImage, LargerPicturesAtDyadicAndOtherStepsAgreeWithTheReference) {
  // The benchmark's steps scaled down (6000 x 4000 to 3000 x 2000, 2900 x 1900
  // and 4096 x 4096), an enlargement, and results large enough to be shared
  // out between threads.
  struct Case {
    int w, h, nw, nh;
  };
  std::mt19937 random(9);
  for (const Case& c : {Case{600, 400, 300, 200}, Case{600, 400, 290, 190}, Case{600, 400, 512, 512},
                        Case{300, 200, 1000, 600}, Case{777, 333, 1013, 541}, Case{64, 900, 700, 1100}}) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " to " << c.nw << "x" << c.nh);
    const Bitmap src = PatchyPicture(random, c.w, c.h);
    ASSERT_TRUE(
        SamePixels(ResampleImage(src, c.nw, c.nh, ResampleMethod::kBilinear), Reference(src, c.nw, c.nh, 1)));
    ASSERT_TRUE(
        SamePixels(ResampleImage(src, c.nw, c.nh, ResampleMethod::kNearest), Reference(src, c.nw, c.nh, 0)));
  }
  // An indexed source large enough for threads.
  Bitmap indexed = Bitmap::Indexed(500, 400, {});
  for (auto& c : indexed.palette)
    c = {static_cast<std::uint8_t>(random()), 7, static_cast<std::uint8_t>(random())};
  for (auto& p : indexed.pixels) p = static_cast<std::uint8_t>(random() % 4);
  ASSERT_TRUE(SamePixels(ResampleImage(indexed, 900, 700, ResampleMethod::kBilinear),
                         Reference(indexed, 900, 700, 1)));
  ASSERT_TRUE(SamePixels(ResampleImage(indexed, 900, 700, ResampleMethod::kNearest),
                         Reference(indexed, 900, 700, 0)));
}

TEST(ResampleImage, DyadicStepsAgreeWithTheReference) {
  // Steps W / 2^k and their multiples: offsets with few binary digits, for
  // which the weighting is computed in integers; mixed with steps that have
  // many digits in the other direction, 1-pixel sources and indexed ones.
  std::mt19937 random(11);
  std::uniform_int_distribution<int> size(1, 50), power(0, 9), pick(0, 3);
  for (int round = 0; round < 120; ++round) {
    const int w = size(random), h = size(random);
    auto newSize = [&](int source) {
      switch (pick(random)) {
        case 0:
          return source * (1 + pick(random));  // 1, 1/2, 1/3 or 1/4
        case 1:
          return std::max(1, source / 2);
        default:
          return 1 << power(random);
      }
    };
    const int nw = newSize(w), nh = newSize(h);
    Bitmap src = round % 5 == 0 ? PatchyPicture(random, w, h) : RandomPicture(random, w, h);
    if (round % 7 == 0) {
      Bitmap indexed = Bitmap::Indexed(w, h, {});
      for (auto& c : indexed.palette) c = {static_cast<std::uint8_t>(random()), 0, 255};
      for (auto& p : indexed.pixels) p = static_cast<std::uint8_t>(random() % 3);
      src = indexed;
    }
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " to " << nw << "x" << nh);
    ASSERT_TRUE(SamePixels(ResampleImage(src, nw, nh, ResampleMethod::kBilinear), Reference(src, nw, nh, 1)));
  }
  // 6000 x 4000 to 4096 x 4096 scaled down by 16 (steps 375/256 and 125/128).
  const Bitmap patchy = PatchyPicture(random, 375, 250);
  ASSERT_TRUE(
      SamePixels(ResampleImage(patchy, 256, 256, ResampleMethod::kBilinear), Reference(patchy, 256, 256, 1)));
}

TEST(ResampleImage, OffsetsWithTwentyTwoBinaryDigitsStillAgree) {
  // 3 x 5 to 2048 x 2048: offsets with 11 binary digits each way, the most
  // the integer weighting takes; white stays white (the largest sums), and
  // random colours agree with the reference. One digit more (4096 wide) is
  // computed the other way and agrees too.
  // Both with the processor's wide vector instructions and without.
  std::mt19937 random(12);
  const Bitmap src = RandomPicture(random, 3, 5);
  const Bitmap expected = Reference(src, 2048, 2048, 1);
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "wide vectors" : "plain vectors");
    AllowWideVectors(wide);
    const Bitmap white = ResampleImage(Bitmap::Colour(3, 5), 2048, 2048, ResampleMethod::kBilinear);
    for (std::uint8_t byte : white.pixels) ASSERT_EQ(byte, 255);
    EXPECT_TRUE(SamePixels(ResampleImage(src, 2048, 2048, ResampleMethod::kBilinear), expected));
    const Bitmap patchy = PatchyPicture(random, 375, 250);
    EXPECT_TRUE(SamePixels(ResampleImage(patchy, 256, 256, ResampleMethod::kBilinear),
                           Reference(patchy, 256, 256, 1)));
  }
  AllowWideVectors(true);
  ASSERT_TRUE(
      SamePixels(ResampleImage(src, 4096, 2048, ResampleMethod::kBilinear), Reference(src, 4096, 2048, 1)));
}

TEST(ResampleImage, OnePixelWideOrHighSourcesUseTheirOneColumnOrRow) {
  Bitmap column = Bitmap::Colour(1, 2);
  std::memset(column.row(0), 0, 3);
  std::memset(column.row(1), 100, 3);
  // sy = 0.5: y = 0, 0.5, 1, 1.5 with y0 = 0 and dy = 0, 0.5, 1, 1.5: 0, 25, 50, 75.
  const Bitmap out = ResampleImage(column, 3, 4, ResampleMethod::kBilinear);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(out.colour(n, 0).g, 0);
    EXPECT_EQ(out.colour(n, 1).g, 25);
    EXPECT_EQ(out.colour(n, 2).g, 50);
    EXPECT_EQ(out.colour(n, 3).g, 75);
  }
  Bitmap single = Bitmap::Colour(1, 1);
  std::memset(single.pixels.data(), 64, 3);
  const Bitmap big = ResampleImage(single, 5, 5, ResampleMethod::kBilinear);
  EXPECT_EQ(big.colour(0, 0), (Bgr{64, 64, 64}));
  EXPECT_TRUE(SamePixels(big, Reference(single, 5, 5, 1)));
}

TEST(ResampleImage, AZeroSizeIsTheDivisionsErrorAndANegativeOneIsRefused) {
  const Bitmap src = Bitmap::Colour(4, 4);
  // The scale step W / newWidth (then H / newHeight) divides by the zero.
  for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    EXPECT_EQ(testing::ErrorOf([&] { ResampleImage(src, w, h, ResampleMethod::kBilinear); }),
              "Floating point division by zero")
        << w << "x" << h;
  }
  // Nothing loaded: 0 / 0 is an invalid operation.
  EXPECT_EQ(testing::ErrorOf([] { ResampleImage(Bitmap{}, 0, 5, ResampleMethod::kNearest); }),
            "Invalid floating point operation");
  for (auto [w, h] : {std::pair{-3, 5}, std::pair{5, -1}, std::pair{-1, 0}}) {
    const QString error = testing::ErrorOf([&] { ResampleImage(src, w, h, ResampleMethod::kBilinear); });
    EXPECT_TRUE(error.contains(QStringLiteral("не меньше 1"))) << error.toStdString();
  }
}

TEST(ResampleImage, RefusesResultsBeyondTheLimitBeforeMakingTheirTables) {
  const Bitmap src = Bitmap::Colour(4, 4);
  for (auto [w, h] : {std::pair{100000, 100000}, std::pair{1, 67108864}, std::pair{67108864, 1}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    // 1 x 67108864 pixels take 192 MB, but one row table entry each would be
    // gigabytes; streamed into a file or made as a picture, alike.
    for (int method : {0, 1}) {
      const QString error =
          testing::ErrorOf([&] { ResampleImage(src, w, h, static_cast<ResampleMethod>(method)); });
      EXPECT_TRUE(error.contains(QStringLiteral("слишком велико"))) << error.toStdString();
    }
    TempDir dir;
    SaveBitmap(src, dir.file("s.bmp"));
    BatchObserver streamed;
    streamed.saved = [](const QString&) {};
    const QString error = testing::ErrorOf([&] {
      RunResampling(dir.path(), {"s.bmp"}, QString::number(w), QString::number(h), ResampleMethod::kBilinear,
                    streamed);
    });
    EXPECT_TRUE(error.contains(QStringLiteral("слишком велико"))) << error.toStdString();
    EXPECT_EQ(dir.entries(), QStringList{"s.bmp"});
  }
  // A tall, narrow result within the limit is still made.
  EXPECT_EQ(ResampleImage(src, 1, 1 << 16, ResampleMethod::kBilinear).height, 1 << 16);
}

TEST(RunResampling, WritesBesideTheSourcesAndStopsAtTheFirstError) {
  TempDir dir;
  std::mt19937 random(5);
  const Bitmap a = RandomPicture(random, 20, 10);
  SaveBitmap(a, dir.file("aerial.day1.bmp"));
  SaveBitmap(Bitmap::Colour(3, 3), dir.file("b.bmp"));
  QStringList written;
  RunResampling(dir.path(), {"aerial.day1.bmp"}, " 10", "+5", ResampleMethod::kNearest,
                {nullptr, [&](const QString& f, const Bitmap&) { written << f; }, nullptr});
  EXPECT_EQ(written, QStringList{dir.path() + "/aerial_transform.bmp"});
  EXPECT_TRUE(SamePixels(LoadBitmap(dir.file("aerial_transform.bmp")), Reference(a, 10, 5, 0)));

  // A width of 0 ends the run at b.bmp before anything is written for it; a.bmp stays.
  EXPECT_THROW(RunResampling(dir.path(), {"aerial.day1.bmp", "b.bmp"}, "0", "5", ResampleMethod::kBilinear),
               Error);
  EXPECT_FALSE(dir.entries().contains("b_transform.bmp"));
  // A text that is not an integer: the conversion error, after the load.
  QStringList loaded;
  try {
    RunResampling(dir.path(), {"b.bmp"}, "12px", "5", ResampleMethod::kBilinear,
                  {[&](const QString& e, const std::shared_ptr<const Bitmap>&) { loaded << e; }, nullptr, nullptr});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("'12px' is not a valid integer value"));
  }
  EXPECT_EQ(loaded, QStringList{"b.bmp"});
  EXPECT_EQ(dir.entries(), (QStringList{"aerial.day1.bmp", "aerial_transform.bmp", "b.bmp"}));
}

TEST(RunResampling, WithoutAWrittenCallbackTheFileIsTheSame) {
  // Results of more than 4 MB go to the file in several bands; the files
  // agree with the reference at dyadic and other steps, with either method,
  // and the names come to the `saved` callback.
  TempDir dir;
  std::mt19937 random(13);
  const Bitmap src = PatchyPicture(random, 650, 550);
  SaveBitmap(src, dir.file("s.bmp"));
  struct Case {
    int nw, nh;
  };
  for (const Case& c : {Case{1300, 1100}, Case{1299, 1101}, Case{1, 1}}) {
    for (int method : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << c.nw << "x" << c.nh << " method " << method);
      QStringList saved;
      BatchObserver observer;
      observer.saved = [&](const QString& f) { saved << f; };
      RunResampling(dir.path(), {"s.bmp"}, QString::number(c.nw), QString::number(c.nh),
                    static_cast<ResampleMethod>(method), observer);
      EXPECT_EQ(saved, QStringList{dir.path() + "/s_transform.bmp"});
      ASSERT_TRUE(SamePixels(LoadBitmap(dir.file("s_transform.bmp")), Reference(src, c.nw, c.nh, method)));
    }
  }
  // With a `written` callback too, both are told, the picture is the file's.
  QStringList saved;
  Bitmap told;
  RunResampling(
      dir.path(), {"s.bmp"}, "1300", "1100", ResampleMethod::kBilinear,
      {nullptr, [&](const QString&, const Bitmap& b) { told = b; }, [&](const QString& f) { saved << f; }});
  EXPECT_EQ(saved.size(), 1);
  ASSERT_TRUE(SamePixels(told, LoadBitmap(dir.file("s_transform.bmp"))));
  ASSERT_TRUE(SamePixels(told, Reference(src, 1300, 1100, 1)));
  // A width of 0 writes nothing.
  ASSERT_TRUE(QFile::remove(dir.file("s_transform.bmp")));
  BatchObserver onlySaved;
  onlySaved.saved = [&](const QString& f) { saved << f; };
  EXPECT_THROW(RunResampling(dir.path(), {"s.bmp"}, "0", "5", ResampleMethod::kBilinear, onlySaved), Error);
  EXPECT_EQ(dir.entries(), QStringList{"s.bmp"});
  EXPECT_EQ(saved.size(), 1);
}

// The resampled file, 1 MB, computed straight into the file band by band
// (the command line's way) or as a picture first (the window's way).
testing::OutputCase ResampledFile(bool asPicture) {
  return {.prepare =
              [](const QString& folder) {
                std::mt19937 random(3);
                SaveBitmap(RandomPicture(random, 300, 200), folder + "/s.bmp");
              },
          .write =
              [asPicture](const QString& folder) {
                BatchObserver observer;
                if (asPicture) observer.written = [](const QString&, const Bitmap&) {};
                RunResampling(folder, {"s.bmp"}, "700", "500", ResampleMethod::kBilinear, observer);
              },
          .output = "s_transform.bmp"};
}
SKARVEL_OUTPUT_FAULT_TESTS(ResampledFileOutput, ResampledFile(false))
SKARVEL_OUTPUT_FAULT_TESTS(ResampledPictureOutput, ResampledFile(true))

}  // namespace
}  // namespace skarvel
