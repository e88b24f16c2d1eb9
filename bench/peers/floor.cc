// floor IN OUT: reads a file whole and writes it back: the least any
// operation on that file costs.

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  std::fseek(in, 0, SEEK_END);
  const long size = std::ftell(in);
  std::fseek(in, 0, SEEK_SET);
  std::vector<char> data(static_cast<size_t>(size));
  if (std::fread(data.data(), 1, data.size(), in) != data.size()) return 1;
  std::fclose(in);
  FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  if (std::fwrite(data.data(), 1, data.size(), out) != data.size()) return 1;
  return std::fclose(out) == 0 ? 0 : 1;
}
