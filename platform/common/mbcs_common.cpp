#include "platform/mbcs.h"

namespace platform {
namespace {

// The character at `*i`, folded; `*i` moves past it. A lead byte at the end of the text
// or before a NUL stands alone, as where a C string ends.
unsigned NextFolded(std::string_view text, std::size_t* i) {
  const unsigned char lead = static_cast<unsigned char>(text[*i]);
  ++*i;
  if (IsMultibyteLeadByte(lead) && *i < text.size() && text[*i] != '\0') {
    const unsigned trail = static_cast<unsigned char>(text[*i]);
    ++*i;
    return FoldMultibyteToLower((static_cast<unsigned>(lead) << 8) | trail);
  }
  return FoldMultibyteToLower(lead);
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const unsigned x = NextFolded(a, &i);
    const unsigned y = NextFolded(b, &j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::size_t Utf8Length(std::string_view text) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (text.empty()) return 0;
  if (at(0) < 0x80) return 1;
  // RFC 3629's table: the lead byte bounds the second, which rules out overlong forms,
  // surrogates and code points above U+10FFFF.
  const unsigned lead = at(0);
  const std::size_t n = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (n == 0 || text.size() < n || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return n;
}

}  // namespace platform
