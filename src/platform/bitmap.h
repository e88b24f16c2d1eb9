#pragma once
// The system's in-memory picture.
//
// A picture is either a colour picture, three bytes per pixel in the order
// blue, green, red (the byte order of a 24-bit bitmap file), or an indexed
// picture, one palette index per pixel with a 256-entry palette. Rows are
// stored from the top of the picture down, columns from the left, one row
// right after the other with no padding. Pixel memory is always initialised.
//
// A picture loaded from a file remembers the file's bits per pixel: files of
// 1, 4 and 8 bits per pixel load as indexed pictures (the indices are the
// file's own), all others as colour pictures. Pictures the system makes are
// colour pictures (24) or grey indexed pictures (8).

#include <QImage>

#include <array>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace skarvel {

// One colour as the bytes of a 24-bit bitmap pixel.
struct Bgr {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
  friend bool operator==(const Bgr&, const Bgr&) = default;
};

using Palette = std::array<Bgr, 256>;

// Entry i holds red = green = blue = i: the palette of the grey pictures the
// colour composition writes, so that a pixel's byte is its grey level.
const Palette& GreyPalette();

// Pixel memory above this many bytes is refused, for pictures read from files
// and for pictures the operations make (1 GiB: an 8000 x 8000 photograph
// takes 192 MB as a colour picture, a 16384 x 16384 one 768 MB).
inline constexpr std::int64_t kBitmapMemoryLimit = std::int64_t{1} << 30;

// Storage of picture rows. Large pictures are placed on 2 MiB boundaries and
// offered to the kernel for transparent huge pages: a 6000 x 4000 picture is
// then a few dozen page faults instead of tens of thousands, which is a
// measurable part of a whole run. Small pictures use the ordinary heap.
template <typename T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return static_cast<T*>(AllocatePixels(n * sizeof(T))); }
  // Elements made without a value are left as the memory holds them (resize
  // does not clear): only Bitmap::ToBeWritten makes them, for pixels that are
  // all written at once. Every other way in gives a value.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  void deallocate(T* p, std::size_t n) noexcept { FreePixels(p, n * sizeof(T)); }

  template <typename U>
  friend bool operator==(const PixelAllocator&, const PixelAllocator<U>&) noexcept {
    return true;
  }

 private:
  static void* AllocatePixels(std::size_t bytes);
  static void FreePixels(void* p, std::size_t bytes) noexcept;
  template <typename>
  friend struct PixelAllocator;
};

using PixelBuffer = std::vector<std::uint8_t, PixelAllocator<std::uint8_t>>;

struct Bitmap {
  int width = 0;
  int height = 0;
  // Bits per pixel of the file the picture came from (24 or 8 when made).
  int fileBitCount = 24;
  bool indexed = false;
  Palette palette{};   // indexed pictures only
  PixelBuffer pixels;  // rows from the top, no padding

  // A white colour picture; raises "Изображение ... слишком велико" beyond the
  // memory limit and the out-of-memory message when the memory runs out.
  static Bitmap Colour(int width, int height);
  // An indexed picture of index 0 with the given palette; 8 bits per pixel.
  static Bitmap Indexed(int width, int height, const Palette& palette);
  // A colour picture, or an indexed one with `palette`, whose pixels are not
  // cleared: for readers that write every pixel before the picture is used
  // (and drop it when they cannot), so that the memory is gone through once.
  static Bitmap ToBeWritten(int width, int height, bool indexed, const Palette& palette = {});

  int bytesPerPixel() const { return indexed ? 1 : 3; }
  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * bytesPerPixel(); }
  bool empty() const { return width <= 0 || height <= 0; }
  std::uint8_t* row(int y) { return pixels.data() + rowBytes() * static_cast<std::size_t>(y); }
  const std::uint8_t* row(int y) const { return pixels.data() + rowBytes() * static_cast<std::size_t>(y); }

  // The colour of pixel (x, y): the palette colour for indexed pictures.
  Bgr colour(int x, int y) const {
    const std::uint8_t* p = row(y);
    if (indexed) return palette[p[x]];
    p += 3 * static_cast<std::size_t>(x);
    return {p[0], p[1], p[2]};
  }
};

// The colours of row y as B, G, R bytes (width x 3 bytes at `out`).
void ColourRow(const Bitmap& bitmap, int y, std::uint8_t* out);

// Raises the "too large" error when width x height pixels of the given size,
// and `extraBytes` more that an operation needs for the picture, would exceed
// the memory limit (or a dimension is not positive).
void CheckBitmapSize(std::int64_t width, std::int64_t height, int bytesPerPixel, std::int64_t extraBytes = 0);

// Memory that runs out while a picture of that size is loaded or made:
// "Недостаточно памяти для изображения %1 × %2 пикс.".
[[noreturn]] void RaiseOutOfMemory(std::int64_t width, std::int64_t height);

// Runs `work`; memory running out anywhere in it (std::bad_alloc) ends in the
// out-of-memory message for a picture of that size.
template <typename Work>
decltype(auto) WithPictureMemory(std::int64_t width, std::int64_t height, Work&& work) {
  try {
    return std::forward<Work>(work)();
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory(width, height);
  }
}

// The picture as a 32-bit Qt image, for showing it.
QImage ToQImage(const Bitmap& bitmap);

}  // namespace skarvel
