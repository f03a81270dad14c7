#include "platform/mbcs.h"

namespace platform {

bool IsMultibyteLeadByte(unsigned char) {
  return false;
}

unsigned FoldMultibyteToLower(unsigned character) {
  // What the C locale's tolower does, whatever locale the process has chosen.
  return character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character;
}

std::optional<NarrowCharacter> FirstNarrowCharacter(std::string_view text) {
  const std::size_t n = Utf8Length(text);
  if (n == 0) return std::nullopt;
  return NarrowCharacter{std::string(text.substr(0, n)), n};
}

}  // namespace platform
