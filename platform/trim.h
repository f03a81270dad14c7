// The one trim of narrow text. Callers differ only in what they strip:
//   kWhiteSpace  the hosting configuration's values and list items (the C library's
//                white space)
//   kIniSpace    the POSIX INI reader, which also strips Ctrl-Z (0x1a), an end-of-file
//                mark of old editors that the system's profile functions skip as well
//   " \t"        a line of a .reg file (and a CR before its line end: " \t\r" at the end)
//   "\r\n" at the end only: a system text without the line break it ends with, and a
//                line of text (TextCursor::TakeLine)
#pragma once

#include <string_view>

namespace platform {

inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
inline constexpr std::string_view kIniSpace = " \t\n\v\f\r\x1a";

// `text` without the bytes of `strip` at its end.
constexpr std::string_view TrimEnd(std::string_view text, std::string_view strip) {
  return text.substr(0, text.find_last_not_of(strip) + 1);
}

// `text` without the bytes of `strip` at either end.
constexpr std::string_view Trim(std::string_view text, std::string_view strip = kWhiteSpace) {
  text = TrimEnd(text, strip);
  return text.empty() ? text : text.substr(text.find_first_not_of(strip));
}

// A system text without the line break it ends with.
constexpr std::string_view WithoutLineEnd(std::string_view text) {
  return TrimEnd(text, "\r\n");
}

}  // namespace platform
