// Loading bitmap files: every pixel format, run-length coding with skipped
// pixels, hostile files, and the external corpus when it is present.

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/bmp_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include <random>

namespace skarvel {
namespace {

using testing::BmpLayout;
using testing::MakeBmp;
using testing::MakeRleBmp;
using testing::TempDir;

Bgr Rgb(int r, int g, int b) {
  return {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
}

std::string Show(Bgr c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// Reports the first pixel whose colour differs from `expected` (rows from the top).
::testing::AssertionResult ColoursAre(const Bitmap& b, int width, int height,
                                      const std::vector<Bgr>& expected) {
  if (b.width != width || b.height != height)
    return ::testing::AssertionFailure() << "size " << b.width << "x" << b.height;
  if (b.pixels.size() != b.rowBytes() * static_cast<std::size_t>(height))
    return ::testing::AssertionFailure() << "pixel memory of " << b.pixels.size() << " bytes";
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (!(b.colour(x, y) == expected[static_cast<std::size_t>(y) * width + x]))
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << Show(b.colour(x, y)) << ", expected "
               << Show(expected[static_cast<std::size_t>(y) * width + x]);
  return ::testing::AssertionSuccess();
}

void ExpectNotValid(const QByteArray& bytes, const char* what) {
  try {
    DecodeBitmap(bytes);
    ADD_FAILURE() << what << ": loaded";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QString::fromUtf8(messages::kBitmapNotValid)) << what;
  }
}

TEST(LoadBitmap, PaletteFormatsKeepTheFilesIndices) {
  // 1, 4 and 8 bits at odd widths, so that rows end inside a byte and padding follows.
  const std::vector<QRgb> two = {qRgb(10, 20, 30), qRgb(250, 240, 230)};
  std::vector<QRgb> sixteen, all;
  for (int i = 0; i < 16; ++i) sixteen.push_back(qRgb(i * 16, 255 - i, i));
  for (int i = 0; i < 256; ++i) all.push_back(qRgb(i, (i * 7) & 255, 255 - i));
  struct Case {
    int bitCount;
    int width;
    std::vector<QRgb> palette;
    bool topDown;
    bool core;
  };
  for (const Case& c :
       {Case{1, 9, two, false, false}, Case{4, 5, sixteen, false, false}, Case{8, 7, all, false, false},
        Case{8, 7, all, true, false}, Case{8, 3, all, false, true}, Case{4, 3, sixteen, true, false}}) {
    SCOPED_TRACE(::testing::Message()
                 << c.bitCount << " bits, top-down " << c.topDown << ", core " << c.core);
    const int height = 3;
    std::vector<std::uint32_t> indices;
    std::vector<Bgr> colours;
    for (int i = 0; i < c.width * height; ++i) {
      const auto index = static_cast<std::uint32_t>((i * 37 + 5) % c.palette.size());
      indices.push_back(index);
      colours.push_back(Rgb(qRed(c.palette[index]), qGreen(c.palette[index]), qBlue(c.palette[index])));
    }
    const Bitmap b = DecodeBitmap(MakeBmp({.width = c.width,
                                           .height = height,
                                           .bitCount = c.bitCount,
                                           .topDown = c.topDown,
                                           .palette = c.palette,
                                           .coreHeader = c.core},
                                          indices));
    EXPECT_TRUE(ColoursAre(b, c.width, height, colours));
    EXPECT_EQ(b.fileBitCount, c.bitCount) << "read from the header, not from the reader's format";
    ASSERT_TRUE(b.indexed);
    if (c.bitCount == 8) {
      for (int i = 0; i < c.width * height; ++i) ASSERT_EQ(b.pixels[i], indices[i]) << i;
    }
  }
}

TEST(LoadBitmap, EightBitIndicesAreKeptWhateverThePaletteHolds) {
  // Every entry black: only the indices tell the pixels apart.
  const std::vector<QRgb> black(256, qRgb(0, 0, 0));
  const Bitmap b =
      DecodeBitmap(MakeBmp({.width = 4, .height = 1, .bitCount = 8, .palette = black}, {0, 7, 200, 255}));
  ASSERT_TRUE(b.indexed);
  EXPECT_EQ(std::vector<std::uint8_t>(b.pixels.begin(), b.pixels.end()),
            (std::vector<std::uint8_t>{0, 7, 200, 255}));
  EXPECT_EQ(b.colour(2, 0), Rgb(0, 0, 0));
}

TEST(LoadBitmap, ColourFormatsGiveFullRangeChannels) {
  // 24 bits: colours as they are, in a 5-pixel row (15 bytes, padded to 16).
  {
    const Bitmap b = DecodeBitmap(MakeBmp({.width = 5, .height = 2, .bitCount = 24},
                                          {0xFFFFFF, 0x000000, 0x010203, 0xFF8000, 0x7F7F7F,  //
                                           0x102030, 0xA0B0C0, 0x00FF00, 0x0000FF, 0xFE0001}));
    EXPECT_EQ(b.fileBitCount, 24);
    EXPECT_FALSE(b.indexed);
    EXPECT_TRUE(
        ColoursAre(b, 5, 2,
                   {Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(1, 2, 3), Rgb(255, 128, 0), Rgb(127, 127, 127),
                    Rgb(16, 32, 48), Rgb(160, 176, 192), Rgb(0, 255, 0), Rgb(0, 0, 255), Rgb(254, 0, 1)}));
  }
  // 16 bits, 5-5-5 without masks: a 5-bit value q becomes round(q * 255 / 31),
  // so 31 is 255 (white stays white), 16 is 132, 1 is 8.
  {
    const std::uint32_t white = 0x7FFF, q16 = (16 << 10) | (1 << 5) | 31, black = 0;
    const Bitmap b = DecodeBitmap(MakeBmp({.width = 3, .height = 1, .bitCount = 16}, {white, q16, black}));
    EXPECT_EQ(b.fileBitCount, 16);
    EXPECT_TRUE(ColoursAre(b, 3, 1, {Rgb(255, 255, 255), Rgb(132, 8, 255), Rgb(0, 0, 0)}));
  }
  // 16 bits, 5-6-5 bit fields: green has 6 bits, 32 of 63 is round(129.52) = 130.
  {
    const std::uint32_t px = (31u << 11) | (32u << 5) | 0u;
    const Bitmap b = DecodeBitmap(MakeBmp(
        {.width = 2, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}},
        {px, 0xFFFF}));
    EXPECT_TRUE(ColoursAre(b, 2, 1, {Rgb(255, 130, 0), Rgb(255, 255, 255)}));
  }
  // 32 bits: B, G, R, unused byte; and with bit fields in another order.
  {
    const Bitmap raw = DecodeBitmap(MakeBmp({.width = 2, .height = 2, .bitCount = 32, .topDown = true},
                                            {0xAA112233, 0x00FFFFFF, 0x00000001, 0x12345678}));
    EXPECT_EQ(raw.fileBitCount, 32);
    EXPECT_TRUE(ColoursAre(raw, 2, 2,
                           {Rgb(0x11, 0x22, 0x33), Rgb(255, 255, 255), Rgb(0, 0, 1), Rgb(0x34, 0x56, 0x78)}));
    const Bitmap fields = DecodeBitmap(MakeBmp({.width = 1,
                                                .height = 1,
                                                .bitCount = 32,
                                                .compression = 3,
                                                .masks = {0x000000FF, 0x0000FF00, 0x00FF0000}},
                                               {0x00123456}));
    EXPECT_TRUE(ColoursAre(fields, 1, 1, {Rgb(0x56, 0x34, 0x12)}));
  }
}

TEST(LoadBitmap, PixelsThatRunLengthCodesSkipTakePaletteIndexZero) {
  std::vector<QRgb> palette(256, qRgb(0, 0, 0));
  palette[0] = qRgb(9, 9, 9);
  palette[5] = qRgb(50, 50, 50);
  palette[6] = qRgb(60, 60, 60);
  const Bgr c0 = Rgb(9, 9, 9), c5 = Rgb(50, 50, 50), c6 = Rgb(60, 60, 60);
  // 6 x 3, bottom row first: two 5s, a jump 3 right and 1 up, one 6, end of line
  // (the rest of that row skipped), end of picture (the top row skipped).
  const QByteArray rle8 = QByteArray::fromHex("0205 00020301 0106 0000 0001");
  const Bitmap b8 = DecodeBitmap(
      MakeRleBmp({.width = 6, .height = 3, .bitCount = 8, .compression = 1, .palette = palette}, rle8));
  EXPECT_EQ(b8.fileBitCount, 8);
  EXPECT_TRUE(ColoursAre(b8, 6, 3,
                         {c0, c0, c0, c0, c0, c0,  //
                          c0, c0, c0, c0, c0, c6,  //
                          c5, c5, c0, c0, c0, c0}));
  // Four bits: a literal run 5 6 5, then end of picture.
  const QByteArray rle4 = QByteArray::fromHex("0003 5650 0001");
  const Bitmap b4 = DecodeBitmap(MakeRleBmp({.width = 4,
                                             .height = 2,
                                             .bitCount = 4,
                                             .compression = 2,
                                             .palette = {palette.begin(), palette.begin() + 16}},
                                            rle4));
  EXPECT_EQ(b4.fileBitCount, 4);
  EXPECT_TRUE(ColoursAre(b4, 4, 2, {c0, c0, c0, c0, c5, c6, c5, c0}));
}

TEST(LoadBitmap, HostileFilesAreRefusedWithoutHugeAllocations) {
  const QByteArray good =
      MakeBmp({.width = 4, .height = 4, .bitCount = 24}, std::vector<std::uint32_t>(16, 0x808080));
  ASSERT_NO_THROW(DecodeBitmap(good));
  ExpectNotValid(good.left(good.size() - 1), "pixel data one byte short");
  ExpectNotValid(good.left(54), "no pixel data");
  ExpectNotValid(QByteArray(), "empty file");
  ExpectNotValid(QByteArray("BM"), "two bytes");
  QByteArray notBm = good;
  notBm[0] = 'X';
  ExpectNotValid(notBm, "no BM signature");
  auto patched = [&](int at, std::uint32_t v) {
    QByteArray b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
  };
  ExpectNotValid(patched(10, 1u << 20), "pixel offset past the end");
  ExpectNotValid(patched(10, 0xFFFFFFFFu), "pixel offset at 4 GB");
  ExpectNotValid(patched(18, 0), "width 0");
  ExpectNotValid(patched(18, 0x80000000u), "most negative width");
  ExpectNotValid(patched(22, 0), "height 0");
  ExpectNotValid(patched(22, 0x80000000u), "most negative height");
  ExpectNotValid(patched(14, 0xFFFFFF00u), "header size beyond the file");
  // 30000 x 30000 pixels in a 100-byte file: refused before anything is allocated.
  QByteArray absurd = patched(18, 30000);
  for (int i = 0; i < 4; ++i) absurd[22 + i] = static_cast<char>((30000 >> (8 * i)) & 0xFF);
  ExpectNotValid(absurd, "absurd size, uncompressed");
  QByteArray bits = good;
  bits[28] = 7;
  ExpectNotValid(bits, "7 bits per pixel");
  const QByteArray bigRle = MakeRleBmp(
      {.width = 60000, .height = 60000, .bitCount = 8, .compression = 1, .palette = std::vector<QRgb>(256)},
      QByteArray::fromHex("0001"));
  ExpectNotValid(bigRle, "absurd size, run-length coded");
  const QByteArray rleTopDown = MakeRleBmp({.width = 2,
                                            .height = 2,
                                            .bitCount = 8,
                                            .topDown = true,
                                            .compression = 1,
                                            .palette = std::vector<QRgb>(256)},
                                           QByteArray::fromHex("0001"));
  ExpectNotValid(rleTopDown, "run-length coding top-down");
  const QByteArray jpeg =
      MakeRleBmp({.width = 2, .height = 2, .bitCount = 24, .compression = 4}, QByteArray(64, '\xFF'));
  ExpectNotValid(jpeg, "embedded JPEG");
}

TEST(LoadBitmap, RandomDamageNeverCrashesOrLeavesMemoryUndefined) {
  // Flipped bytes in the headers and data of valid files: each load either
  // fails with the message or gives a picture whose memory is all its own.
  std::mt19937 random(4);
  std::vector<std::uint32_t> pixels(64);
  for (auto& p : pixels) p = random() & 0xFF;
  std::vector<QRgb> palette(256);
  for (auto& c : palette) c = random() & 0xFFFFFF;
  const QByteArray sources[] = {
      MakeBmp({.width = 8, .height = 8, .bitCount = 8, .palette = palette}, pixels),
      MakeBmp({.width = 8, .height = 8, .bitCount = 24}, pixels),
      MakeBmp({.width = 8, .height = 8, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x7E0, 0x1F}},
              pixels),
      MakeRleBmp({.width = 8, .height = 8, .bitCount = 8, .compression = 1, .palette = palette},
                 QByteArray::fromHex("0805 0000 04010203 0406 0001")),
  };
  int loaded = 0, refused = 0;
  for (const QByteArray& source : sources)
    for (int round = 0; round < 300; ++round) {
      QByteArray damaged = source;
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips; ++i) {
        const auto at = static_cast<qsizetype>(random() % (round % 2 ? 60 : damaged.size()));
        damaged[at] = static_cast<char>(random());
      }
      try {
        const Bitmap b = DecodeBitmap(damaged);
        ASSERT_EQ(b.pixels.size(), b.rowBytes() * static_cast<std::size_t>(b.height));
        ++loaded;
      } catch (const Error& e) {
        ASSERT_EQ(e.message(), QString::fromUtf8(messages::kBitmapNotValid));
        ++refused;
      }
    }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

TEST(LoadBitmap, FileFailuresNameTheFile) {
  TempDir dir;
  for (const QString& name : {dir.file("missing.bmp"), QString(), dir.path()}) {
    try {
      LoadBitmap(name);
      ADD_FAILURE() << "loaded " << name.toStdString();
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), QStringLiteral("Cannot open file ") + name);
    }
  }
}

