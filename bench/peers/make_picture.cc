// make_picture WIDTH HEIGHT BITS OUT.bmp
// Writes an uncompressed BMP (24 bits, or 8 bits with a grey palette) of a
// smooth aerial-looking pattern with fine noise, so that no operation can
// profit from flat areas.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

static void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
static void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), bits = std::atoi(argv[3]);
  if ((bits != 24 && bits != 8) || width <= 0 || height <= 0) return 2;
  const int bytesPerPixel = bits / 8;
  const uint32_t stride = (static_cast<uint32_t>(width) * bytesPerPixel + 3) & ~3u;
  const uint32_t paletteSize = bits == 8 ? 1024 : 0;
  const uint32_t offset = 54 + paletteSize;
  std::vector<uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  Put32(header, offset + stride * static_cast<uint32_t>(height));
  Put32(header, 0);
  Put32(header, offset);
  Put32(header, 40);
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  Put16(header, 1);
  Put16(header, static_cast<uint32_t>(bits));
  Put32(header, 0);
  Put32(header, stride * static_cast<uint32_t>(height));
  Put32(header, 3780);
  Put32(header, 3780);
  Put32(header, bits == 8 ? 256 : 0);
  Put32(header, 0);
  for (uint32_t i = 0; i < paletteSize / 4; ++i) {
    header.push_back(i);
    header.push_back(i);
    header.push_back(i);
    header.push_back(0);
  }
  FILE* out = std::fopen(argv[4], "wb");
  if (out == nullptr) return 1;
  std::fwrite(header.data(), 1, header.size(), out);
  std::vector<uint8_t> row(stride, 0);
  uint32_t seed = 12345;
  for (int y = height - 1; y >= 0; --y) {  // rows bottom-up
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double fields = 0.5 + 0.25 * std::sin(x * 0.013) * std::cos(y * 0.011) + 0.15 * std::sin((x + y) * 0.002);
      const int noise = static_cast<int>(seed >> 27) - 16;
      auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      const int base = static_cast<int>(fields * 200) + noise;
      if (bits == 8) {
        row[static_cast<size_t>(x)] = clamp(base);
      } else {
        row[static_cast<size_t>(x) * 3 + 0] = clamp(base - 30 + noise / 2);  // blue
        row[static_cast<size_t>(x) * 3 + 1] = clamp(base + 10);              // green
        row[static_cast<size_t>(x) * 3 + 2] = clamp(base + 5 - noise);       // red
      }
    }
    std::fwrite(row.data(), 1, stride, out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
