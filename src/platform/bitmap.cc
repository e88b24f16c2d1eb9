#include "platform/bitmap.h"

#include "platform/error.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace skarvel {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// From this size on a buffer is worth its own huge pages.
constexpr std::size_t kHugeThreshold = std::size_t{4} << 20;
}  // namespace

template <typename T>
void* PixelAllocator<T>::AllocatePixels(std::size_t bytes) {
  if (bytes < kHugeThreshold) return ::operator new(bytes);
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p == nullptr) throw std::bad_alloc();
  // Only advice: without transparent huge pages the memory is ordinary.
  madvise(p, rounded, MADV_HUGEPAGE);
  return p;
}

template <typename T>
void PixelAllocator<T>::FreePixels(void* p, std::size_t bytes) noexcept {
  if (bytes < kHugeThreshold)
    ::operator delete(p);
  else
    std::free(p);
}

template struct PixelAllocator<std::uint8_t>;

const Palette& GreyPalette() {
  static const Palette palette = [] {
    Palette p;
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<std::uint8_t>(i);
      p[i] = {v, v, v};
    }
    return p;
  }();
  return palette;
}

void CheckBitmapSize(std::int64_t width, std::int64_t height, int bytesPerPixel, std::int64_t extraBytes) {
  if (width < 1 || height < 1)
    throw Error(QStringLiteral("Ширина и высота изображения должны быть не меньше 1 пикс. (задано %1 × %2)")
                    .arg(width)
                    .arg(height));
  // Both factors are below 2^32, so the product cannot overflow 64 bits
  // before the comparison when one of them is checked first.
  if (width > kBitmapMemoryLimit || height > kBitmapMemoryLimit || extraBytes > kBitmapMemoryLimit ||
      width * height > (kBitmapMemoryLimit - extraBytes) / bytesPerPixel)
    throw Error(QStringLiteral("Изображение %1 × %2 пикс. слишком велико (больше %3 МБ в памяти)")
                    .arg(width)
                    .arg(height)
                    .arg(kBitmapMemoryLimit >> 20));
}

void RaiseOutOfMemory(std::int64_t width, std::int64_t height) {
  throw Error(QStringLiteral("Недостаточно памяти для изображения %1 × %2 пикс.").arg(width).arg(height));
}

Bitmap Bitmap::Colour(int width, int height) {
  CheckBitmapSize(width, height, 3);
  Bitmap b;
  b.width = width;
  b.height = height;
  b.fileBitCount = 24;
  b.indexed = false;
  WithPictureMemory(width, height,
                    [&] { b.pixels.assign(b.rowBytes() * static_cast<std::size_t>(height), 0xFF); });
  return b;
}

Bitmap Bitmap::Indexed(int width, int height, const Palette& palette) {
  CheckBitmapSize(width, height, 1);
  Bitmap b;
  b.width = width;
  b.height = height;
  b.fileBitCount = 8;
  b.indexed = true;
  b.palette = palette;
  WithPictureMemory(width, height,
                    [&] { b.pixels.assign(b.rowBytes() * static_cast<std::size_t>(height), 0); });
  return b;
}

Bitmap Bitmap::ToBeWritten(int width, int height, bool indexed, const Palette& palette) {
  CheckBitmapSize(width, height, indexed ? 1 : 3);
  Bitmap b;
  b.width = width;
  b.height = height;
  b.fileBitCount = indexed ? 8 : 24;
  b.indexed = indexed;
  if (indexed) b.palette = palette;
  WithPictureMemory(width, height, [&] { b.pixels.resize(b.rowBytes() * static_cast<std::size_t>(height)); });
  return b;
}

void ColourRow(const Bitmap& bitmap, int y, std::uint8_t* out) {
  const std::uint8_t* in = bitmap.row(y);
  if (!bitmap.indexed) {
    std::memcpy(out, in, bitmap.rowBytes());
    return;
  }
  for (int x = 0; x < bitmap.width; ++x, out += 3) {
    const Bgr c = bitmap.palette[in[x]];
    out[0] = c.b;
    out[1] = c.g;
    out[2] = c.r;
  }
}

QImage ToQImage(const Bitmap& bitmap) {
  if (bitmap.empty()) return {};
  QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < bitmap.height; ++y) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.width; ++x) {
      const Bgr c = bitmap.colour(x, y);
      out[x] = qRgb(c.r, c.g, c.b);
    }
  }
  return image;
}

}  // namespace skarvel
