#pragma once
// The ways hostile input gets into the system, one entry function each.
//
// Every entry function takes arbitrary bytes, feeds them through one reader
// or text rule of the core the way the program would, and checks what must
// hold for any input: a refusal is a skarvel::Error with its message (the
// readers' own faults go through the message sink, installed here as a
// silent recorder), never another exception; what is accepted is sound
// (finite numbers, pixels where the picture says, texts of the stated form).
// A property that does not hold throws Finding.
//
// The same functions run under libFuzzer (fuzz/fuzz_main.cc, built with
// -DSKARVEL_FUZZ=ON) and in the ordinary tests, which replay the stored seeds
// and every input a fuzzer once found (tests/fuzz/).

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace skarvel::fuzz {

// A property of the system that an input broke.
class Finding : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Throws Finding with `what` unless `condition` holds.
void Require(bool condition, const std::string& what);

struct Target {
  const char* name;  // also the folder of its seeds and regressions
  const char* what;
  void (*run)(const std::uint8_t* data, std::size_t size);
};

// Every target, in a fixed order.
std::span<const Target> Targets();
// The target of that name, nullptr when there is none.
const Target* FindTarget(std::string_view name);

// The entry functions.
void FuzzBitmap(const std::uint8_t* data, std::size_t size);
void FuzzImageGeometry(const std::uint8_t* data, std::size_t size);
void FuzzCameraFile(const std::uint8_t* data, std::size_t size);
void FuzzFovList(const std::uint8_t* data, std::size_t size);
void FuzzNumbers(const std::uint8_t* data, std::size_t size);
void FuzzShortNumber(const std::uint8_t* data, std::size_t size);
void FuzzColourTexts(const std::uint8_t* data, std::size_t size);
void FuzzJpeg(const std::uint8_t* data, std::size_t size);
void FuzzPng(const std::uint8_t* data, std::size_t size);
void FuzzTiff(const std::uint8_t* data, std::size_t size);

}  // namespace skarvel::fuzz
