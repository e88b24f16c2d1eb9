// The photograph readers: what each kind of file loads as, the camera's
// orientation, and damaged or hostile files.

#include "platform/photo_readers.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/picture_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>
#include <cstdio>

#include <QFile>

#include <cmath>
#include <cstring>
#include <vector>

namespace skarvel {
namespace {

using testing::ErrorOf;
using testing::TempDir;

QString Photo(const char* name) { return testing::SourceDir() + "/samples/photos/" + name; }

// ---- Files made here --------------------------------------------------------

void PutBig32(QByteArray& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>(v >> shift));
}

void AppendChunk(QByteArray& png, const char* kind, const QByteArray& body) {
  PutBig32(png, static_cast<std::uint32_t>(body.size()));
  const QByteArray typed = QByteArray(kind, 4) + body;
  png += typed;
  PutBig32(png, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()),
                                                 static_cast<uInt>(typed.size()))));
}

// A PNG of unfiltered rows (`rows` holds each row's packed samples).
QByteArray MakePng(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                   const std::vector<QByteArray>& rows, const QByteArray& palette = {}) {
  QByteArray raw;
  for (const QByteArray& row : rows) raw += '\0' + row;
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  QByteArray packed(static_cast<qsizetype>(packedSize), '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
           reinterpret_cast<const Bytef*>(raw.constData()), static_cast<uLong>(raw.size()));
  packed.resize(static_cast<qsizetype>(packedSize));
  QByteArray header;
  PutBig32(header, width);
  PutBig32(header, height);
  header += static_cast<char>(bitDepth);
  header += static_cast<char>(colourType);
  header += QByteArray(3, '\0');
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  AppendChunk(png, "IHDR", header);
  if (!palette.isEmpty()) AppendChunk(png, "PLTE", palette);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

Bitmap DecodeBytes(const QByteArray& bytes) { return DecodePicture(bytes, QStringLiteral("test")); }

struct TiffLayout {
  int bits = 8;
  int samples = 3;
  int photometric = PHOTOMETRIC_RGB;
  int compression = COMPRESSION_NONE;
  bool tiled = false;
  int orientation = ORIENTATION_TOPLEFT;
};

// A 20 x 19 TIFF whose sample s of pixel (x, y) is Sample(x, y, s), written by libtiff.
std::uint32_t Sample(int x, int y, int s, int bits) {
  const std::uint32_t v =
      static_cast<std::uint32_t>(x * 977 + y * 131 + s * 40503) % (bits == 16 ? 65536 : 256);
  return v;
}
constexpr int kTiffWidth = 20, kTiffHeight = 19;

QString WriteTiff(const TempDir& dir, const TiffLayout& tiff) {
  const QString name = dir.file("t.tif");
  TIFF* tif = TIFFOpen(name.toLocal8Bit().constData(), "w");
  EXPECT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kTiffWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kTiffHeight);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, tiff.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, tiff.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, tiff.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, tiff.compression);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, tiff.orientation);
  if (tiff.samples == 4 || tiff.samples == 2) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  const int pixelBytes = tiff.samples * tiff.bits / 8;
  auto fill = [&](std::uint8_t* out, int x0, int y, int count) {
    for (int x = x0; x < x0 + count; ++x)
      for (int s = 0; s < tiff.samples; ++s) {
        const std::uint32_t v = x < kTiffWidth && y < kTiffHeight ? Sample(x, y, s, tiff.bits) : 0;
        if (tiff.bits == 16) {
          const auto w = static_cast<std::uint16_t>(v);
          std::memcpy(out + ((x - x0) * tiff.samples + s) * 2, &w, 2);
        } else {
          out[(x - x0) * tiff.samples + s] = static_cast<std::uint8_t>(v);
        }
      }
  };
  if (tiff.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(16 * 16 * pixelBytes));
    for (int ty = 0; ty < kTiffHeight; ty += 16)
      for (int tx = 0; tx < kTiffWidth; tx += 16) {
        for (int r = 0; r < 16; ++r) fill(tile.data() + r * 16 * pixelBytes, tx, ty + r, 16);
        TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0, 0);
      }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(kTiffWidth * pixelBytes));
    for (int y = 0; y < kTiffHeight; ++y) {
      fill(row.data(), 0, y, kTiffWidth);
      TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
    }
  }
  TIFFClose(tif);
  return name;
}

// ---- The readers ------------------------------------------------------------

