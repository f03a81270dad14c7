#include "platform/mbcs.h"

namespace platform {

bool IsMultibyteLeadByte(unsigned char) {
  return false;
}

unsigned FoldMultibyteToLower(unsigned character) {
  // What the C locale's tolower does, whatever locale the process has chosen.
  return character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character;
}

}  // namespace platform
