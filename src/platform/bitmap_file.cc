#include "platform/bitmap_file.h"

#include "platform/error.h"
#include "platform/files.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <optional>

namespace skarvel {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void PutU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  PutU16(p, v & 0xFFFF);
  PutU16(p + 2, v >> 16);
}

// Streams an uncompressed bottom-up file; `fillRow(y, out)` writes the
// unpadded bytes of picture row y (from the top) into `out`.
void WriteBmp(const QString& fileName, int width, int height, int bitCount, const Palette* palette,
              const std::function<void(int y, std::uint8_t* out)>& fillRow) {
  if (width < 1 || height < 1)
    throw Error(QStringLiteral("Изображение %1 × %2 пикс. пусто: файл %3 не записан")
                    .arg(width)
                    .arg(height)
                    .arg(fileName));
  const std::int64_t rowBytes = BmpRowBytes(width, bitCount);
  const std::int64_t imageBytes = rowBytes * height;
  const std::int64_t paletteBytes = palette ? 256 * 4 : 0;
  const std::int64_t offset = kFileHeaderSize + kInfoHeaderSize + paletteBytes;
  const std::int64_t fileSize = offset + imageBytes;
  if (fileSize > 0xFFFFFFFFLL)
    throw Error(QStringLiteral("Изображение %1 × %2 пикс. слишком велико для файла BMP: файл %3 не записан")
                    .arg(width)
                    .arg(height)
                    .arg(fileName));

  std::vector<std::uint8_t> header(static_cast<std::size_t>(offset), 0);
  std::uint8_t* h = header.data();
  h[0] = 'B';
  h[1] = 'M';
  PutU32(h + 2, static_cast<std::uint32_t>(fileSize));
  PutU32(h + 10, static_cast<std::uint32_t>(offset));
  std::uint8_t* info = h + kFileHeaderSize;
  PutU32(info, kInfoHeaderSize);
  PutU32(info + 4, static_cast<std::uint32_t>(width));
  PutU32(info + 8, static_cast<std::uint32_t>(height));
  PutU16(info + 12, 1);
  PutU16(info + 14, static_cast<std::uint32_t>(bitCount));
  PutU32(info + 16, 0);  // no compression
  PutU32(info + 20, static_cast<std::uint32_t>(imageBytes));
  // Pixels per metre stay 0 (unknown).
  PutU32(info + 32, palette ? 256 : 0);
  if (palette) {
    std::uint8_t* entry = info + kInfoHeaderSize;
    for (const Bgr& c : *palette) {
      entry[0] = c.b;
      entry[1] = c.g;
      entry[2] = c.r;
      entry[3] = 0;
      entry += 4;
    }
  }

  WriteFileAtomically(fileName, [&](const ByteSink& sink) {
    sink(reinterpret_cast<const char*>(header.data()), offset);
    // Rows go out in blocks of about 1 MB, the bottom row first.
    const int rowsPerBlock = static_cast<int>(std::max<std::int64_t>(1, (std::int64_t{1} << 20) / rowBytes));
    std::vector<std::uint8_t> block(static_cast<std::size_t>(rowBytes * std::min(rowsPerBlock, height)), 0);
    int y = height - 1;
    while (y >= 0) {
      const int rows = std::min(rowsPerBlock, y + 1);
      for (int i = 0; i < rows; ++i) fillRow(y - i, block.data() + static_cast<std::size_t>(i * rowBytes));
      sink(reinterpret_cast<const char*>(block.data()), rows * rowBytes);
      y -= rows;
    }
  });
}

// ---- Reading ----------------------------------------------------------------

enum class Coding { kRaw, kRle8, kRle4, kBitFields };

// What the checks and the own decoding need from a file's headers.
struct BmpHeader {
  std::int64_t offset = 0;  // of the pixel data
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows, positive
  bool topDown = false;
  int bitCount = 0;
  Coding coding = Coding::kRaw;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
};

class LittleEndian {
 public:
  explicit LittleEndian(const QByteArray& bytes) : bytes_(bytes) {}
  bool has(std::int64_t at, std::int64_t n) const { return at >= 0 && at + n <= bytes_.size(); }
  std::uint32_t u8(std::int64_t at) const {
    return static_cast<std::uint8_t>(bytes_[static_cast<qsizetype>(at)]);
  }
  std::uint32_t u16(std::int64_t at) const { return u8(at) | u8(at + 1) << 8; }
  std::uint32_t u32(std::int64_t at) const { return u16(at) | u16(at + 2) << 16; }
  std::int32_t i32(std::int64_t at) const { return static_cast<std::int32_t>(u32(at)); }

