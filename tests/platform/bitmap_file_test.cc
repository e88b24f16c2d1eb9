// Writing bitmap files: every header byte, the row order and padding, the
// grey colour table, and the failures.

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QImage>

namespace skarvel {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::uint32_t U32(const QByteArray& b, int at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}
int U16(const QByteArray& b, int at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}
int Byte(const QByteArray& b, qsizetype at) { return static_cast<std::uint8_t>(b[at]); }

// Header fields of a file the system writes, each checked against a value
// worked out by hand for the picture's size.
void ExpectHeader(const QByteArray& f, int width, int height, int bitCount, std::uint32_t offset,
                  std::uint32_t imageBytes, std::uint32_t coloursUsed) {
  ASSERT_GE(f.size(), 54);
  EXPECT_EQ(f.left(2), QByteArray("BM"));
  EXPECT_EQ(U32(f, 2), offset + imageBytes) << "file size";
  EXPECT_EQ(U32(f, 6), 0u) << "reserved";
  EXPECT_EQ(U32(f, 10), offset) << "pixel offset";
  EXPECT_EQ(U32(f, 14), 40u) << "info header size";
  EXPECT_EQ(U32(f, 18), static_cast<std::uint32_t>(width));
  EXPECT_EQ(U32(f, 22), static_cast<std::uint32_t>(height)) << "positive: bottom-up";
  EXPECT_EQ(U16(f, 26), 1) << "planes";
  EXPECT_EQ(U16(f, 28), bitCount);
  EXPECT_EQ(U32(f, 30), 0u) << "no compression";
  EXPECT_EQ(U32(f, 34), imageBytes);
  EXPECT_EQ(U32(f, 38), 0u);
  EXPECT_EQ(U32(f, 42), 0u);
  EXPECT_EQ(U32(f, 46), coloursUsed);
  EXPECT_EQ(U32(f, 50), 0u) << "important colours";
  EXPECT_EQ(static_cast<std::uint32_t>(f.size()), offset + imageBytes);
}

TEST(WriteBitmap, ColourPictureIs24BitBottomUpPaddedToFourBytes) {
  // 3 x 2: a row is 9 bytes, padded to 12; 24 bytes of pixels after 54 of headers.
  Bitmap b = Bitmap::Colour(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      std::uint8_t* p = b.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(10 * y + x);        // blue
      p[1] = static_cast<std::uint8_t>(100 + 10 * y + x);  // green
      p[2] = static_cast<std::uint8_t>(200 + 10 * y + x);  // red
    }
  TempDir dir;
  SaveBitmap(b, dir.file("c.bmp"));
  const QByteArray f = ReadBytes(dir.file("c.bmp"));
  ExpectHeader(f, 3, 2, 24, 54, 24, 0);
  const QByteArray expected = QByteArray::fromHex(
      "0a6ed2 0b6fd3 0c70d4 000000"    // bottom row (y = 1) first
      "0064c8 0165c9 0266ca 000000");  // then the top row
  EXPECT_EQ(f.mid(54).toHex(), expected.toHex());
}

TEST(WriteBitmap, IndexedPictureIs8BitWithTheGreyColourTable) {
  // 5 x 2: a row is 5 bytes, padded to 8; 1024 bytes of colour table.
  Bitmap b = Bitmap::Indexed(5, 2, GreyPalette());
  const std::uint8_t top[5] = {0, 1, 2, 254, 255};
  const std::uint8_t bottom[5] = {9, 8, 7, 6, 5};
  std::copy(top, top + 5, b.row(0));
  std::copy(bottom, bottom + 5, b.row(1));
  TempDir dir;
  SaveBitmap(b, dir.file("g.bmp"));
  const QByteArray f = ReadBytes(dir.file("g.bmp"));
  ExpectHeader(f, 5, 2, 8, 54 + 1024, 16, 256);
  for (int i = 0; i < 256; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Byte(f, 54 + 4 * i), i);
    EXPECT_EQ(Byte(f, 55 + 4 * i), i);
    EXPECT_EQ(Byte(f, 56 + 4 * i), i);
    EXPECT_EQ(Byte(f, 57 + 4 * i), 0);
  }
  EXPECT_EQ(f.mid(1078).toHex(), QByteArray::fromHex("0908070605000000 000102feff000000").toHex());
}

TEST(WriteBitmap, QImageOfAnyFormatIsWrittenAs24Bit) {
  QImage argb(2, 1, QImage::Format_ARGB32);
  argb.setPixel(0, 0, qRgba(1, 2, 3, 255));
  argb.setPixel(1, 0, qRgba(250, 128, 7, 255));
  QImage indexed(2, 1, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 128, 7)});
  indexed.setPixel(0, 0, 0);
  indexed.setPixel(1, 0, 1);
  const QImage rgb888 = argb.convertToFormat(QImage::Format_RGB888);
  const QImage mono = [] {
    QImage m(2, 1, QImage::Format_Mono);
    m.setColorTable({qRgb(1, 2, 3), qRgb(250, 128, 7)});
    m.setPixel(0, 0, 0);
    m.setPixel(1, 0, 1);
    return m;
  }();
  TempDir dir;
  for (const QImage& image : {argb, indexed, rgb888, mono}) {
    SCOPED_TRACE(static_cast<int>(image.format()));
    SaveBitmap24(image, dir.file("q.bmp"));
    const QByteArray f = ReadBytes(dir.file("q.bmp"));
    ExpectHeader(f, 2, 1, 24, 54, 8, 0);
    EXPECT_EQ(f.mid(54).toHex(), QByteArray::fromHex("030201 0780fa 0000").toHex());
  }
}

