// Domain names as RFC 1035 writes them: dotted text, label form (each label preceded by
// its length byte, as a query carries it), and the compressed names of a received
// message, which are walked under rules that make every name end and stay in bounds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dns/wire_cursor.h"

namespace dns {

inline constexpr std::size_t kMaxLabel = 63;
inline constexpr std::size_t kMaxName = 255;  // wire form, root byte included
inline constexpr int kMaxPointersPerName = 16;

// Dotted text to label form at out, which has room for domain.size() + 1 bytes; the bytes
// written. No closing zero byte; empty labels vanish, so "ab.cd." and "ab.cd" give the
// same bytes.
std::size_t WriteLabels(std::string_view domain, char* out);
std::string DomainToLabels(std::string_view domain);

// True when the domain can be carried by a query: no label longer than 63 bytes and at
// most 255 bytes in wire form. Longer labels would wrap their length byte.
bool FitsInQuery(std::string_view domain);

// Label form to dotted text, without a trailing dot. A length byte that runs past the
// end takes what is there.
std::string LabelsToDotted(std::string_view labels);

// Walks the name at *pos of a message, calling on_label(data, length) once per label,
// and moves *pos past the name as it stands at that place (after its first pointer, or
// after its root byte); its length in wire form goes to *wire_length when that is given.
// The rules:
//  - a label is a length byte of 1 to 63 and that many data bytes; any byte value is
//    data, so 0xC0 or 0 inside a label is never taken for a pointer or an end;
//  - the label types 0x40 and 0x80 are malformed;
//  - a pointer must point before the segment of the name that holds it, so each jump
//    goes strictly backwards, and at most kMaxPointersPerName are followed;
//  - the name stays within 255 bytes in wire form;
//  - the part of the name at *pos lies before inline_end (the end of an RDATA, say);
//    the parts reached through pointers may lie anywhere in the message.
// False, *pos unmoved, on a name that breaks one of them.
template <typename OnLabel>
bool WalkName(std::span<const std::uint8_t> message, std::size_t* pos, std::size_t inline_end,
              std::size_t* wire_length, OnLabel&& on_label) {
  const std::uint8_t* const msg = message.data();
  const std::size_t size = message.size();
  std::size_t p = *pos;
  std::size_t segment_start = p;
  std::size_t limit = std::min(inline_end, size);
  std::size_t resume = 0;
  bool jumped = false;
  std::size_t length_so_far = 1;  // the root byte
  int pointers = 0;
  for (;;) {  // each pass reads one label or one pointer, or ends the walk
    if (p >= limit) return false;
    const std::uint8_t b = msg[p];
    if (b == 0) {
      if (!jumped) resume = p + 1;
      break;
    }
    if ((b & 0xC0) == 0xC0) {
      if (limit - p < 2) return false;
      const std::size_t target = (static_cast<std::size_t>(b & 0x3F) << 8) | msg[p + 1];
      if (target >= segment_start || ++pointers > kMaxPointersPerName) return false;
      if (!jumped) {
        resume = p + 2;
        jumped = true;
      }
      p = segment_start = target;
      limit = size;
      continue;
    }
    if ((b & 0xC0) != 0) return false;  // 0x40 and 0x80 label types
    const std::size_t length = b;
    if (limit - p - 1 < length) return false;
    length_so_far += length + 1;
    if (length_so_far > kMaxName) return false;
    on_label(msg + p + 1, length);
    p += 1 + length;
  }
  *pos = resume;
  if (wire_length) *wire_length = length_so_far;
  return true;
}

// WalkName without reading the labels.
inline bool CheckName(std::span<const std::uint8_t> message, std::size_t* pos,
                      std::size_t inline_end, std::size_t* wire_length = nullptr) {
  return WalkName(message, pos, inline_end, wire_length, [](const std::uint8_t*, std::size_t) {});
}

// CheckName of the name at the cursor's position, moving the cursor past it; a broken
// name fails the cursor.
inline void SkipName(WireCursor& c, std::size_t inline_end, std::size_t* wire_length = nullptr) {
  std::size_t pos = c.Position();
  if (!c.Ok() || !CheckName(c.Bytes(), &pos, inline_end, wire_length)) {
    c.Fail();
    return;
  }
  c.Seek(pos);
}

// Whether the name at pos of a message is sound and equals `labels` (label form, as
// DomainToLabels gives it), ASCII letters compared without regard to case.
bool NameMatches(std::span<const std::uint8_t> message, std::size_t pos, std::string_view labels);

// A..Z to a..z, every other byte as it is. DNS compares names this way (RFC 4343): the
// bytes of a label are not text of any code page, so the page's own case mapping would
// fold bytes that DNS keeps apart.
constexpr std::uint8_t FoldAsciiCase(std::uint8_t ch) {
  return (ch >= 'A' && ch <= 'Z') ? static_cast<std::uint8_t>(ch + ('a' - 'A')) : ch;
}

}  // namespace dns
