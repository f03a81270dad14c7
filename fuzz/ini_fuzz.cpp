// The POSIX INI reader: any bytes parse, lines come back trimmed, and the profile
// answers are single lines of text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace {
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}
bool IsOneLine(std::string_view text) {
  return text.find('\n') == std::string_view::npos && text.find('\0') == std::string_view::npos;
}
void Check(bool ok) {
  if (!ok) std::abort();
}
// Each answer looks its section up among all of them, so asking about every section of
// an input with hundreds of them costs quadratic time and nothing new. The first
// sections and entries, which the fuzzer can make any it likes, are enough.
constexpr std::size_t kSectionsChecked = 4;
constexpr std::size_t kEntriesChecked = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<platform::IniSection> sections = platform::ParseIni(text);
  for (const auto& s : sections) {
    for (const auto& e : s.entries) {
      Check(IsOneLine(e.key));
      Check(e.value.empty() || (!IsSpace(e.value.front()) && !IsSpace(e.value.back())));
      if (!e.has_value) Check(e.value.empty());
    }
  }
  // The first sections found: every line of a section is a non-empty line of the
  // text, and so is every value.
  for (std::size_t i = 0; i < sections.size() && i < kSectionsChecked; ++i) {
    const auto& s = sections[i];
    for (const std::string& line : platform::IniLines(sections, s.name)) {
      Check(!line.empty() && IsOneLine(line) && line.size() <= size);
    }
    for (std::size_t j = 0; j < s.entries.size() && j < kEntriesChecked; ++j) {
      const std::string value = platform::IniValue(sections, s.name, s.entries[j].key);
      Check(IsOneLine(value) && value.size() <= size);
    }
  }
  return 0;
}
