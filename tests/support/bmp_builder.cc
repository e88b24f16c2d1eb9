#include "support/bmp_builder.h"

namespace skarvel::testing {
namespace {

void Put(QByteArray& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

QByteArray Headers(const BmpSpec& spec, std::uint32_t dataSize) {
  QByteArray info;
  if (spec.coreHeader) {
    Put(info, 12, 4);
    Put(info, static_cast<std::uint32_t>(spec.width), 2);
    Put(info, static_cast<std::uint32_t>(spec.height), 2);
    Put(info, 1, 2);
    Put(info, static_cast<std::uint32_t>(spec.bitCount), 2);
  } else {
    Put(info, 40, 4);
    Put(info, static_cast<std::uint32_t>(spec.width), 4);
    Put(info, static_cast<std::uint32_t>(spec.topDown ? -spec.height : spec.height), 4);
    Put(info, 1, 2);
    Put(info, static_cast<std::uint32_t>(spec.bitCount), 2);
    Put(info, spec.compression, 4);
    Put(info, dataSize, 4);
    Put(info, 0, 4);
    Put(info, 0, 4);
    Put(info, static_cast<std::uint32_t>(spec.palette.size()), 4);
    Put(info, 0, 4);
    for (std::uint32_t m : spec.masks) Put(info, m, 4);
  }
  for (QRgb c : spec.palette) {
    info.append(static_cast<char>(qBlue(c)));
    info.append(static_cast<char>(qGreen(c)));
    info.append(static_cast<char>(qRed(c)));
    if (!spec.coreHeader) info.append('\0');
  }
  QByteArray file("BM");
  const auto offset = static_cast<std::uint32_t>(14 + info.size());
  Put(file, offset + dataSize, 4);
  Put(file, 0, 4);
  Put(file, offset, 4);
  return file + info;
}

}  // namespace

QByteArray MakeBmp(const BmpSpec& spec, const std::vector<std::uint32_t>& pixels) {
  const int rowBytes = (spec.width * spec.bitCount + 31) / 32 * 4;
  QByteArray data(rowBytes * spec.height, '\0');
  for (int y = 0; y < spec.height; ++y) {
    const int fileRow = spec.topDown ? y : spec.height - 1 - y;
    auto* row = reinterpret_cast<std::uint8_t*>(data.data()) + fileRow * rowBytes;
    for (int x = 0; x < spec.width; ++x) {
      const std::uint32_t v = pixels[static_cast<std::size_t>(y) * spec.width + x];
      switch (spec.bitCount) {
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
  return Headers(spec, static_cast<std::uint32_t>(data.size())) + data;
}

QByteArray MakeRleBmp(const BmpSpec& spec, const QByteArray& codes) {
  return Headers(spec, static_cast<std::uint32_t>(codes.size())) + codes;
}

}  // namespace skarvel::testing
