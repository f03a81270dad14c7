// The process's multibyte code page, as far as case-blind comparison of narrow text
// needs it: which bytes open a two-byte character, and how a character folds to lower
// case. Windows answers from the C runtime's current multibyte code page (the ANSI code
// page unless the process changes it); POSIX has no two-byte code pages, so every byte
// is one character and folds in the process's C locale.
#pragma once

namespace platform {

// True when `byte` is the lead byte of a two-byte character.
bool IsMultibyteLeadByte(unsigned char byte);
// A character (one byte, or lead byte << 8 | trail byte) folded to lower case.
unsigned FoldMultibyteToLower(unsigned character);

}  // namespace platform
