// Internationalised host and domain names: the ASCII form (A-labels, "xn--...") the DNS
// and the resolvers take. The conversion is the system's own: IdnToAscii (flags 0, the
// IDNA2003 mapping) on Windows, libidn2 in its transitional mode (the same mapping)
// elsewhere. The two agree on names that can be looked up; they differ on some that
// cannot (README: internationalised names).
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

// `utf8` in its ASCII form. Text that is all ASCII comes back byte for byte (no case
// change, no checks); other text is mapped (lower case, "ß" to "ss", ...) and each
// label that is not ASCII becomes its A-label. Fails with kInvalidInput (code 0) when
// the text is not UTF-8 or the conversion refuses it (a code point it does not allow,
// a label over 63 bytes or a name over 255 once converted), with kNoMemory when
// memory runs out.
Result<std::string> AsciiName(std::string_view utf8);

// True when every byte of `text` is ASCII: AsciiName hands such text back as it is.
inline bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace platform
