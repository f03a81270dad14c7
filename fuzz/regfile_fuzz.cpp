// The REGEDIT4 parser behind the POSIX registry store: any bytes parse, what it keeps is
// well formed (numbers of 4 bytes, strings ended by a NUL, named keys), and a registry
// loads whatever it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/memory_registry.h"
#include "platform/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<platform::RegFile> file = platform::ParseRegFile(text);
  platform::MemoryRegistry registry;
  if (registry.Load(text) != file.has_value()) std::abort();
  if (!file) return 0;
  // Values written as hex(N) may hold any bytes; the other notations are checked.
  bool any_hex_type = false;
  for (std::size_t i = 0; i + 4 <= text.size() && !any_hex_type; ++i) {
    any_hex_type = (text[i] | 0x20) == 'h' && (text[i + 1] | 0x20) == 'e' &&
                   (text[i + 2] | 0x20) == 'x' && text[i + 3] == '(';
  }
  for (const auto& k : file->keys) {
    if (k.path.empty() || k.path.back() == '\\') std::abort();
    for (const auto& named : k.values) {
      const platform::RegValue& value = named.second;
      if (any_hex_type) continue;
      if (value.type == platform::kRegDword && value.data.size() != 4) std::abort();
      if (value.type == platform::kRegSz && (value.data.empty() || value.data.back() != 0)) {
        std::abort();
      }
    }
  }
  return 0;
}
