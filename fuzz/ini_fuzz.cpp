// The POSIX INI reader: any bytes parse, lines come back trimmed, and the profile
// answers keep their buffer contract at every buffer size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace {
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}
void Check(bool ok) {
  if (!ok) std::abort();
}
// Each profile answer parses the whole text again, so asking about every section of an
// input with hundreds of them costs quadratic time and nothing new (an input of 200
// sections took 108 ms a run; corpus file many-sections). The first sections and
// entries, which the fuzzer can make any it likes, are enough.
constexpr std::size_t kSectionsChecked = 4;
constexpr std::size_t kEntriesChecked = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<platform::IniSection> sections = platform::ParseIni(text);
  for (const auto& s : sections) {
    for (const auto& e : s.entries) {
      Check(e.key.find('\n') == std::string::npos && e.key.find('\0') == std::string::npos);
      Check(e.value.empty() || (!IsSpace(e.value.front()) && !IsSpace(e.value.back())));
      if (!e.has_value) Check(e.value.empty());
    }
  }
  // The first sections found, with small buffers and a large one: a truncated answer
  // is flagged as such, and the full one ends with two NULs.
  for (std::size_t i = 0; i < sections.size() && i < kSectionsChecked; ++i) {
    const auto& s = sections[i];
    std::vector<char> big(size * 2 + 16);
    std::uint32_t full = platform::ProfileSectionFromText(text, s.name, big.data(),
                                                          static_cast<std::uint32_t>(big.size()));
    Check(full + 2 <= big.size() || full == 0);
    if (full > 0) Check(big[full] == '\0' && big[full - 1] == '\0');
    for (std::uint32_t n : {1u, 2u, 3u, 8u, 64u}) {
      std::vector<char> small(n);
      std::uint32_t got = platform::ProfileSectionFromText(text, s.name, small.data(), n);
      if (n > 2 && full > n - 2) Check(got == n - 2);
      if (full <= n - 2 || n <= 2) Check(got == (n <= 2 ? 0 : full));
    }
    for (std::size_t j = 0; j < s.entries.size() && j < kEntriesChecked; ++j) {
      const auto& e = s.entries[j];
      char buffer[16];
      std::uint32_t got =
          platform::ProfileStringFromText(text, s.name, e.key, buffer, sizeof buffer);
      Check(got < sizeof buffer && buffer[got] == '\0');
    }
  }
  return 0;
}