TEST(LoadBitmap, WhatTheWritersWriteLoadsBack) {
  Bitmap colour = Bitmap::Colour(7, 5);
  Bitmap grey = Bitmap::Indexed(7, 5, GreyPalette());
  std::mt19937 random(1);
  for (auto& p : colour.pixels) p = static_cast<std::uint8_t>(random());
  for (auto& p : grey.pixels) p = static_cast<std::uint8_t>(random());
  TempDir dir;
  SaveBitmap(colour, dir.file("c.bmp"));
  SaveBitmap(grey, dir.file("g.bmp"));
  const Bitmap c = LoadBitmap(dir.file("c.bmp"));
  const Bitmap g = LoadBitmap(dir.file("g.bmp"));
  EXPECT_EQ(c.pixels, colour.pixels);
  EXPECT_EQ(c.fileBitCount, 24);
  EXPECT_EQ(g.pixels, grey.pixels);
  EXPECT_EQ(g.fileBitCount, 8);
  EXPECT_EQ(g.palette, GreyPalette());
}

// ---- Direct reading of plain files ---------------------------------------------

// Both ways of reading give the same picture, or both refuse the file.
::testing::AssertionResult LoadsLikeTheReader(const Bitmap& direct, const QByteArray& bytes) {
  Bitmap reader;
  try {
    reader = DecodeBitmapWithReader(bytes);
  } catch (const Error&) {
    return ::testing::AssertionFailure() << "the reader refuses what was loaded directly";
  }
  if (direct.width != reader.width || direct.height != reader.height || direct.indexed != reader.indexed ||
      direct.fileBitCount != reader.fileBitCount)
    return ::testing::AssertionFailure() << "kind or size differs";
  if (direct.pixels != reader.pixels) return ::testing::AssertionFailure() << "pixels differ";
  if (direct.indexed && direct.palette != reader.palette)
    return ::testing::AssertionFailure() << "palette differs";
  return ::testing::AssertionSuccess();
}

