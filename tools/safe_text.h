// The one rule for showing bytes from outside (DNS names and records, SMTP lines, INI
// and registry values, system messages, arguments): text is read in its encoding (kUtf8
// for names and network text; kAnsi for the component's narrow text, the ANSI code page
// on Windows and UTF-8 on POSIX), and a byte that is no text there becomes \xHH.
#pragma once

#include <string>
#include <string_view>

namespace kestra_tool {

enum class Encoding { kUtf8, kAnsi };

// Valid UTF-8 for a JSON string: every character as it is (JSON escapes the controls).
std::string JsonText(std::string_view bytes, Encoding encoding);
// For a terminal: as JsonText, and each control character (C0, DEL, C1) as the bytes it
// came as, each \xHH, so that it cannot act or break a line, and so each bidirectional
// control (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), so that it cannot reorder
// what is shown. A backslash stays as it is.
std::string ShownText(std::string_view bytes, Encoding encoding);
// A name in label form (dns/dns_name.h) as dig prints it (RFC 1035 section 5.1): labels
// joined by dots with a trailing dot, "." for the root; \" \( \) \. \; \\ \@ \$ inside a
// label, \DDD for space and any byte outside printable ASCII.
std::string PresentedName(std::string_view labels);

}  // namespace kestra_tool
