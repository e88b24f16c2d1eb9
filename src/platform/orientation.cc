// The camera's orientation: reading it from TIFF-structured data and turning
// a picture by it.

#include "platform/photo_readers.h"

#include <cstring>

namespace skarvel {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

class TiffBytes {
 public:
  TiffBytes(const std::uint8_t* data, std::size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}
  bool has(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
  std::uint32_t u16(std::size_t at) const {
    return bigEndian_ ? data_[at] << 8 | data_[at + 1] : data_[at] | data_[at + 1] << 8;
  }
  std::uint32_t u32(std::size_t at) const {
    return bigEndian_ ? u16(at) << 16 | u16(at + 2) : u16(at) | u16(at + 2) << 16;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool bigEndian_;
};

}  // namespace

int TiffStructureOrientation(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 1;
  bool bigEndian;
  if (data[0] == 'I' && data[1] == 'I') {
    bigEndian = false;
  } else if (data[0] == 'M' && data[1] == 'M') {
    bigEndian = true;
  } else {
    return 1;
  }
  const TiffBytes in(data, size, bigEndian);
  if (in.u16(2) != 42) return 1;
  // The first directory describes the main picture.
  const std::size_t ifd = in.u32(4);
  if (!in.has(ifd, 2)) return 1;
  const std::size_t entries = in.u16(ifd);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (!in.has(entry, 12)) return 1;
    if (in.u16(entry) != kOrientationTag) continue;
    if (in.u16(entry + 2) != kShortType || in.u32(entry + 4) < 1) return 1;
    const std::uint32_t value = in.u16(entry + 8);  // a short sits at the start of the value field
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

Bitmap Oriented(Bitmap bitmap, int orientation) {
  if (orientation < 2 || orientation > 8) return bitmap;
  const bool swaps = orientation >= 5;
  const int w = bitmap.width, h = bitmap.height;
  const int outWidth = swaps ? h : w, outHeight = swaps ? w : h;
  Bitmap out = bitmap.indexed ? Bitmap::Indexed(outWidth, outHeight, bitmap.palette)
                              : Bitmap::Colour(outWidth, outHeight);
  out.fileBitCount = bitmap.fileBitCount;
  const int bytes = bitmap.bytesPerPixel();
  // Source pixel (sx, sy) of picture pixel (x, y): sx = ax * x + bx * y + cx,
  // sy = ay * x + by * y + cy.
  int ax = 0, bx = 0, cx = 0, ay = 0, by = 0, cy = 0;
  switch (orientation) {
    case 2:
      ax = -1, cx = w - 1, by = 1;
      break;
    case 3:
      ax = -1, cx = w - 1, by = -1, cy = h - 1;
      break;
    case 4:
      ax = 1, by = -1, cy = h - 1;
      break;
    case 5:
      bx = 1, ay = 1;
      break;
    case 6:
      bx = 1, ay = -1, cy = h - 1;
      break;
    case 7:
      bx = -1, cx = w - 1, ay = -1, cy = h - 1;
      break;
    case 8:
      bx = -1, cx = w - 1, ay = 1;
      break;
  }
  const std::ptrdiff_t sourceRow = static_cast<std::ptrdiff_t>(bitmap.rowBytes());
  const std::ptrdiff_t step = (static_cast<std::ptrdiff_t>(ax) * bytes) + ay * sourceRow;
  for (int y = 0; y < outHeight; ++y) {
    const int sx = bx * y + cx, sy = by * y + cy;
    const std::uint8_t* in = bitmap.pixels.data() + sy * sourceRow + static_cast<std::ptrdiff_t>(sx) * bytes;
    std::uint8_t* o = out.row(y);
    if (bytes == 1) {
      for (int x = 0; x < outWidth; ++x, in += step) o[x] = *in;
    } else {
      for (int x = 0; x < outWidth; ++x, in += step, o += 3) std::memcpy(o, in, 3);
    }
  }
  return out;
}

}  // namespace skarvel