void ExpectSameOutcome(const QByteArray& bytes, const TempDir& dir) {
  const QString file = dir.write("f.bmp", bytes);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way ? "from the file" : "from memory");
    try {
      const Bitmap direct = way ? LoadBitmap(file) : DecodeBitmap(bytes);
      EXPECT_TRUE(LoadsLikeTheReader(direct, bytes));
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), QString::fromUtf8(messages::kBitmapNotValid));
      EXPECT_THROW(DecodeBitmapWithReader(bytes), Error) << "refused, but the reader loads it";
    }
  }
}

void PutU32(QByteArray& b, int at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

TEST(LoadBitmap, PlainFilesReadDirectlyLoadExactlyAsThroughTheReader) {
  std::mt19937 random(12);
  TempDir dir;
  for (int round = 0; round < 120; ++round) {
    const int bitCount = round % 2 ? 24 : 8;
    const int width = 1 + static_cast<int>(random() % 37), height = 1 + static_cast<int>(random() % 9);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (auto& p : pixels) p = random() & (bitCount == 8 ? 0xFF : 0xFFFFFF);
    std::vector<QRgb> palette;
    if (bitCount == 8) palette.resize(round % 3 == 0 ? 256 : 1 + random() % 255);
    for (auto& c : palette) c = random() & 0xFFFFFF;
    QByteArray bytes = MakeBmp({.width = width,
                                .height = height,
                                .bitCount = bitCount,
                                .topDown = round % 4 < 2,
                                .palette = palette},
                               pixels);
    SCOPED_TRACE(::testing::Message()
                 << "round " << round << ": " << bitCount << " bits, " << width << "x" << height);
    ExpectSameOutcome(bytes, dir);
    // Variations of the headers: bytes between the table and the pixels,
    // trailing bytes, a colour count of 0 (all 256) or one that overlaps the
    // pixels or exceeds 256, a table entry count of 1, two planes.
    const int offset = static_cast<std::uint8_t>(bytes[10]) | static_cast<std::uint8_t>(bytes[11]) << 8;
    QByteArray gap = bytes.left(offset) + QByteArray(5, '\x7F') + bytes.mid(offset) + QByteArray(3, '\0');
    PutU32(gap, 10, static_cast<std::uint32_t>(offset + 5));
    ExpectSameOutcome(gap, dir);
    for (std::uint32_t colours : {0u, 1u, 255u, 256u, 257u, 70000u}) {
      QByteArray b = bytes;
      PutU32(b, 46, colours);
      ExpectSameOutcome(b, dir);
    }
    QByteArray planes = bytes;
    planes[26] = 2;
    ExpectSameOutcome(planes, dir);
    ExpectSameOutcome(bytes.left(bytes.size() - 1), dir);
  }
}

TEST(LoadBitmap, DamagedPlainFilesLoadAsThroughTheReaderOrAreRefused) {
  std::mt19937 random(13);
  TempDir dir;
  std::vector<std::uint32_t> pixels(60);
  for (auto& p : pixels) p = random() & 0xFFFFFF;
  std::vector<QRgb> palette(256);
  for (auto& c : palette) c = random() & 0xFFFFFF;
  const QByteArray sources[] = {
      MakeBmp({.width = 10, .height = 6, .bitCount = 24}, pixels),
      MakeBmp({.width = 10, .height = 6, .bitCount = 8, .palette = palette}, pixels)};
  for (const QByteArray& source : sources)
    for (int round = 0; round < 300; ++round) {
      QByteArray damaged = source;
      for (int i = 1 + static_cast<int>(random() % 3); i > 0; --i)
        damaged[static_cast<qsizetype>(random() % 54)] =
            static_cast<char>(random() % 3 ? random() % 4 : random());
      ExpectSameOutcome(damaged, dir);
    }
}

TEST(LoadBitmap, SixteenAndThirtyTwoBitFilesLoadExactlyAsThroughTheReader) {
  // These are decoded without the reader, which only checks them: every
  // header size, coding, plane count and damage that it refuses must be
  // refused, and every picture it takes must come out the same.
  std::mt19937 random(21);
  TempDir dir;
  const std::uint32_t infoSizes[] = {40, 40, 16, 52, 56, 64, 108, 124};
  for (int round = 0; round < 250; ++round) {
    const int bitCount = round % 2 ? 32 : 16;
    const int width = 1 + static_cast<int>(random() % 23), height = 1 + static_cast<int>(random() % 7);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (auto& p : pixels) p = random();
    BmpLayout layout{.width = width, .height = height, .bitCount = bitCount, .topDown = random() % 3 == 0};
    if (round % 3 == 0) {
      layout.compression = 3;
      layout.masks = round % 2 ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                               : std::vector<std::uint32_t>{static_cast<std::uint32_t>(random()),
                                                            static_cast<std::uint32_t>(random()),
                                                            static_cast<std::uint32_t>(random())};
    }
    layout.coreHeader = round % 11 == 0 && !layout.topDown && layout.compression == 0;
    layout.infoSize = infoSizes[random() % std::size(infoSizes)];
    const QByteArray bytes = MakeBmp(layout, pixels);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": " << bytes.left(80).toHex().constData());
    ExpectSameOutcome(bytes, dir);
    QByteArray planes = bytes;
    planes[26] = 2;
    ExpectSameOutcome(planes, dir);
    for (std::uint32_t compression : {1u, 2u, 4u, 5u, 6u}) {
      QByteArray coded = bytes;
      PutU32(coded, 30, compression);
      ExpectSameOutcome(coded, dir);
    }
    for (int damage = 0; damage < 6; ++damage) {
      QByteArray damaged = bytes;
      for (int i = 1 + static_cast<int>(random() % 3); i > 0; --i)
        damaged[static_cast<qsizetype>(random() % std::min<qsizetype>(damaged.size(), 70))] =
            static_cast<char>(random() % 3 ? random() % 4 : random());
      ExpectSameOutcome(damaged, dir);
    }
  }
  // The oldest header's 16-bit sizes, which the reader takes as signed: a
  // width of 32768 is negative, a height of 32768 reads as 32768 rows
  // top-down, one of 32769 as fewer.
  for (auto [width, height] : {std::pair{32768, 1}, std::pair{1, 32768}, std::pair{1, 32769}}) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    ExpectSameOutcome(MakeBmp({.width = width, .height = height, .bitCount = 16, .coreHeader = true},
                              std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0x7C1F)),
                      dir);
  }
}