TEST(WriteBitmap, OneMegabyteRowBlocksKeepTheRowOrder) {
  // 700 x 700 colour rows (2100 bytes each) span several write blocks.
  Bitmap b = Bitmap::Colour(700, 700);
  for (int y = 0; y < 700; ++y) b.row(y)[0] = static_cast<std::uint8_t>(y % 251);
  TempDir dir;
  SaveBitmap(b, dir.file("big.bmp"));
  const QByteArray f = ReadBytes(dir.file("big.bmp"));
  ExpectHeader(f, 700, 700, 24, 54, 2100 * 700, 0);
  for (int fileRow = 0; fileRow < 700; ++fileRow)
    ASSERT_EQ(Byte(f, 54 + 2100LL * fileRow), (699 - fileRow) % 251) << fileRow;
}

TEST(WriteBitmap, BandsFromTheBottomGiveTheSameFileAsThePicture) {
  // 1001 x 1500: rows of 3003 bytes padded to 3004, 4 MB bands of 1396 rows
  // and a last band of 104; each row's bytes tell its row and column.
  const int width = 1001, height = 1500;
  Bitmap b = Bitmap::Colour(width, height);
  auto fill = [&](int y, std::uint8_t* out) {
    for (int x = 0; x < 3 * width; ++x) out[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + y / 256);
  };
  for (int y = 0; y < height; ++y) fill(y, b.row(y));
  TempDir dir;
  SaveBitmap(b, dir.file("whole.bmp"));
  std::vector<std::pair<int, int>> bands;
  SaveBitmap24Bands(dir.file("bands.bmp"), width, height,
                    [&](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
                      bands.emplace_back(begin, end);
                      for (int y = begin; y < end; ++y, out += stride) fill(y, out);
                    });
  const QByteArray whole = ReadBytes(dir.file("whole.bmp"));
  ExpectHeader(whole, width, height, 24, 54, 3004 * height, 0);
  EXPECT_TRUE(ReadBytes(dir.file("bands.bmp")) == whole);
  EXPECT_EQ(bands, (std::vector<std::pair<int, int>>{{104, 1500}, {0, 104}}));

  // A failing band leaves no file; the error comes through.
  EXPECT_THROW(SaveBitmap24Bands(dir.file("failed.bmp"), 3, 3,
                                 [](int, int, std::uint8_t*, std::ptrdiff_t) { throw Error("band"); }),
               Error);
  EXPECT_EQ(dir.entries(), (QStringList{"bands.bmp", "whole.bmp"}));
}

TEST(WriteBitmap, FailuresLeaveNoFileAndNameIt) {
  TempDir dir;
  const QString missing = dir.file("no/such/folder/x.bmp");
  try {
    SaveBitmap(Bitmap::Colour(2, 2), missing);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Cannot create file ") + missing);
  }
  EXPECT_THROW(SaveBitmap(Bitmap{}, dir.file("empty.bmp")), Error);
  EXPECT_THROW(SaveBitmap24(QImage(), dir.file("null.bmp")), Error);
  EXPECT_TRUE(dir.entries().isEmpty());
}

TEST(WriteBitmap, ReplacesAnExistingFile) {
  TempDir dir;
  dir.write("r.bmp", QByteArray(5000, 'x'));
  SaveBitmap(Bitmap::Colour(1, 1), dir.file("r.bmp"));
  const QByteArray f = ReadBytes(dir.file("r.bmp"));
  ExpectHeader(f, 1, 1, 24, 54, 4, 0);
  EXPECT_EQ(f.mid(54).toHex(), QByteArray("ffffff00"));
  EXPECT_EQ(dir.entries(), QStringList{"r.bmp"});
}

TEST(BitmapSize, RefusesEmptyAndOversizedPictures) {
  EXPECT_THROW(Bitmap::Colour(0, 5), Error);
  EXPECT_THROW(Bitmap::Colour(5, -1), Error);
  // 20000 x 20000 colour pixels are 1.2 GB, beyond the limit; as indices 400 MB.
  EXPECT_THROW(CheckBitmapSize(20000, 20000, 3), Error);
  EXPECT_NO_THROW(CheckBitmapSize(20000, 20000, 1));
  EXPECT_THROW(CheckBitmapSize(std::int64_t{1} << 40, 1, 1), Error);
  EXPECT_NO_THROW(CheckBitmapSize(8000, 8000, 3));
}

}  // namespace
}  // namespace skarvel
