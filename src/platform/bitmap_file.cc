#include "platform/bitmap_file.h"

#include "platform/error.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <functional>

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

}  // namespace

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
