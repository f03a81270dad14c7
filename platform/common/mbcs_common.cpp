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

}  // namespace platform