TEST(LoadBitmap, AColourTableRunningIntoShortPixelDataIsRefused) {
  // An OS/2 header implies a 256-entry table (768 bytes), but the pixel
  // offset lies right after 4 entries. The reader takes the pixels from the
  // table's end, where this file has 10 of the 16 bytes: refused rather than
  // loaded with two rows undefined.
  const std::vector<QRgb> four(4, qRgb(1, 2, 3));
  const QByteArray small =
      MakeBmp({.width = 4, .height = 4, .bitCount = 8, .palette = four, .coreHeader = true},
              std::vector<std::uint32_t>(16, 2));
  ASSERT_EQ(small.size(), 14 + 12 + 12 + 16);
  ExpectNotValid(small + QByteArray(750, '\1'), "pixels after the table cut short");
  // With all 16 bytes after the table it loads (from there, as the reader does).
  const Bitmap b = DecodeBitmap(small + QByteArray(756, '\1'));
  EXPECT_EQ(b.pixels, PixelBuffer(16, 1));
}

// ---- The external corpus ----------------------------------------------------

QString CorpusDir() {
  const QString data = testing::TestDataDir();
  if (data.isEmpty() || !QDir(data + "/bmpsuite").exists()) return {};
  return data + "/bmpsuite";
}

// An independent reading of an uncompressed 8- or 24-bit bottom-up file with a
// 40-byte or longer header: the colours straight from its bytes.
std::vector<Bgr> PlainDecode(const QByteArray& f, int* width, int* height) {
  auto u32 = [&](int at) {
    return static_cast<std::uint32_t>(
        static_cast<std::uint8_t>(f[at]) | static_cast<std::uint8_t>(f[at + 1]) << 8 |
        static_cast<std::uint8_t>(f[at + 2]) << 16 | static_cast<std::uint8_t>(f[at + 3]) << 24);
  };
  const int offset = static_cast<int>(u32(10)), headerSize = static_cast<int>(u32(14));
  *width = static_cast<int>(u32(18));
  *height = static_cast<int>(u32(22));
  const int bitCount = static_cast<std::uint8_t>(f[28]);
  const int rowBytes = (*width * bitCount + 31) / 32 * 4;
  std::vector<Bgr> out;
  for (int y = 0; y < *height; ++y)
    for (int x = 0; x < *width; ++x) {
      const int at = offset + (*height - 1 - y) * rowBytes + x * bitCount / 8;
      if (bitCount == 24) {
        out.push_back({static_cast<std::uint8_t>(f[at]), static_cast<std::uint8_t>(f[at + 1]),
                       static_cast<std::uint8_t>(f[at + 2])});
      } else {
        const int entry = 14 + headerSize + 4 * static_cast<std::uint8_t>(f[at]);
        out.push_back({static_cast<std::uint8_t>(f[entry]), static_cast<std::uint8_t>(f[entry + 1]),
                       static_cast<std::uint8_t>(f[entry + 2])});
      }
    }
  return out;
}

