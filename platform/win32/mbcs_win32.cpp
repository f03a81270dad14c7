#include <mbctype.h>
#include <mbstring.h>

#include "platform/mbcs.h"

namespace platform {

bool IsMultibyteLeadByte(unsigned char byte) {
  return _ismbblead(byte) != 0;
}

unsigned FoldMultibyteToLower(unsigned character) {
  return _mbctolower(character);
}

}  // namespace platform
