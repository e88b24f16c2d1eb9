#include "support/bmp_builder.h"

#include <algorithm>

namespace skarvel::testing {
namespace {

void Put(QByteArray& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

QByteArray Headers(const BmpLayout& layout, std::uint32_t dataSize) {
  QByteArray info;
  if (layout.coreHeader) {
    Put(info, 12, 4);
    Put(info, static_cast<std::uint32_t>(layout.width), 2);
    Put(info, static_cast<std::uint32_t>(layout.height), 2);
    Put(info, 1, 2);
    Put(info, static_cast<std::uint32_t>(layout.bitCount), 2);
  } else {
    Put(info, layout.infoSize, 4);
    Put(info, static_cast<std::uint32_t>(layout.width), 4);
    Put(info, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height), 4);
    Put(info, 1, 2);
    Put(info, static_cast<std::uint32_t>(layout.bitCount), 2);
    Put(info, layout.compression, 4);
    Put(info, dataSize, 4);
    Put(info, 0, 4);
    Put(info, 0, 4);
    Put(info, static_cast<std::uint32_t>(layout.palette.size()), 4);
    Put(info, 0, 4);
    for (std::uint32_t m : layout.masks) Put(info, m, 4);
    if (layout.infoSize > 40)
      info.append(QByteArray(
          std::max<int>(0, static_cast<int>(layout.infoSize) - static_cast<int>(info.size())), '\0'));
  }
  for (QRgb c : layout.palette) {
    info.append(static_cast<char>(qBlue(c)));
    info.append(static_cast<char>(qGreen(c)));
    info.append(static_cast<char>(qRed(c)));
    if (!layout.coreHeader) info.append('\0');
  }
  QByteArray file("BM");
  const auto offset = static_cast<std::uint32_t>(14 + info.size());
  Put(file, offset + dataSize, 4);
  Put(file, 0, 4);
  Put(file, offset, 4);
  return file + info;
}

}  // namespace

QByteArray MakeBmp(const BmpLayout& layout, const std::vector<std::uint32_t>& pixels) {
  const int rowBytes = (layout.width * layout.bitCount + 31) / 32 * 4;
  QByteArray data(rowBytes * layout.height, '\0');
  for (int y = 0; y < layout.height; ++y) {
    const int fileRow = layout.topDown ? y : layout.height - 1 - y;
    auto* row = reinterpret_cast<std::uint8_t*>(data.data()) + fileRow * rowBytes;
    for (int x = 0; x < layout.width; ++x) {
      const std::uint32_t v = pixels[static_cast<std::size_t>(y) * layout.width + x];
      switch (layout.bitCount) {
        case 1:
          row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
          break;
        case 4:
          row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4));
          break;
        case 8:
          row[x] = static_cast<std::uint8_t>(v);
          break;
        case 16:
          row[2 * x] = v & 0xFF, row[2 * x + 1] = (v >> 8) & 0xFF;
          break;
        case 24:
          row[3 * x] = qBlue(v), row[3 * x + 1] = qGreen(v), row[3 * x + 2] = qRed(v);
          break;
        case 32:
          for (int i = 0; i < 4; ++i) row[4 * x + i] = (v >> (8 * i)) & 0xFF;
          break;
      }
    }
  }
  return Headers(layout, static_cast<std::uint32_t>(data.size())) + data;
}

QByteArray MakeRleBmp(const BmpLayout& layout, const QByteArray& codes) {
  return Headers(layout, static_cast<std::uint32_t>(codes.size())) + codes;
}

}  // namespace skarvel::testing