TEST(BmpCorpus, GoodFilesLoadWithTheRightPixels) {
  const QString dir = CorpusDir();
  if (dir.isEmpty()) GTEST_SKIP() << testing::kTestDataAbsent << "the BMP corpus ../shared/testdata/bmpsuite";
  auto load = [&](const char* name) { return LoadBitmap(dir + "/g/" + name); };
  int w = 0, h = 0;
  const std::vector<Bgr> rgb24 = PlainDecode(testing::ReadBytes(dir + "/g/rgb24.bmp"), &w, &h);
  const std::vector<Bgr> pal8 = PlainDecode(testing::ReadBytes(dir + "/g/pal8.bmp"), &w, &h);
  ASSERT_EQ(w, 127);
  ASSERT_EQ(h, 64);
  // Other codings of the same picture give exactly the same colours.
  for (const char* name : {"rgb24.bmp", "rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(ColoursAre(load(name), 127, 64, rgb24));
  }
  const Bitmap pal8Bitmap = load("pal8.bmp");
  for (const char* name : {"pal8.bmp", "pal8-0.bmp", "pal8os2.bmp", "pal8rle.bmp", "pal8topdown.bmp",
                           "pal8v4.bmp", "pal8v5.bmp"}) {
    SCOPED_TRACE(name);
    const Bitmap b = load(name);
    EXPECT_TRUE(ColoursAre(b, 127, 64, pal8));
    EXPECT_EQ(b.fileBitCount, 8);
    EXPECT_EQ(b.pixels, pal8Bitmap.pixels) << "palette indices";
  }
  const Bitmap pal4 = load("pal4.bmp");
  EXPECT_EQ(pal4.fileBitCount, 4);
  std::vector<Bgr> pal4Colours;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 127; ++x) pal4Colours.push_back(pal4.colour(x, y));
  EXPECT_TRUE(ColoursAre(load("pal4rle.bmp"), 127, 64, pal4Colours));
  // 16-bit files: 5- and 6-bit channels widened to the full range stay within
  // half a step (255 / 31 / 2 < 4.2) of the 24-bit picture's channels.
  for (const char* name : {"rgb16.bmp", "rgb16bfdef.bmp", "rgb16-565.bmp", "rgb16-565pal.bmp"}) {
    SCOPED_TRACE(name);
    const Bitmap b = load(name);
    ASSERT_EQ(b.width, 127);
    ASSERT_EQ(b.height, 64);
    EXPECT_EQ(b.fileBitCount, 16);
    int worst = 0;
    bool sawWhite = false;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 127; ++x) {
        const Bgr a = b.colour(x, y), e = rgb24[static_cast<std::size_t>(y) * 127 + x];
        worst = std::max({worst, std::abs(a.r - e.r), std::abs(a.g - e.g), std::abs(a.b - e.b)});
        if (e == Rgb(255, 255, 255)) {
          sawWhite = true;
          ASSERT_EQ(a, e) << "white at (" << x << "," << y << ")";
        }
      }
    EXPECT_LE(worst, 4);
    EXPECT_TRUE(sawWhite);
  }
  // The rest load at their stated sizes.
  EXPECT_EQ(load("pal8nonsquare.bmp").height, 32);
  EXPECT_EQ(load("pal8w124.bmp").width, 124);
  EXPECT_EQ(load("pal8w125.bmp").width, 125);
  EXPECT_EQ(load("pal8w126.bmp").width, 126);
  for (const QFileInfo& file : QDir(dir + "/g").entryInfoList({"*.bmp"}, QDir::Files)) {
    SCOPED_TRACE(file.fileName().toStdString());
    EXPECT_NO_THROW(LoadBitmap(file.filePath()));
  }
}

