// The C runtime's multibyte code page behind platform/mbcs.h.
#include "platform/mbcs.h"

// After the standard headers: <mbctype.h> defines macros (_M1, _M2) that the C++
// library's own headers use as template parameter names.
#include <mbctype.h>
#include <mbstring.h>

namespace platform {

bool IsMultibyteLeadByte(unsigned char byte) {
  return _ismbblead(byte) != 0;
}

unsigned FoldMultibyteToLower(unsigned character) {
  return _mbctolower(character);
}

}  // namespace platform
