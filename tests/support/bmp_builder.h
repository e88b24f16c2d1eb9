#pragma once
// Bitmap files of every kind, assembled byte by byte for the loader's tests.

#include <QByteArray>
#include <QRgb>

#include <cstdint>
#include <vector>

namespace skarvel::testing {

struct BmpLayout {
  int width = 1;
  int height = 1;
  int bitCount = 24;
  bool topDown = false;
  std::uint32_t compression = 0;     // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
  std::vector<std::uint32_t> masks;  // red, green, blue: written after the info header
  std::vector<QRgb> palette;         // colour table entries
  bool coreHeader = false;           // the 12-byte header with 3-byte table entries
  // Size of a Windows info header: 40, or more with zeros after the 40 bytes
  // (and after the masks, which then lie inside it).
  std::uint32_t infoSize = 40;
};

// A file of `layout` whose pixels, given row by row from the top, are palette
// indices (1, 4, 8 bits), raw pixel values (16, 32 bits) or 0x00RRGGBB
// colours (24 bits). Rows are stored bottom-up unless layout.topDown.
QByteArray MakeBmp(const BmpLayout& layout, const std::vector<std::uint32_t>& pixels);

// A run-length coded file (layout.compression 1 or 2) with the given code bytes.
QByteArray MakeRleBmp(const BmpLayout& layout, const QByteArray& codes);

}  // namespace skarvel::testing
