// Domain names as a DNS message carries them (RFC 1035): label form, each label preceded
// by its length byte, and compression pointers, which are followed under rules that make
// every name end and stay in bounds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dns/wire_cursor.h"

namespace dns {

inline constexpr std::size_t kMaxLabel = 63;
inline constexpr std::size_t kMaxName = 255;  // wire form, root byte included
inline constexpr int kMaxPointers = 16;

// Reads the name at the cursor and moves the cursor past the name as it stands there
// (past its first pointer, or its root byte); appends it in label form (length bytes
// kept, no root byte) to *labels when that is given. The rules:
//  - a label is a length byte of 1 to 63 and that many data bytes; any byte value is
//    data, so 0xC0 or 0 inside a label is never taken for a pointer or an end;
//  - the label types 0x40 and 0x80 are malformed;
//  - a pointer must point before the segment of the name that holds it, so each jump
//    goes strictly backwards, and at most kMaxPointers are followed;
//  - the name stays within 255 bytes in wire form;
//  - the part of the name at the cursor lies before inline_end (the end of an RDATA);
//    the parts reached through pointers may lie anywhere in the message.
// A name that breaks one of them fails the cursor, which then stays where it was.
void ReadName(WireCursor& c, std::size_t inline_end, std::string* labels);

// Label form (as ReadName gives it) to dotted text: the length bytes become dots, and
// the first goes ("" for the root).
std::string LabelsToDotted(std::string labels);

// Whether two names in label form are one name to DNS: ASCII letters compared without
// regard to case (RFC 4343), every other byte as it is (the bytes of a label are not
// text of any code page).
bool SameName(std::string_view a, std::string_view b);

}  // namespace dns
