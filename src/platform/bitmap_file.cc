#include "platform/bitmap_file.h"

#include "platform/error.h"
#include "platform/files.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
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

// Streams an uncompressed bottom-up file in blocks of about blockBytes;
// `fillRows` fills the unpadded bytes of each block's rows (see RowBandFiller).
void WriteBmp(const QString& fileName, int width, int height, int bitCount, const Palette* palette,
              std::int64_t blockBytes, const RowBandFiller& fillRows) {
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
    // Rows go out in blocks, the bottom row first.
    const int rowsPerBlock = static_cast<int>(std::clamp<std::int64_t>(blockBytes / rowBytes, 1, height));
    std::vector<std::uint8_t> block = WithPictureMemory(width, height, [&] {
      return std::vector<std::uint8_t>(static_cast<std::size_t>(rowBytes * std::min(rowsPerBlock, height)),
                                       0);
    });
    int y = height - 1;
    while (y >= 0) {
      const int rows = std::min(rowsPerBlock, y + 1);
      // Row y - rows + 1 is the block's last; the rows above it follow upwards.
      fillRows(y - rows + 1, y + 1, block.data() + static_cast<std::size_t>((rows - 1) * rowBytes),
               -rowBytes);
      sink(reinterpret_cast<const char*>(block.data()), rows * rowBytes);
      y -= rows;
    }
  });
}

// ---- Reading ----------------------------------------------------------------

enum class Coding { kRaw, kRle8, kRle4, kBitFields };

