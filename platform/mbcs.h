// The process's multibyte code page, as far as case-blind comparison of narrow text
// needs it: which bytes open a two-byte character, and how a character folds to lower
// case. Windows answers from the C runtime's current multibyte code page (the ANSI code
// page unless the process changes it); POSIX has no two-byte code pages, so every byte
// is one character and only the ASCII letters fold.
//
// CompareNoCase / EqualNoCase are the one case-blind comparison of the tree: registry
// and INI names, root names, list items, the registrar's keywords and the order of the
// MX list all go through them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// True when `byte` is the lead byte of a two-byte character.
bool IsMultibyteLeadByte(unsigned char byte);
// A character (one byte, or lead byte << 8 | trail byte) folded to lower case.
unsigned FoldMultibyteToLower(unsigned character);

// Compares character by character, each folded to lower case and compared as an
// unsigned code (a lead byte and its trail byte are one character; a lead byte at the
// very end or before a NUL is one on its own): negative, 0 or positive as `a` sorts
// before, with or after `b`.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// The length of the well-formed UTF-8 sequence `text` starts with (1 to 4), else 0.
std::size_t Utf8Length(std::string_view text);

// The first character of narrow text (the ANSI code page on Windows, UTF-8 on POSIX) as
// UTF-8 and the bytes it took; nothing when the text starts with no character there.
struct NarrowCharacter {
  std::string utf8;
  std::size_t bytes;
};
std::optional<NarrowCharacter> FirstNarrowCharacter(std::string_view text);

}  // namespace platform
