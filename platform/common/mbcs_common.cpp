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
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  // RFC 3629's table: the range of the second byte depends on the lead byte, which
  // rules out overlong forms, surrogates and code points above U+10FFFF.
  std::size_t n = 0;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < n || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return n;
}

}  // namespace platform
