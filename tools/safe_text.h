// How kestra shows bytes that come from outside (DNS names and records, SMTP lines, INI
// and registry values, system messages, arguments): one rule, whatever the bytes.
//  - Text is read in its encoding: kUtf8 for names as typed and text from the network,
//    kAnsi for the component's narrow text (the ANSI code page on Windows, read one
//    character at a time; UTF-8 on POSIX).
//  - A byte that is no text there becomes the four characters \xHH (upper-case hex).
//  - On a terminal, each control character (C0, DEL, C1 U+0080-U+009F) is written as
//    the bytes it came as, each \xHH, so escape codes and line breaks never act.
//  - JSON carries every character as it is (the JSON writer escapes controls).
// A backslash itself stays as it is: Windows paths read as they are written.
#pragma once

#include <string>
#include <string_view>

namespace kestra_tool {

enum class Encoding { kUtf8, kAnsi };

// Valid UTF-8 for a JSON string.
std::string JsonText(std::string_view bytes, Encoding encoding);
// Valid UTF-8 without control characters, for a terminal line.
std::string ShownText(std::string_view bytes, Encoding encoding);
// A name in label form (dns/dns_name.h) as dig prints it (RFC 1035 section 5.1): labels
// joined by dots with a trailing dot, "." for the root; \" \( \) \. \; \\ \@ \$ for those
// bytes inside a label and \DDD for space and any byte outside printable ASCII. A length
// byte that runs past the end takes the bytes that are there.
std::string PresentedName(std::string_view labels);

}  // namespace kestra_tool