TEST(PhotoReaders, SixteenBitChannelsNarrowWithExactRounding) {
  // Every 16-bit value, as a grey PNG of 65536 x 1 pixels: the library's
  // narrowing must agree with the stated rule, which rounds v * 255 / 65535.
  QByteArray row;
  for (int v = 0; v < 65536; ++v) row += static_cast<char>(v >> 8), row += static_cast<char>(v & 0xFF);
  const Bitmap b = DecodeBytes(MakePng(65536, 1, 16, 0, {row}));
  ASSERT_EQ(b.width, 65536);
  EXPECT_EQ(b.palette, GreyPalette());
  int wrong = 0;
  for (int v = 0; v < 65536; ++v) {
    const auto expected = static_cast<int>(std::floor(v * 255.0 / 65535.0 + 0.5));
    wrong += NarrowChannel16(static_cast<std::uint32_t>(v)) != expected;
    wrong += b.row(0)[v] != expected;
  }
  EXPECT_EQ(wrong, 0);
}

TEST(PhotoReaders, PngKindsLoadAsTheBitmapOfTheSamePixels) {
  const QByteArray palette("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12);  // 4 colours
  const Palette expectedPalette = [&] {
    Palette p{};
    for (int i = 0; i < 4; ++i)
      p[i] = {static_cast<std::uint8_t>(palette[3 * i + 2]), static_cast<std::uint8_t>(palette[3 * i + 1]),
              static_cast<std::uint8_t>(palette[3 * i])};
    return p;
  }();
  struct Case {
    const char* what;
    int bitDepth, colourType;
    QByteArray row;  // 4 pixels
    bool indexed;
    int fileBitCount;
    std::vector<std::uint8_t> pixels;  // as the picture holds them
  };
  const Case cases[] = {
      {"grey 1 bit", 1, 0, QByteArray("\xA0", 1), true, 1, {255, 0, 255, 0}},
      {"grey 2 bits", 2, 0, QByteArray("\x1B", 1), true, 2, {0, 85, 170, 255}},
      {"grey 4 bits", 4, 0, QByteArray("\x0F\x51", 2), true, 4, {0, 255, 85, 17}},
      {"grey 8 bits", 8, 0, QByteArray("\x00\x07\xC8\xFF", 4), true, 8, {0, 7, 200, 255}},
      {"grey and alpha", 8, 4, QByteArray("\x09\x00\x0A\xFF\x0B\x80\x0C\x01", 8), true, 16, {9, 10, 11, 12}},
      {"palette 2 bits", 2, 3, QByteArray("\x1B", 1), true, 2, {0, 1, 2, 3}},
      {"palette 8 bits", 8, 3, QByteArray("\x03\x02\x01\x00", 4), true, 8, {3, 2, 1, 0}},
      {"rgb",
       8,
       2,
       QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 12),
       false,
       24,
       {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
      {"rgba, alpha ignored",
       8,
       6,
       QByteArray("\x01\x02\x03\x00\x04\x05\x06\x10\x07\x08\x09\x20\x0A\x0B\x0C\xFF", 16),
       false,
       32,
       {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
  };
  for (const Case& c : cases) {
    const bool hasPalette = c.colourType == 3;
    const Bitmap b =
        DecodeBytes(MakePng(4, 1, c.bitDepth, c.colourType, {c.row}, hasPalette ? palette : QByteArray()));
    EXPECT_EQ(b.indexed, c.indexed) << c.what;
    EXPECT_EQ(b.fileBitCount, c.fileBitCount) << c.what;
    EXPECT_EQ(std::vector<std::uint8_t>(b.pixels.begin(), b.pixels.end()), c.pixels) << c.what;
    if (b.indexed) EXPECT_EQ(b.palette, hasPalette ? expectedPalette : GreyPalette()) << c.what;
  }
}

TEST(PhotoReaders, TiffKindsLoadWithEverySampleInPlace) {
  struct Case {
    const char* what;
    TiffLayout tiff;
  };
  const Case cases[] = {
      {"rgb 8, strips, none", {}},
      {"rgb 16, tiles, lzw", {.bits = 16, .compression = COMPRESSION_LZW, .tiled = true}},
      {"rgb 16, strips, deflate", {.bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE}},
      {"rgba 8, tiles, packbits", {.samples = 4, .compression = COMPRESSION_PACKBITS, .tiled = true}},
      {"grey 8, strips, lzw",
       {.samples = 1, .photometric = PHOTOMETRIC_MINISBLACK, .compression = COMPRESSION_LZW}},
      {"grey 16, tiles, none",
       {.bits = 16, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK, .tiled = true}},
      {"white is zero 8", {.samples = 1, .photometric = PHOTOMETRIC_MINISWHITE}},
      {"white is zero 16", {.bits = 16, .samples = 1, .photometric = PHOTOMETRIC_MINISWHITE}},
      {"grey and alpha 16", {.bits = 16, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const Bitmap b = LoadPicture(WriteTiff(dir, c.tiff));
    const TiffLayout& s = c.tiff;
    const bool colour = s.photometric == PHOTOMETRIC_RGB;
    ASSERT_EQ(b.width, kTiffWidth) << c.what;
    ASSERT_EQ(b.height, kTiffHeight) << c.what;
    EXPECT_EQ(b.indexed, !colour) << c.what;
    EXPECT_EQ(b.fileBitCount, s.bits * s.samples) << c.what;
    if (!colour) EXPECT_EQ(b.palette, GreyPalette()) << c.what;
    int wrong = 0;
    for (int y = 0; y < kTiffHeight; ++y)
      for (int x = 0; x < kTiffWidth; ++x)
        for (int ch = 0; ch < (colour ? 3 : 1); ++ch) {
          std::uint32_t v = Sample(x, y, colour ? 2 - ch : 0, s.bits);  // B, G, R from R, G, B
          if (s.photometric == PHOTOMETRIC_MINISWHITE) v = (s.bits == 16 ? 65535 : 255) - v;
          const std::uint8_t expected = s.bits == 16 ? NarrowChannel16(v) : static_cast<std::uint8_t>(v);
          wrong += b.row(y)[x * (colour ? 3 : 1) + ch] != expected;
        }
    EXPECT_EQ(wrong, 0) << c.what;
  }
}

// A 3 x 2 grey picture of levels 1..6, row by row, and how each orientation shows it.
TEST(PhotoReaders, EveryOrientationTurnsThePictureAsTheCameraHeldIt) {
  struct Case {
    int orientation;
    int width, height;
    std::vector<std::uint8_t> shown;
  };
  // Stored:  1 2 3
  //          4 5 6
  const Case cases[] = {
      {1, 3, 2, {1, 2, 3, 4, 5, 6}}, {2, 3, 2, {3, 2, 1, 6, 5, 4}}, {3, 3, 2, {6, 5, 4, 3, 2, 1}},
      {4, 3, 2, {4, 5, 6, 1, 2, 3}}, {5, 2, 3, {1, 4, 2, 5, 3, 6}}, {6, 2, 3, {4, 1, 5, 2, 6, 3}},
      {7, 2, 3, {6, 3, 5, 2, 4, 1}}, {8, 2, 3, {3, 6, 2, 5, 1, 4}}, {9, 3, 2, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    Bitmap grey = Bitmap::Indexed(3, 2, GreyPalette());
    for (int i = 0; i < 6; ++i) grey.pixels[i] = static_cast<std::uint8_t>(i + 1);
    const Bitmap g = Oriented(grey, c.orientation);
    EXPECT_EQ(g.width, c.width) << c.orientation;
    EXPECT_EQ(g.height, c.height) << c.orientation;
    EXPECT_EQ(std::vector<std::uint8_t>(g.pixels.begin(), g.pixels.end()), c.shown) << c.orientation;
    // A colour picture moves whole pixels the same way.
    Bitmap colour = Bitmap::Colour(3, 2);
    for (int i = 0; i < 6; ++i)
      for (int k = 0; k < 3; ++k) colour.pixels[3 * i + k] = static_cast<std::uint8_t>(10 * (i + 1) + k);
    const Bitmap o = Oriented(colour, c.orientation);
    for (int i = 0; i < 6; ++i)
      for (int k = 0; k < 3; ++k) EXPECT_EQ(o.pixels[3 * i + k], 10 * c.shown[i] + k) << c.orientation;
  }
  // The TIFF tag turns a file's picture the same way.
  TempDir dir;
  const Bitmap upright = LoadPicture(WriteTiff(dir, {.orientation = ORIENTATION_TOPLEFT}));
  const Bitmap turned = LoadPicture(WriteTiff(dir, {.orientation = ORIENTATION_RIGHTTOP}));
  EXPECT_EQ(turned.pixels, Oriented(upright, 6).pixels);
  EXPECT_EQ(turned.width, kTiffHeight);
}

QByteArray ExifBody(bool bigEndian, std::uint16_t tag, std::uint16_t type, std::uint16_t value) {
  auto u16 = [&](std::uint16_t v) {
    const char high = static_cast<char>(v >> 8), low = static_cast<char>(v);
    return bigEndian ? QByteArray(1, high) + low : QByteArray(1, low) + high;
  };
  auto u32 = [&](std::uint32_t v) {
    return bigEndian ? u16(static_cast<std::uint16_t>(v >> 16)) + u16(static_cast<std::uint16_t>(v))
                     : u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16));
  };
  QByteArray body = QByteArray(bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(2);
  body += u16(0x0100) + u16(3) + u32(1) + u16(640) + u16(0);  // another tag first
  body += u16(tag) + u16(type) + u32(1) + u16(value) + u16(0);
  return body + u32(0);
}

TEST(PhotoReaders, ExifOrientationIsReadOnlyFromASoundEntry) {
  struct Case {
    const char* what;
    QByteArray body;
    int orientation;
  };
  const QByteArray good = ExifBody(false, 0x0112, 3, 6);
  const Case cases[] = {
      {"little-endian", good, 6},
      {"big-endian", ExifBody(true, 0x0112, 3, 8), 8},
      {"no orientation entry", ExifBody(false, 0x0113, 3, 6), 1},
      {"not a short", ExifBody(false, 0x0112, 4, 6), 1},
      {"out of range", ExifBody(false, 0x0112, 3, 9), 1},
      {"zero", ExifBody(true, 0x0112, 3, 0), 1},
      {"cut inside the entry", good.left(good.size() - 10), 1},
      {"not TIFF-structured", QByteArray("XX*\0\x08\0\0\0", 8), 1},
      {"directory past the end", QByteArray("II*\0\xFF\xFF\xFF\xFF", 8), 1},
      {"empty", QByteArray(), 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TiffStructureOrientation(reinterpret_cast<const std::uint8_t*>(c.body.constData()),
                                       static_cast<std::size_t>(c.body.size())),
              c.orientation)
        << c.what;
}

TEST(PhotoReaders, JpegSamplesLoadUprightInTheirKinds) {
  const Bitmap colour = LoadPicture(Photo("aerial.jpg"));
  EXPECT_FALSE(colour.indexed);
  EXPECT_EQ(colour.fileBitCount, 24);
  EXPECT_EQ(colour.width, 320);
  const Bitmap progressive = LoadPicture(Photo("aerial_progressive.jpg"));
  EXPECT_EQ(progressive.width, 320);
  EXPECT_EQ(progressive.height, 240);
  const Bitmap grey = LoadPicture(Photo("relief_grey.jpg"));
  EXPECT_TRUE(grey.indexed);
  EXPECT_EQ(grey.palette, GreyPalette());
  EXPECT_EQ(grey.fileBitCount, 8);
  // The same picture with an Exif orientation of 6, upright.
  const Bitmap turned = LoadPicture(Photo("IMG_0042.JPG"));
  EXPECT_EQ(turned.width, 240);
  EXPECT_EQ(turned.height, 320);
  EXPECT_EQ(turned.pixels, Oriented(colour, 6).pixels);
}

QByteArray CmykJpeg() {
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = 8;
  c.image_height = 8;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(32, 100);
  for (int y = 0; y < 8; ++y) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
  std::free(out);
  return bytes;
}

// A TIFF header whose one directory claims the given size and nothing else.
QByteArray TiffClaiming(std::uint32_t width, std::uint32_t height) {
  QByteArray t("II*\0\x08\0\0\0", 8);
  auto u16 = [&](std::uint16_t v) { t += static_cast<char>(v), t += static_cast<char>(v >> 8); };
  auto u32 = [&](std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v)), u16(static_cast<std::uint16_t>(v >> 16));
  };
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    u16(tag), u16(type), u32(1);
    if (type == 3)
      u16(static_cast<std::uint16_t>(value)), u16(0);
    else
      u32(value);
  };
  u16(8);
  entry(256, 4, width);
  entry(257, 4, height);
  entry(258, 3, 8);
  entry(259, 3, 1);
  entry(262, 3, 1);
  entry(273, 4, 200);  // strip offset
  entry(278, 4, height);
  entry(279, 4, 1);
  u32(0);
  return t + QByteArray(64, '\0');
}

TEST(PhotoReaders, DamagedAndHostileFilesGetAClearErrorNamingTheFile) {
  const QByteArray jpeg = testing::ReadBytes(Photo("aerial.jpg"));
  const QByteArray png = testing::ReadBytes(Photo("aerial_rgb.png"));
  QByteArray badCrc = png;
  badCrc[60] = static_cast<char>(badCrc[60] ^ 0x01);  // inside the first IDAT
  QByteArray hugeJpeg = jpeg;
  // The frame header's height and width, both 65000.
  const qsizetype sof = jpeg.indexOf("\xFF\xC0");
  ASSERT_GT(sof, 0);
  hugeJpeg.replace(sof + 5, 4, QByteArray("\xFD\xE8\xFD\xE8", 4));
  // Headers of 700 bytes claiming 8000 x 8000: more than any sound file of that size holds.
  QByteArray tinyJpeg = jpeg.left(700);
  tinyJpeg.replace(sof + 5, 4, QByteArray("\x1F\x40\x1F\x40", 4));
  struct Case {
    const char* what;
    const char* name;
    QByteArray bytes;
    QString startsWith;  // after "<file>: "
  };
  const Case cases[] = {
      {"truncated JPEG", "cut.jpg", jpeg.left(jpeg.size() / 2), "JPEG: "},
      {"JPEG of headers only", "head.jpg", jpeg.left(700), "JPEG: "},
      {"JPEG too short for its size", "tiny.jpg", tinyJpeg,
       QString::fromUtf8("JPEG: файл слишком короток для изображения 8000 × 8000 пикс.")},
      {"CMYK JPEG", "print.jpg", CmykJpeg(), QString::fromUtf8("JPEG: снимки в цветах CMYK не читаются")},
      {"JPEG of 65000 x 65000", "huge.jpg", hugeJpeg,
       QString::fromUtf8("Изображение 65000 × 65000 пикс. слишком велико")},
      {"PNG with a bad checksum", "crc.png", badCrc, "PNG: "},
      {"truncated PNG", "cut.png", png.left(png.size() - 100), "PNG: "},
      {"PNG of 100000 x 100000", "huge.png", MakePng(100000, 100000, 8, 0, {QByteArray(16, '\0')}),
       QString::fromUtf8("Изображение 100000 × 100000 пикс. слишком велико")},
      {"TIFF of 100000 x 100000", "huge.tif", TiffClaiming(100000, 100000),
       QString::fromUtf8("Изображение 100000 × 100000 пикс. слишком велико")},
      {"TIFF too short for its size", "tiny.tif", TiffClaiming(20000, 20000),
       QString::fromUtf8("TIFF: файл слишком короток для изображения 20000 × 20000 пикс.")},
      {"PNG too short for its size", "tiny.png", MakePng(20000, 20000, 8, 0, {QByteArray(16, '\0')}),
       QString::fromUtf8("PNG: файл слишком короток для изображения 20000 × 20000 пикс.")},
      {"TIFF of a cut strip", "cut.tif", TiffClaiming(64, 64), "TIFF: "},
      {"TIFF header only", "head.tif", QByteArray("MM\0*\0\0\0\x08", 8), "TIFF: "},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const QString file = dir.write(c.name, c.bytes);
    const QString message = ErrorOf([&] { LoadPicture(file); });
    EXPECT_TRUE(message.startsWith(file + ": " + c.startsWith)) << c.what << ": " << message.toStdString();
    EXPECT_EQ(ErrorOf([&] { DecodePicture(c.bytes, file); }), message) << c.what;
  }
}

TEST(PhotoReaders, TheKindIsToldByContentNotByName) {
  TempDir dir;
  const QByteArray jpeg = testing::ReadBytes(Photo("aerial.jpg"));
  const Bitmap named = LoadPicture(dir.write("photo.bmp", jpeg));
  EXPECT_EQ(named.pixels, LoadPicture(Photo("aerial.jpg")).pixels);
  const QByteArray bmp = testing::ReadBytes(testing::SourceDir() + "/samples/bitmaps/aerial.bmp");
  const QString misnamed = dir.write("IMG_0001.JPG", bmp);
  EXPECT_EQ(LoadPicture(misnamed).pixels, LoadBitmap(misnamed).pixels);
  const QString notValid = QString::fromUtf8(messages::kBitmapNotValid);
  for (const char* name : {"garbage.jpg", "garbage.png", "garbage.tif", "garbage.bmp"})
    EXPECT_EQ(ErrorOf([&] { LoadPicture(dir.write(name, "not a picture at all")); }), notValid) << name;
  EXPECT_EQ(ErrorOf([&] { LoadPicture(dir.write("empty.jpg", {})); }), notValid);
  EXPECT_EQ(ErrorOf([&] { LoadPicture(dir.file("missing.jpg")); }),
            messages::CannotOpenFile(dir.file("missing.jpg")));
}

}  // namespace
}  // namespace skarvel