 private:
  const QByteArray& bytes_;
};

[[noreturn]] void NotValid() { throw Error(messages::kBitmapNotValid); }

// Run-length coded data may describe pictures much larger than itself, but a
// file claiming more than 256 pixels per byte beyond a 16-megapixel allowance
// is refused, so that a tiny file cannot make the reader allocate gigabytes.
constexpr std::int64_t kRlePixelsPerByte = 256;
constexpr std::int64_t kRlePixelAllowance = std::int64_t{1} << 24;

BmpHeader ParseHeader(const QByteArray& bytes) {
  const LittleEndian in(bytes);
  if (!in.has(0, 18) || bytes[0] != 'B' || bytes[1] != 'M') NotValid();
  BmpHeader h;
  h.offset = in.u32(10);
  const std::int64_t infoSize = in.u32(14);
  if (!in.has(14, infoSize)) NotValid();
  std::uint32_t compression = 0;
  bool windowsHeader = false;
  if (infoSize == 12) {  // the oldest header: 16-bit sizes
    h.width = in.u16(18);
    h.height = in.u16(20);
    h.bitCount = static_cast<int>(in.u16(24));
  } else if (infoSize >= 16 && infoSize <= 124) {
    windowsHeader = infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    h.width = in.i32(18);
    const std::int64_t height = in.i32(22);
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.bitCount = static_cast<int>(in.u16(28));
    if (infoSize >= 20) compression = in.u32(30);
  } else {
    NotValid();
  }
  if (h.width <= 0 || h.height <= 0) NotValid();
  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      NotValid();
  }
  if (compression == 0) {
    h.coding = Coding::kRaw;
  } else if (compression == 1 && h.bitCount == 8 && !h.topDown) {
    h.coding = Coding::kRle8;
  } else if (compression == 2 && h.bitCount == 4 && !h.topDown) {
    h.coding = Coding::kRle4;
  } else if ((compression == 3 || compression == 6) && windowsHeader &&
             (h.bitCount == 16 || h.bitCount == 32)) {
    h.coding = Coding::kBitFields;
    // The masks follow a 40-byte header, or lie inside the longer ones.
    const std::int64_t at = 14 + 40;
    if (!in.has(at, 12)) NotValid();
    for (int i = 0; i < 3; ++i) h.masks[i] = in.u32(at + 4 * i);
  } else {
    NotValid();  // other codings (embedded JPEG or PNG, Huffman, 24-bit RLE)
  }
  if (h.coding == Coding::kRaw) {
    if (h.bitCount == 16) {
      h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (h.bitCount == 32) {
      h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
    }
  }

  // The picture must fit the memory limit as the reader holds it (4 bytes a pixel).
  if (h.width > kBitmapMemoryLimit || h.height > kBitmapMemoryLimit ||
      h.width * h.height > kBitmapMemoryLimit / 4)
    NotValid();
  const std::int64_t available = bytes.size() - h.offset;
  if (h.offset < 14 + infoSize || available <= 0) NotValid();
  if (h.coding == Coding::kRaw || h.coding == Coding::kBitFields) {
    // Pixel data cut short is refused rather than loaded half undefined.
    if (BmpRowBytes(h.width, h.bitCount) * h.height > available) NotValid();
  } else if (h.width * h.height > kRlePixelAllowance + kRlePixelsPerByte * available) {
    NotValid();
  }
  return h;
}

