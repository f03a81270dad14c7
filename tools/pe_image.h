// What the doctor needs to know of a DLL file: its machine, whether it is a DLL, and
// the names it exports. The file's bytes come from outside, so every read goes
// through a bounds-checked cursor and a malformed file is an answer, not a crash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestra_tool {

inline constexpr std::uint16_t kMachineX86 = 0x014c;
inline constexpr std::uint16_t kMachineX64 = 0x8664;

struct PeImage {
  bool valid = false;
  std::string problem;  // why the bytes are not a readable PE image, when !valid
  std::uint16_t machine = 0;
  bool is_dll = false;
  std::vector<std::string> exports;  // by name, in the export table's order
};

PeImage ReadPeImage(std::string_view bytes);

}  // namespace kestra_tool
