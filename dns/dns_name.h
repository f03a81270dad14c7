// Domain names as RFC 1035 writes them: dotted text, label form (each label preceded by
// its length byte, as a query carries it), and the compressed names of a received
// message, which are walked under rules that make every name end and stay in bounds.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

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

// Places of one message from which a name was found sound: the first labels of each
// name checked, with the wire length and the number of pointers from there to the
// name's end. A pointer to one of them ends a check there instead of walking the same
// labels again: the owner names of an answer section mostly point at the question, and
// exchanges at a suffix of it or of each other. A small table indexed by the place; a
// newer place that lands on a taken slot replaces the older one.
//
// What a walk from a label finds depends on nothing but the bytes from there, and a walk
// that starts at a label inside a segment is held to the same rules as the walk that
// passed it or to looser ones (its own segment starts later, and no end but the
// message's binds it), so it would go the same way and find the same.
//
// Why it is kept: a 3-exchanger reply decodes in about 140 ns, and walking the question's
// labels again for every owner name and exchange adds about 15 ns to that, which moves
// decode-3mx-vs-c-ares (scripts/bench, target 0.34) from about 0.31 to about 0.38 on a
// loaded machine.
class NameMemo {
 public:
  // Small, so that the table is cleared with a few stores: a place is below 65,535 (the
  // largest message), a length at most 255 and a pointer count at most 16.
  struct Entry {
    std::uint16_t key;  // the place + 1; 0 for an empty slot
    std::uint8_t wire_length;
    std::uint8_t pointers;
  };
  const Entry* Find(std::size_t offset) const {
    const Entry& e = m_entries[offset % kSlots];
    return e.key == offset + 1 ? &e : nullptr;
  }
  void Add(std::size_t offset, std::size_t wire_length, int pointers) {
    m_entries[offset % kSlots] =
        Entry{static_cast<std::uint16_t>(offset + 1), static_cast<std::uint8_t>(wire_length),
              static_cast<std::uint8_t>(pointers)};
  }

 private:
  static constexpr std::size_t kSlots = 32;
  std::array<Entry, kSlots> m_entries{};
};

namespace detail {

// WalkName, and with `known` (when only checking, so on_label does nothing) a jump to a
// place found sound before takes the length and pointer count from there, and the first
// labels of a sound name are added to `known`.
template <typename OnLabel>
bool Walk(std::span<const std::uint8_t> message, std::size_t* pos, std::size_t inline_end,
          NameMemo* known, std::size_t* wire_length, OnLabel&& on_label) {
  const std::uint8_t* const msg = message.data();
  const std::size_t size = message.size();
  std::size_t p = *pos;
  std::size_t segment_start = p;
  std::size_t limit = std::min(inline_end, size);
  std::size_t resume = 0;
  bool jumped = false;
  std::size_t length_so_far = 1;  // the root byte
  int pointers = 0;
  // The labels of the name's own segment (before any pointer) go into `known`, with the
  // wire length before each of them; the first few are enough to meet the pointers of
  // later names.
  constexpr std::size_t kKept = 4;
  std::size_t kept_place[kKept];
  std::size_t kept_length[kKept];
  std::size_t kept = 0;
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
      if (known) {
        if (const NameMemo::Entry* e = known->Find(target)) {
          length_so_far += e->wire_length - 1;
          pointers += e->pointers;
          if (length_so_far > kMaxName || pointers > kMaxPointersPerName) return false;
          break;
        }
      }
      p = segment_start = target;
      limit = size;
      continue;
    }
    if ((b & 0xC0) != 0) return false;  // 0x40 and 0x80 label types
    const std::size_t length = b;
    if (limit - p - 1 < length) return false;
    if (known && !jumped && kept < kKept) {
      kept_place[kept] = p;
      kept_length[kept++] = length_so_far;
    }
    length_so_far += length + 1;
    if (length_so_far > kMaxName) return false;
    on_label(msg + p + 1, length);
    p += 1 + length;
  }
  for (std::size_t i = 0; i < kept; ++i) {
    known->Add(kept_place[i], length_so_far - (kept_length[i] - 1), pointers);
  }
  *pos = resume;
  if (wire_length) *wire_length = length_so_far;
  return true;
}

}  // namespace detail

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
  return detail::Walk(message, pos, inline_end, nullptr, wire_length,
                      std::forward<OnLabel>(on_label));
}

// WalkName without reading the labels. With a memo, the names of one message are
// checked against the places found sound before, and add theirs.
inline bool CheckName(std::span<const std::uint8_t> message, std::size_t* pos,
                      std::size_t inline_end, std::size_t* wire_length = nullptr,
                      NameMemo* known = nullptr) {
  // A name that is nothing but a pointer to a place found sound (an owner pointing at the
  // question, mostly) ends there, as the walk would find.
  const std::size_t p = *pos;
  const std::size_t size = message.size();
  if (known && p < size && p < inline_end && std::min(inline_end, size) - p >= 2 &&
      (message[p] & 0xC0) == 0xC0) {
    const std::size_t target = (static_cast<std::size_t>(message[p] & 0x3F) << 8) | message[p + 1];
    const NameMemo::Entry* e = target < p ? known->Find(target) : nullptr;
    if (e && e->pointers + 1 <= kMaxPointersPerName) {
      if (wire_length) *wire_length = e->wire_length;
      *pos = p + 2;
      return true;
    }
  }
  return detail::Walk(message, pos, inline_end, known, wire_length,
                      [](const std::uint8_t*, std::size_t) {});
}

// CheckName of the name at the cursor's position, moving the cursor past it; a broken
// name fails the cursor.
inline void SkipName(WireCursor& c, std::size_t inline_end, NameMemo* known,
                     std::size_t* wire_length = nullptr) {
  std::size_t pos = c.Position();
  if (!c.Ok() || !CheckName(c.Bytes(), &pos, inline_end, wire_length, known)) {
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