// What the checks and the own decoding need from a file's headers.
struct BmpHeader {
  std::int64_t infoSize = 0;
  std::int64_t offset = 0;  // of the pixel data
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows, positive
  bool topDown = false;
  int bitCount = 0;
  Coding coding = Coding::kRaw;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  std::uint32_t alphaMask = 0;         // of bit field files with a header of 108 bytes or more
  std::uint32_t compression = 0;
  std::uint32_t planes = 1;
  std::uint32_t coloursUsed = 0;
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

// The headers of a file of `fileSize` bytes whose first bytes are `head`
// (the whole file, or at least its first kHeadBytes).
constexpr qint64 kHeadBytes = 4096;

BmpHeader ParseHeader(const QByteArray& head, std::int64_t fileSize) {
  const LittleEndian in(head);
  if (!in.has(0, 18) || head[0] != 'B' || head[1] != 'M') NotValid();
  BmpHeader h;
  h.offset = in.u32(10);
  const std::int64_t infoSize = in.u32(14);
  h.infoSize = infoSize;
  if (!in.has(14, infoSize)) NotValid();
  std::uint32_t compression = 0;
  bool windowsHeader = false;
  if (infoSize == 12) {  // the oldest header: 16-bit sizes
    h.width = in.u16(18);
    h.height = in.u16(20);
    h.planes = in.u16(22);
    h.bitCount = static_cast<int>(in.u16(24));
  } else if (infoSize >= 16 && infoSize <= 124) {
    windowsHeader = infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    h.width = in.i32(18);
    const std::int64_t height = in.i32(22);
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.planes = in.u16(26);
    h.bitCount = static_cast<int>(in.u16(28));
    if (infoSize >= 20) compression = in.u32(30);
    if (infoSize >= 36) h.coloursUsed = in.u32(46);
  } else {
    NotValid();
  }
  if (h.width <= 0 || h.height <= 0) NotValid();
  h.compression = compression;
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
    if (infoSize >= 108) h.alphaMask = in.u32(at + 12);
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
  const std::int64_t available = fileSize - h.offset;
  if (h.offset < 14 + infoSize || available <= 0) NotValid();
  if (h.coding == Coding::kRaw || h.coding == Coding::kBitFields) {
    // Pixel data cut short is refused rather than loaded half undefined. The
    // reader takes the pixels from the end of the colour table when the
    // table runs past the pixel offset, so the data is counted from there.
    std::int64_t dataStart = h.offset;
    if (h.bitCount <= 8) {
      const std::int64_t colours = h.coloursUsed ? h.coloursUsed : std::int64_t{1} << h.bitCount;
      dataStart = std::max(dataStart, kFileHeaderSize + infoSize + colours * (infoSize == 12 ? 3 : 4));
    }
    if (BmpRowBytes(h.width, h.bitCount) * h.height > fileSize - dataStart) NotValid();
  } else if (h.width * h.height > kRlePixelAllowance + kRlePixelsPerByte * available) {
    NotValid();
  }
  return h;
}

// Picture row of file row r (files are bottom-up unless the height is negative).
int PictureRow(const BmpHeader& h, std::int64_t fileRow) {
  return static_cast<int>(h.topDown ? fileRow : h.height - 1 - fileRow);
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
class MaskedRowDecoder {
 public:
  explicit MaskedRowDecoder(const BmpHeader& h)
      : red_(h.masks[0]), green_(h.masks[1]), blue_(h.masks[2]), step_(h.bitCount / 8) {}

  // One file row of `width` pixels into B, G, R bytes.
  void operator()(const std::uint8_t* in, int width, std::uint8_t* out) const {
    for (int x = 0; x < width; ++x, in += step_, out += 3) {
      const std::uint32_t pixel =
          step_ == 2 ? in[0] | in[1] << 8 : in[0] | in[1] << 8 | in[2] << 16 | std::uint32_t{in[3]} << 24;
      out[0] = blue_(pixel);
      out[1] = green_(pixel);
      out[2] = red_(pixel);
    }
  }

 private:
  ChannelMask red_, green_, blue_;
  int step_;
};

void DecodeMaskedPixels(const QByteArray& bytes, const BmpHeader& h, Bitmap& out) {
  const MaskedRowDecoder decode(h);
  const std::int64_t rowBytes = BmpRowBytes(h.width, h.bitCount);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  for (std::int64_t fileRow = 0; fileRow < out.height; ++fileRow)
    decode(data + h.offset + fileRow * rowBytes, out.width, out.row(PictureRow(h, fileRow)));
}

// Whether Qt's reader takes a 16- or 32-bit file that the checks of
// ParseHeader have let through: such files are decoded here without the
// reader, and must be refused exactly when it refuses them. The reader knows
// the header sizes 40, 64, 108 and 124 and reads any other as the oldest one,
// whose 16-bit width and height it takes as signed numbers; it wants one
// plane and of the codings no more than bit fields (3).
bool ReaderTakesMaskedFile(const BmpHeader& h) {
  if (h.planes != 1 || h.compression > 3) return false;
  // A bit field mask of all 32 bits has no channel range the reader can
  // scale (its maximum plus one is 0); the alpha mask counts too.
  if (h.coding == Coding::kBitFields) {
    for (std::uint32_t mask : {h.masks[0], h.masks[1], h.masks[2], h.alphaMask})
      if (mask == 0xFFFFFFFFu) return false;
  }
  switch (h.infoSize) {
    case 12:
      // A height of 32768 reads as -32768: the same number of rows, top-down.
      return h.width < 32768 && h.height <= 32768;
    case 40:
    case 64:
    case 108:
    case 124:
      return true;
    default:
      return false;
  }
}

// Reads and decodes the rows of a 16- or 32-bit file a block at a time, so
// that only the picture and one block are in memory. A file that turns out
// shorter than its headers said (it changed under us) is not valid.
void ReadMaskedRows(int fd, const QString& fileName, const BmpHeader& h, Bitmap& out) {
  const MaskedRowDecoder decode(h);
  const auto rowBytes = static_cast<std::size_t>(BmpRowBytes(h.width, h.bitCount));
  const std::int64_t rowsPerBlock = std::clamp<std::int64_t>((std::int64_t{1} << 22) / rowBytes, 1, h.height);
  std::vector<std::uint8_t> block(rowBytes * static_cast<std::size_t>(rowsPerBlock));
  for (std::int64_t fileRow = 0; fileRow < h.height;) {
    const std::int64_t rows = std::min(rowsPerBlock, h.height - fileRow);
    const std::size_t want = rowBytes * static_cast<std::size_t>(rows);
    std::size_t have = 0;
    while (have < want) {
      const ssize_t n = pread(fd, block.data() + have, want - have,
                              static_cast<off_t>(h.offset + fileRow * static_cast<std::int64_t>(rowBytes) +
                                                 static_cast<std::int64_t>(have)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw Error(messages::CannotOpenFile(fileName));
      if (n == 0) NotValid();
      have += static_cast<std::size_t>(n);
    }
    for (std::int64_t r = 0; r < rows; ++r)
      decode(block.data() + r * rowBytes, out.width, out.row(PictureRow(h, fileRow + r)));
    fileRow += rows;
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
  if (image.isNull()) RaiseOutOfMemory(source.width(), source.height());
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

// ---- Plain files -------------------------------------------------------------
//
// Uncompressed 24-bit files and 8-bit files with a colour table, under the
// 40-byte header, are by far the most common. Their pixel rows are read
// straight into the picture, the padding of each row skipped, with no
// intermediate picture: the same pixels, colour table and refusals as the
// general path below, which handles every other kind.

// The number of colour table entries of a plain file; 0 when the file is not
// plain (or has no table, for 24 bits: then `plain` tells).
struct PlainLayout {
  bool plain = false;
  int colours = 0;
};

PlainLayout PlainLayoutOf(const BmpHeader& h, std::int64_t headBytes) {
  PlainLayout layout;
  if (h.infoSize != 40 || h.planes != 1 || h.coding != Coding::kRaw || (h.bitCount != 8 && h.bitCount != 24))
    return layout;
  if (h.bitCount == 8) {
    const std::int64_t colours = h.coloursUsed ? h.coloursUsed : 256;
    // A table that overlaps the pixel data, or a larger one, goes the general way.
    const std::int64_t tableEnd = kFileHeaderSize + kInfoHeaderSize + 4 * colours;
    if (colours > 256 || tableEnd > h.offset || tableEnd > headBytes) return layout;
    layout.colours = static_cast<int>(colours);
  }
  layout.plain = true;
  return layout;
}

// The picture of a plain file, its colour table filled in from `head`.
Bitmap MakePlainBitmap(const QByteArray& head, const BmpHeader& h, const PlainLayout& layout) {
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  if (h.bitCount == 24) return Bitmap::Colour(width, height);
  Palette palette{};  // entries the file does not define are black
  const LittleEndian in(head);
  for (int i = 0; i < layout.colours; ++i) {
    const std::int64_t at = kFileHeaderSize + kInfoHeaderSize + 4 * i;
    palette[i] = {static_cast<std::uint8_t>(in.u8(at)), static_cast<std::uint8_t>(in.u8(at + 1)),
                  static_cast<std::uint8_t>(in.u8(at + 2))};
  }
  return Bitmap::Indexed(width, height, palette);
}

void CopyPlainRows(const QByteArray& bytes, const BmpHeader& h, Bitmap& out) {
  const std::int64_t fileRowBytes = BmpRowBytes(h.width, h.bitCount);
  for (std::int64_t r = 0; r < h.height; ++r)
    std::memcpy(out.row(PictureRow(h, r)), bytes.constData() + h.offset + r * fileRowBytes, out.rowBytes());
}

// Reads the rows of a plain file with scattered reads: each row lands in its
// place in the picture, the padding in a scratch buffer. A file that turns
// out shorter than its headers said (it changed under us) is not valid.
void ReadPlainRows(int fd, const QString& fileName, const BmpHeader& h, Bitmap& out) {
  const std::size_t rowBytes = out.rowBytes();
  const std::size_t padding = static_cast<std::size_t>(BmpRowBytes(h.width, h.bitCount)) - rowBytes;
  char scratch[4];
  constexpr int kMaxVectors = 512;
  std::vector<iovec> vectors;
  vectors.reserve(kMaxVectors);
  off_t at = static_cast<off_t>(h.offset);
  std::int64_t fileRow = 0;
  while (fileRow < h.height) {
    vectors.clear();
    for (; fileRow < h.height && static_cast<int>(vectors.size()) + 2 <= kMaxVectors; ++fileRow) {
      vectors.push_back({out.row(PictureRow(h, fileRow)), rowBytes});
      if (padding) vectors.push_back({scratch, padding});
    }
    std::size_t first = 0;
    while (first < vectors.size()) {
      const ssize_t n = preadv(fd, vectors.data() + first, static_cast<int>(vectors.size() - first), at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw Error(messages::CannotOpenFile(fileName));
      if (n == 0) NotValid();
      at += n;
      auto left = static_cast<std::size_t>(n);
      while (first < vectors.size() && left >= vectors[first].iov_len) left -= vectors[first++].iov_len;
      if (left) {
        vectors[first].iov_base = static_cast<char*>(vectors[first].iov_base) + left;
        vectors[first].iov_len -= left;
      }
    }
  }
}

// The general path: Qt's reader, guarded against its traps.
Bitmap DecodeWithReader(const QByteArray& bytes, const BmpHeader& h) {
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
    if (image.isNull()) RaiseOutOfMemory(width, height);
    image.setColorCount(256);
    image.fill(0);
  }
  if (!reader.read(&image) || image.isNull()) {
    image = QImage();
    // The reader refuses a sound file too when it cannot allocate its
    // picture (at most 4 bytes a pixel): tell that apart.
    if (QImage(width, height, QImage::Format_RGB32).isNull()) RaiseOutOfMemory(width, height);
    NotValid();
  }
  if (image.width() != width || image.height() != height) NotValid();
  if ((h.coding == Coding::kRle8 || h.coding == Coding::kRle4) && image.format() != QImage::Format_Indexed8)
    NotValid();

  if (h.bitCount == 16 || h.bitCount == 32) {
    Bitmap out = Bitmap::Colour(width, height);
    out.fileBitCount = h.bitCount;
    DecodeMaskedPixels(bytes, h, out);
    return out;
  }
  if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
    image = image.convertToFormat(QImage::Format_Indexed8);
    if (image.isNull()) RaiseOutOfMemory(width, height);
  }
  if (image.format() == QImage::Format_Indexed8) return FromIndexedImage(image, h.bitCount);
  return FromColourImage(image, h.bitCount);
}

bool IsMasked(const BmpHeader& h) { return h.bitCount == 16 || h.bitCount == 32; }

// The colour picture of a 16- or 32-bit file, before its pixels are decoded.
Bitmap MakeMaskedBitmap(const BmpHeader& h) {
  if (!ReaderTakesMaskedFile(h)) NotValid();
  Bitmap out = Bitmap::Colour(static_cast<int>(h.width), static_cast<int>(h.height));
  out.fileBitCount = h.bitCount;
  return out;
}

}  // namespace

Bitmap DecodeBitmap(const QByteArray& bytes) {
  const BmpHeader h = ParseHeader(bytes, bytes.size());
  return WithPictureMemory(h.width, h.height, [&] {
    if (IsMasked(h)) {
      Bitmap out = MakeMaskedBitmap(h);
      DecodeMaskedPixels(bytes, h, out);
      return out;
    }
    const PlainLayout layout = PlainLayoutOf(h, bytes.size());
    if (!layout.plain) return DecodeWithReader(bytes, h);
    Bitmap out = MakePlainBitmap(bytes, h, layout);
    CopyPlainRows(bytes, h, out);
    return out;
  });
}

Bitmap DecodeBitmapWithReader(const QByteArray& bytes) {
  return DecodeWithReader(bytes, ParseHeader(bytes, bytes.size()));
}

Bitmap LoadBitmap(const QString& fileName) {
  QFile file(fileName);
  if (fileName.isEmpty() || !QFileInfo(fileName).isFile() ||
      !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
    throw Error(messages::CannotOpenFile(fileName));
  const qint64 size = file.size();
  const QByteArray head = file.read(std::min(size, kHeadBytes));
  if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
  const BmpHeader h = ParseHeader(head, size);
  return WithPictureMemory(h.width, h.height, [&] {
    if (IsMasked(h)) {
      Bitmap out = MakeMaskedBitmap(h);
      ReadMaskedRows(file.handle(), fileName, h, out);
      return out;
    }
    const PlainLayout layout = PlainLayoutOf(h, head.size());
    if (layout.plain) {
      Bitmap out = MakePlainBitmap(head, h, layout);
      ReadPlainRows(file.handle(), fileName, h, out);
      return out;
    }
    if (head.size() == size) return DecodeWithReader(head, h);
    // Every other kind: the whole file, through the reader.
    if (!file.seek(0)) throw Error(messages::CannotOpenFile(fileName));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
    return DecodeWithReader(bytes, ParseHeader(bytes, bytes.size()));
  });
}

std::int64_t BmpRowBytes(std::int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

namespace {

// One row at a time, in blocks of about 1 MB.
RowBandFiller EachRow(const std::function<void(int y, std::uint8_t* out)>& fillRow) {
  return [fillRow](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
    for (int y = begin; y < end; ++y, out += stride) fillRow(y, out);
  };
}
constexpr std::int64_t kRowBlockBytes = std::int64_t{1} << 20;

}  // namespace

void SaveBitmap(const Bitmap& bitmap, const QString& fileName) {
  const std::size_t rowBytes = bitmap.rowBytes();
  WriteBmp(fileName, bitmap.width, bitmap.height, bitmap.indexed ? 8 : 24,
           bitmap.indexed ? &bitmap.palette : nullptr, kRowBlockBytes,
           EachRow([&](int y, std::uint8_t* out) { std::memcpy(out, bitmap.row(y), rowBytes); }));
}

void SaveBitmap24Bands(const QString& fileName, int width, int height, const RowBandFiller& fillRows) {
  // Bands large enough to share out between threads.
  WriteBmp(fileName, width, height, 24, nullptr, std::int64_t{4} << 20, fillRows);
}

void SaveBitmap24(const QImage& image, const QString& fileName) {
  const QImage rgb =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  WriteBmp(fileName, rgb.width(), rgb.height(), 24, nullptr, kRowBlockBytes,
           EachRow([&](int y, std::uint8_t* out) {
             const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
             for (int x = 0; x < rgb.width(); ++x) {
               *out++ = static_cast<std::uint8_t>(qBlue(in[x]));
               *out++ = static_cast<std::uint8_t>(qGreen(in[x]));
               *out++ = static_cast<std::uint8_t>(qRed(in[x]));
             }
           }));
}

}  // namespace skarvel
