// The POSIX registry store's .reg parser: any bytes parse, and what it keeps is well
// formed (numbers of 4 bytes, strings ended by a NUL, named keys).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<platform::RegFileKey> keys;
  std::size_t skipped = 0;
  bool parsed = platform::ParseRegFile(text, &keys, &skipped);
  if (!parsed && !keys.empty()) std::abort();
  // Values written as hex(N) may hold any bytes; the other notations are checked.
  bool any_hex_type = false;
  for (std::size_t i = 0; i + 4 <= text.size() && !any_hex_type; ++i) {
    any_hex_type = (text[i] | 0x20) == 'h' && (text[i + 1] | 0x20) == 'e' &&
                   (text[i + 2] | 0x20) == 'x' && text[i + 3] == '(';
  }
  for (const auto& k : keys) {
    if (k.path.empty() || k.path.back() == '\\') std::abort();
    for (const auto& named : k.values) {
      const platform::RegFileValue& value = named.second;
      if (any_hex_type) continue;
      if (value.type == platform::kRegDword && value.data.size() != 4) std::abort();
      if (value.type == platform::kRegSz && (value.data.empty() || value.data.back() != 0)) {
        std::abort();
      }
    }
  }
  return 0;
}
