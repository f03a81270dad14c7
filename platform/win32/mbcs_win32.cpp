// The C runtime's multibyte code page behind platform/mbcs.h.
#include "platform/mbcs.h"

// After the standard headers: <mbctype.h> defines macros (_M1, _M2) that the C++
// library's own headers use as template parameter names.
#include <mbctype.h>
#include <mbstring.h>
#include <windows.h>

#include "platform/win32/text.h"

namespace platform {

bool IsMultibyteLeadByte(unsigned char byte) {
  return _ismbblead(byte) != 0;
}

unsigned FoldMultibyteToLower(unsigned character) {
  return _mbctolower(character);
}

std::optional<NarrowCharacter> FirstNarrowCharacter(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // One character at a time, so that one byte the code page lacks spoils only itself.
  const std::size_t n =
      text.size() > 1 && IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(text[0])) ? 2 : 1;
  const auto wide = WideText(text.substr(0, n), CP_ACP, TextEnd::kWhole, MB_ERR_INVALID_CHARS);
  if (!wide || wide->empty()) return std::nullopt;
  auto utf8 = NarrowText(*wide, CP_UTF8, TextEnd::kWhole);
  if (!utf8) return std::nullopt;
  return NarrowCharacter{std::move(*utf8), n};
}

}  // namespace platform
