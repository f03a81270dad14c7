#include <cctype>

#include "platform/mbcs.h"

namespace platform {

bool IsMultibyteLeadByte(unsigned char) {
  return false;
}

unsigned FoldMultibyteToLower(unsigned character) {
  if (character > 0xFF) return character;
  return static_cast<unsigned char>(std::tolower(static_cast<int>(character)));
}

}  // namespace platform
