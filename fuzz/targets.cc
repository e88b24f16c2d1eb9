#include "fuzz/targets.h"

#include <array>

namespace skarvel::fuzz {
namespace {

constexpr std::array<Target, 10> kTargets = {{
    {"bitmap", "bitmap files: the bytes and the same bytes as a file, every bit count and coding",
     FuzzBitmap},
    {"image_geometry", "image geometry files: the line parser and the file reader", FuzzImageGeometry},
    {"camera", "camera files with their companion file (two parts)", FuzzCameraFile},
    {"fov_list", "a field-of-view scene: selector byte, then list, geometry, camera and companion files",
     FuzzFovList},
    {"numbers", "the number and integer grammars with both separators", FuzzNumbers},
    {"short_number", "the number-to-text rule of lengths, for any double", FuzzShortNumber},
    {"colour_texts", "the edit texts of the colour composition window", FuzzColourTexts},
    {"jpeg", "JPEG photographs: the reader, the dispatcher and a misnamed file", FuzzJpeg},
    {"png", "PNG pictures: the reader, the dispatcher and a misnamed file", FuzzPng},
    {"tiff", "TIFF photographs: the reader, the dispatcher and a misnamed file", FuzzTiff},
}};

}  // namespace

std::span<const Target> Targets() { return kTargets; }

const Target* FindTarget(std::string_view name) {
  for (const Target& target : kTargets)
    if (name == target.name) return &target;
  return nullptr;
}

}  // namespace skarvel::fuzz