// A channel of `mask` widened to 0..255, rounded: the largest value is 255.
struct ChannelMask {
  explicit ChannelMask(std::uint32_t mask)
      : mask(mask), shift(mask ? std::countr_zero(mask) : 0), max(mask ? mask >> shift : 1) {}
  std::uint8_t operator()(std::uint32_t pixel) const {
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
  std::uint32_t mask;
  int shift;
  std::uint64_t max;
};

// 16- and 32-bit pixels straight from the file: the reader widens channels
// of fewer than 8 bits by shifting, which makes white 248.
void DecodeMaskedPixels(const QByteArray& bytes, const BmpHeader& h, Bitmap& out) {
  const LittleEndian in(bytes);
  const ChannelMask red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
  const std::int64_t rowBytes = BmpRowBytes(h.width, h.bitCount);
  const int step = h.bitCount / 8;
  for (int fileRow = 0; fileRow < out.height; ++fileRow) {
    const int y = h.topDown ? fileRow : out.height - 1 - fileRow;
    std::int64_t at = h.offset + fileRow * rowBytes;
    std::uint8_t* p = out.row(y);
    for (int x = 0; x < out.width; ++x, at += step, p += 3) {
      const std::uint32_t pixel = step == 2 ? in.u16(at) : in.u32(at);
      p[0] = blue(pixel);
      p[1] = green(pixel);
      p[2] = red(pixel);
    }
  }
}

Bitmap FromIndexedImage(const QImage& image, int fileBitCount) {
  Palette palette{};  // entries the file does not define are black
  const QList<QRgb> table = image.colorTable();
  for (qsizetype i = 0; i < std::min<qsizetype>(table.size(), 256); ++i)
    palette[i] = {static_cast<std::uint8_t>(qBlue(table[i])), static_cast<std::uint8_t>(qGreen(table[i])),
                  static_cast<std::uint8_t>(qRed(table[i]))};
  Bitmap out = Bitmap::Indexed(image.width(), image.height(), palette);
  out.fileBitCount = fileBitCount;
  for (int y = 0; y < out.height; ++y) std::memcpy(out.row(y), image.constScanLine(y), out.rowBytes());
  return out;
}

Bitmap FromColourImage(const QImage& source, int fileBitCount) {
  const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
  Bitmap out = Bitmap::Colour(image.width(), image.height());
  out.fileBitCount = fileBitCount;
  for (int y = 0; y < out.height; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint8_t* p = out.row(y);
    for (int x = 0; x < out.width; ++x, p += 3) {
      p[0] = static_cast<std::uint8_t>(qBlue(in[x]));
      p[1] = static_cast<std::uint8_t>(qGreen(in[x]));
      p[2] = static_cast<std::uint8_t>(qRed(in[x]));
    }
  }
  return out;
}

}  // namespace

Bitmap DecodeBitmap(const QByteArray& bytes) {
  const BmpHeader h = ParseHeader(bytes);
  const int width = static_cast<int>(h.width);
  const int height = static_cast<int>(h.height);

  // The reader's own limit, in megabytes, matches the system's.
  QImageReader::setAllocationLimit(static_cast<int>(kBitmapMemoryLimit >> 20));
  QByteArray data = bytes;  // QBuffer wants a non-const array; this shares it
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "bmp");
  reader.setAutoTransform(false);
  QImage image;
  if (h.coding == Coding::kRle8 || h.coding == Coding::kRle4) {
    // The reader leaves the pixels a run-length code skips as it finds them
    // in the picture it is given: give it one of palette index 0.
    image = QImage(width, height, QImage::Format_Indexed8);
    if (image.isNull()) NotValid();
    image.setColorCount(256);
    image.fill(0);
  }
  if (!reader.read(&image) || image.isNull() || image.width() != width || image.height() != height)
    NotValid();
  if ((h.coding == Coding::kRle8 || h.coding == Coding::kRle4) && image.format() != QImage::Format_Indexed8)
    NotValid();

  if (h.bitCount == 16 || h.bitCount == 32) {
    Bitmap out = Bitmap::Colour(width, height);
    out.fileBitCount = h.bitCount;
    DecodeMaskedPixels(bytes, h, out);
    return out;
  }
  if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
    image = image.convertToFormat(QImage::Format_Indexed8);
  if (image.format() == QImage::Format_Indexed8) return FromIndexedImage(image, h.bitCount);
  return FromColourImage(image, h.bitCount);
}

Bitmap LoadBitmap(const QString& fileName) { return DecodeBitmap(ReadWholeFile(fileName)); }

std::int64_t BmpRowBytes(std::int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

void SaveBitmap(const Bitmap& bitmap, const QString& fileName) {
  const std::size_t rowBytes = bitmap.rowBytes();
  WriteBmp(fileName, bitmap.width, bitmap.height, bitmap.indexed ? 8 : 24,
           bitmap.indexed ? &bitmap.palette : nullptr,
           [&](int y, std::uint8_t* out) { std::memcpy(out, bitmap.row(y), rowBytes); });
}

void SaveBitmap24(const QImage& image, const QString& fileName) {
  const QImage rgb =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  WriteBmp(fileName, rgb.width(), rgb.height(), 24, nullptr, [&](int y, std::uint8_t* out) {
    const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      *out++ = static_cast<std::uint8_t>(qBlue(in[x]));
      *out++ = static_cast<std::uint8_t>(qGreen(in[x]));
      *out++ = static_cast<std::uint8_t>(qRed(in[x]));
    }
  });
}

}  // namespace skarvel