TEST(BmpCorpus, BadAndQuestionableFilesAreRefusedOrLoadSafely) {
  const QString dir = CorpusDir();
  if (dir.isEmpty()) GTEST_SKIP() << testing::kTestDataAbsent << "the BMP corpus ../shared/testdata/bmpsuite";
  int files = 0;
  for (const char* sub : {"/b", "/q"})
    for (const QFileInfo& file : QDir(dir + sub).entryInfoList({"*.bmp"}, QDir::Files)) {
      SCOPED_TRACE(file.filePath().toStdString());
      ++files;
      try {
        const Bitmap b = LoadBitmap(file.filePath());
        EXPECT_GT(b.width, 0);
        EXPECT_EQ(b.pixels.size(), b.rowBytes() * static_cast<std::size_t>(b.height));
        // Loading twice gives the same pixels: nothing comes from memory left as it was.
        EXPECT_EQ(LoadBitmap(file.filePath()).pixels, b.pixels);
      } catch (const Error& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8(messages::kBitmapNotValid));
      }
    }
  EXPECT_GT(files, 0);
  EXPECT_THROW(LoadBitmap(dir + "/b/reallybig.bmp"), Error);
  // Whatever way a file takes, it loads as through the reader alone.
  for (const char* sub : {"/g", "/b", "/q"})
    for (const QFileInfo& file : QDir(dir + sub).entryInfoList({"*.bmp"}, QDir::Files)) {
      SCOPED_TRACE(file.filePath().toStdString());
      TempDir copy;
      ExpectSameOutcome(testing::ReadBytes(file.filePath()), copy);
    }
  EXPECT_THROW(LoadBitmap(dir + "/b/shortfile.bmp"), Error);
}

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

TEST(PixelBuffer, LargePicturesStartOnHugePageBoundariesAndAreInitialised) {
  const Bitmap large = Bitmap::Colour(2000, 1000);  // 6 MB
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.pixels.data()) % (std::uintptr_t{2} << 20), 0u);
  EXPECT_EQ(std::count(large.pixels.begin(), large.pixels.end(), 0xFF),
            static_cast<std::ptrdiff_t>(large.pixels.size()));
  Bitmap copy = large;  // copies and moves keep working across both kinds of storage
  copy.pixels.resize(10);
  EXPECT_EQ(copy.pixels, PixelBuffer(10, 0xFF));
  const Bitmap grey = Bitmap::Indexed(3000, 2000, GreyPalette());
  EXPECT_EQ(std::count(grey.pixels.begin(), grey.pixels.end(), 0), 3000 * 2000);
}

}  // namespace
}  // namespace skarvel
