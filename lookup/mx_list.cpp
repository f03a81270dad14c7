#include "lookup/mx_list.h"

#include <algorithm>

#include "platform/mbcs.h"

namespace lookup {
namespace {

// The character of `text` at `pos`, folded to lower case; moves `pos` past it. A lead
// byte at the very end of the text stands alone, as a C string's NUL would end it.
unsigned NextFoldedCharacter(std::string_view text, std::size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[(*pos)++]);
  if (platform::IsMultibyteLeadByte(lead) && *pos < text.size() && text[*pos] != '\0') {
    const auto trail = static_cast<unsigned char>(text[(*pos)++]);
    return platform::FoldMultibyteToLower((static_cast<unsigned>(lead) << 8) | trail);
  }
  return platform::FoldMultibyteToLower(lead);
}

}  // namespace

int CompareTextNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const unsigned ca = NextFoldedCharacter(a, &i);
    const unsigned cb = NextFoldedCharacter(b, &j);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

void SortMxList(std::vector<dns::MxRecord>* records) {
  // Equal names end up in the reverse of their answer order: a stable sort of the
  // reversed answer.
  std::reverse(records->begin(), records->end());
  std::stable_sort(records->begin(), records->end(),
                   [](const dns::MxRecord& a, const dns::MxRecord& b) {
                     return CompareTextNoCase(a.exchange, b.exchange) < 0;
                   });
}

}  // namespace lookup
