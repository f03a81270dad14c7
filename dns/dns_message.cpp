#include "dns/dns_message.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "dns/wire_cursor.h"

namespace {

// Places of one message from which a name was found sound: the first labels of each
// name checked, with the wire length and the number of pointers
// from there to the name's end. A pointer to one of them ends a check there instead of
// walking the same labels again: the owner names of an answer section mostly point at
// the question, and exchanges at a suffix of it or of each other. A small table indexed
// by the place; a newer place that lands on a taken slot replaces the older one.
class SoundNames {
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

// Walks the name at *pos of a message, calling on_label(data, length) once per label,
// and moves *pos past the name as it stands at that place (after its first pointer, or
// after its root byte). The rules, which make every name end and stay in bounds:
//  - a label is a length byte of 1 to 63 and that many data bytes; any byte value is
//    data, so 0xC0 or 0 inside a label is never taken for a pointer or an end;
//  - the label types 0x40 and 0x80 are malformed;
//  - a pointer must point before the segment of the name that holds it, so each jump
//    goes strictly backwards, and at most kMaxPointersPerName are followed;
//  - the name stays within 255 bytes in wire form;
//  - the part of the name at *pos lies before inline_end (the end of an RDATA, say);
//    the parts reached through pointers may lie anywhere in the message.
//
// With `known` (when only checking, so on_label does nothing), a jump to a place found
// sound before takes the length and pointer count from there as they were found, and the
// first labels of a sound name are added to `known`. What a walk from a label
// finds depends on nothing but the bytes from there, and a walk that starts at a label
// inside a segment is held to the same rules as the walk that passed it or to looser
// ones (its own segment starts later, and no end but the message's binds it), so it
// would go the same way and find the same.
template <typename OnLabel>
bool WalkName(const std::uint8_t* msg, std::size_t size, std::size_t* pos, std::size_t inline_end,
              SoundNames* known, std::size_t* name_wire_length, OnLabel&& on_label) {
  const std::size_t start = *pos;
  std::size_t p = start;
  std::size_t segment_start = p;
  std::size_t limit = std::min(inline_end, size);
  std::size_t resume = 0;
  bool jumped = false;
  std::size_t wire_length = 1;  // the root byte
  int pointers = 0;
  // The labels of the name's own segment (before any pointer) go into `known`, with the
  // wire length before each of them; the first few are enough to meet the pointers of
  // later names.
  constexpr std::size_t kKept = 4;
  std::size_t kept_place[kKept];
  std::size_t kept_length[kKept];
  std::size_t kept = 0;
  for (;;) {
    if (p >= limit) return false;
    const std::uint8_t b = msg[p];
    if (b == 0) {
      if (!jumped) resume = p + 1;
      break;
    }
    if ((b & 0xC0) == 0xC0) {
      if (limit - p < 2) return false;
      const std::size_t target = (static_cast<std::size_t>(b & 0x3F) << 8) | msg[p + 1];
      if (target >= segment_start || ++pointers > CDNSMessage::kMaxPointersPerName) return false;
      if (!jumped) {
        resume = p + 2;
        jumped = true;
      }
      if (known) {
        if (const SoundNames::Entry* e = known->Find(target)) {
          wire_length += e->wire_length - 1;
          pointers += e->pointers;
          if (wire_length > CDNSMessage::kMaxName || pointers > CDNSMessage::kMaxPointersPerName) {
            return false;
          }
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
      kept_length[kept++] = wire_length;
    }
    wire_length += length + 1;
    if (wire_length > CDNSMessage::kMaxName) return false;
    on_label(msg + p + 1, length);
    p += 1 + length;
  }
  for (std::size_t i = 0; i < kept; ++i) {
    known->Add(kept_place[i], wire_length - (kept_length[i] - 1), pointers);
  }
  *pos = resume;
  if (name_wire_length) *name_wire_length = wire_length;
  return true;
}

// Checks the name at *pos without reading its labels and moves *pos past it; its length
// in wire form goes to *wire_length when that is given.
bool CheckName(const std::uint8_t* msg, std::size_t size, std::size_t* pos, std::size_t inline_end,
               SoundNames& known, std::size_t* wire_length = nullptr) {
  // A name that is nothing but a pointer to a place found sound (an owner pointing at the
  // question, mostly) ends there, as the walk below would find.
  const std::size_t p = *pos;
  if (p < size && p < inline_end && std::min(inline_end, size) - p >= 2 &&
      (msg[p] & 0xC0) == 0xC0) {
    const std::size_t target = (static_cast<std::size_t>(msg[p] & 0x3F) << 8) | msg[p + 1];
    const SoundNames::Entry* e = target < p ? known.Find(target) : nullptr;
    if (e && e->pointers + 1 <= CDNSMessage::kMaxPointersPerName) {
      if (wire_length) *wire_length = e->wire_length;
      *pos = p + 2;
      return true;
    }
  }
  return WalkName(msg, size, pos, inline_end, &known, wire_length,
                  [](const std::uint8_t*, std::size_t) {});
}

// Dotted text to label form at out, which has room for domain.size() + 1 bytes (a length
// byte stands in for each dot, and one more for the first label); the bytes written.
std::size_t WriteLabels(std::string_view domain, char* out) {
  char* const begin = out;
  const char* p = domain.data();
  const char* const end = p + domain.size();
  for (;;) {  // each pass copies one label and ends at a dot or the end of the text
    char* const length_at = out++;
    const char* const start = p;
    while (p != end && *p != '.') *out++ = *p++;
    const auto length = static_cast<std::size_t>(p - start);
    if (length % 256 != 0) {
      *length_at = static_cast<char>(length % 256);
    } else {
      // No length byte for an empty label (or one whose length byte would read 0).
      if (length != 0) std::memmove(length_at, length_at + 1, length);
      --out;
    }
    if (p == end) break;
    ++p;
  }
  return static_cast<std::size_t>(out - begin);
}

}  // namespace

void CDNSMessage::SetQuestion(const std::string& domain) {
  char* out = m_questionName;
  if (domain.size() + 1 > sizeof m_questionName) {
    m_pQuestionName = std::make_unique_for_overwrite<char[]>(domain.size() + 1);
    out = m_pQuestionName.get();
  } else {
    m_pQuestionName.reset();
  }
  m_nQuestionNameSize = WriteLabels(domain, out);
  m_nQuestionType = kTypeMX;
  m_nQuestionClass = kClassIN;
}

std::string CDNSMessage::DomainToLabels(const std::string& domain) {
  std::string out(domain.size() + 1, '\0');
  out.resize(WriteLabels(domain, out.data()));
  return out;
}

bool CDNSMessage::FitsInQuery(const std::string& domain) {
  std::size_t wire_length = 1;
  std::size_t length = 0;  // of the label being read
  for (const char ch : domain) {
    if (ch != '.') {
      if (++length > kMaxLabel) return false;
      continue;
    }
    if (length > 0) wire_length += length + 1;
    length = 0;
  }
  if (length > 0) wire_length += length + 1;
  return wire_length <= kMaxName;
}

std::string CDNSMessage::BuildQuery() {
  return std::string(WriteQuery());
}

std::string_view CDNSMessage::WriteQuery() {
  ResetStorage();
  const std::string_view name = QuestionName();
  std::uint8_t* out = RawStorage(kHeaderSize + name.size() + 5);
  auto put16 = [&out](std::uint16_t v) {
    *out++ = static_cast<std::uint8_t>(v >> 8);
    *out++ = static_cast<std::uint8_t>(v & 0xFF);
  };
  const auto flags =
      static_cast<std::uint16_t>(((m_bQR & 1u) << 15) | ((m_nOpcode & 0xFu) << 11) |
                                 ((m_bAA & 1u) << 10) | ((m_bTC & 1u) << 9) | ((m_bRD & 1u) << 8) |
                                 ((m_bRA & 1u) << 7) | ((m_nZ & 7u) << 4) | (m_nRCode & 0xFu));
  put16(m_nID);
  put16(flags);
  put16(1);
  put16(0);
  put16(0);
  put16(0);
  if (!name.empty()) {
    std::memcpy(out, name.data(), name.size());
    out += name.size();
  }
  *out++ = 0;
  put16(m_nQuestionType);
  put16(m_nQuestionClass);
  return Raw();
}

std::uint8_t* CDNSMessage::RawStorage(std::size_t size) {
  if (size <= kInlineBytes) {
    m_pRaw = m_inlineRaw;
  } else {
    m_heapRaw = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    m_pRaw = m_heapRaw.get();
  }
  m_nRawSize = size;
  return m_pRaw;
}

void CDNSMessage::RecordStorage(std::size_t records, std::size_t exchangers) {
  // The inline room holds raw bytes; Decode makes each record in it before use.
  if (records > kInlineRecords) {
    m_heapRecords = std::make_unique<DNSRecord[]>(records);
    m_pRecords = m_heapRecords.get();
  } else {
    m_pRecords = reinterpret_cast<DNSRecord*>(m_inlineRecords);
  }
  if (exchangers > kInlineRecords) {
    m_heapMX = std::make_unique<MXRecord[]>(exchangers);
    m_pMX = m_heapMX.get();
  } else {
    m_pMX = reinterpret_cast<MXRecord*>(m_inlineMX);
  }
}

void CDNSMessage::ResetStorage() {
  // Heap storage of an earlier large message goes; the inline room is used again.
  m_heapRaw.reset();
  m_heapRecords.reset();
  m_heapMX.reset();
  m_pRaw = m_inlineRaw;
  m_nRawSize = 0;
  m_pRecords = nullptr;
  m_pMX = nullptr;
  m_nRecords = m_nQuestions = m_nMX = 0;
}

void CDNSMessage::Clear() {
  ResetStorage();
  m_nID = 0;
  m_bQR = m_nOpcode = m_bAA = m_bTC = m_bRD = m_bRA = m_nZ = m_nRCode = 0;
  m_nQDCount = m_nANCount = m_nNSCount = m_nARCount = 0;
}

bool CDNSMessage::Parse(std::string_view datagram) {
  Clear();
  if (!datagram.empty()) {
    std::memcpy(RawStorage(datagram.size()), datagram.data(), datagram.size());
  }
  if (Decode()) return true;
  m_nRecords = m_nQuestions = m_nMX = 0;
  return false;
}

bool CDNSMessage::Decode() {
  const std::uint8_t* data = Bytes();
  const std::size_t size = m_nRawSize;
  if (size < kHeaderSize || size > kMaxMessage) return false;
  dns::WireCursor c(data, size);
  m_nID = c.U16();
  const std::uint16_t flags = c.U16();
  m_nQDCount = c.U16();
  m_nANCount = c.U16();
  m_nNSCount = c.U16();
  m_nARCount = c.U16();
  m_bQR = (flags >> 15) & 1;
  m_nOpcode = (flags >> 11) & 0xF;
  m_bAA = (flags >> 10) & 1;
  m_bTC = (flags >> 9) & 1;
  m_bRD = (flags >> 8) & 1;
  m_bRA = (flags >> 7) & 1;
  m_nZ = (flags >> 4) & 7;
  m_nRCode = flags & 0xF;

  SoundNames known;
  auto skip_name = [&](DNSRecord* r) {
    std::size_t pos = c.Position();
    r->m_nNameOffset = static_cast<std::uint16_t>(pos);
    if (!CheckName(data, size, &pos, size, known)) return false;
    c.Seek(pos);
    return true;
  };

  // A question takes at least 5 bytes and a record 11: counts that promise more than
  // the datagram holds fail below, and never reserve more than it could hold.
  // (So the room never runs out before the bytes do; the checks on it are a second line.)
  const std::size_t answers = std::min<std::size_t>(m_nANCount, c.Remaining() / 11);
  const std::size_t room = std::min<std::size_t>(m_nQDCount, c.Remaining() / 5) + answers;
  RecordStorage(room, answers);
  for (unsigned i = 0; i < m_nQDCount; ++i) {
    if (m_nRecords == room) return false;
    DNSRecord& q = *::new (static_cast<void*>(m_pRecords + m_nRecords)) DNSRecord;
    if (!skip_name(&q)) return false;
    const std::uint8_t* fields = c.Take(4);
    if (fields == nullptr) return false;
    q.m_nType = dns::WireCursor::Get16(fields);
    q.m_nClass = dns::WireCursor::Get16(fields + 2);
    q.m_nTTL = 0;
    q.m_nRDLength = 0;
    q.m_nRDataOffset = 0;
    ++m_nRecords;
  }
  m_nQuestions = m_nRecords;

  for (unsigned i = 0; i < m_nANCount; ++i) {
    if (m_nRecords == room) return false;
    DNSRecord& r = *::new (static_cast<void*>(m_pRecords + m_nRecords)) DNSRecord;
    if (!skip_name(&r)) return false;
    const std::uint8_t* fields = c.Take(10);
    if (fields == nullptr) return false;
    r.m_nType = dns::WireCursor::Get16(fields);
    r.m_nClass = dns::WireCursor::Get16(fields + 2);
    r.m_nTTL = dns::WireCursor::Get32(fields + 4);
    r.m_nRDLength = dns::WireCursor::Get16(fields + 8);
    r.m_nRDataOffset = static_cast<std::uint16_t>(c.Position());
    c.Skip(r.m_nRDLength);
    if (!c.Ok()) return false;
    ++m_nRecords;
    if (r.m_nType != kTypeMX || r.m_nClass != kClassIN) continue;

    // MX RDATA: a preference and an exchange name that ends exactly at the RDATA's end.
    const std::size_t rdata_end = r.m_nRDataOffset + r.m_nRDLength;
    if (r.m_nRDLength < 3) return false;
    std::size_t pos = r.m_nRDataOffset + 2;
    std::size_t wire_length = 0;
    if (!CheckName(data, size, &pos, rdata_end, known, &wire_length) || pos != rdata_end) {
      return false;
    }
    if (m_nMX == answers) return false;
    MXRecord& mx = *::new (static_cast<void*>(m_pMX + m_nMX++)) MXRecord;
    static_cast<DNSRecord&>(mx) = r;
    mx.m_nPreference =
        static_cast<std::uint16_t>((data[r.m_nRDataOffset] << 8) | data[r.m_nRDataOffset + 1]);
    // Dotted, the root alone is the empty text; otherwise the length bytes but the first
    // become dots and the root byte goes.
    mx.m_nExchangeLength = static_cast<std::uint16_t>(wire_length <= 1 ? 0 : wire_length - 2);
  }
  // The authority and additional sections are not read.
  return true;
}

bool CDNSMessage::ReadName(std::size_t* pos, std::string* raw) const {
  raw->clear();
  return WalkName(Bytes(), m_nRawSize, pos, m_nRawSize, nullptr, nullptr,
                  [raw](const std::uint8_t* label, std::size_t n) {
                    raw->push_back(static_cast<char>(n));
                    raw->append(reinterpret_cast<const char*>(label), n);
                  });
}

std::string CDNSMessage::LabelsToDotted(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  std::size_t i = 0;
  bool first = true;
  while (i < raw.size()) {
    const std::size_t length = static_cast<unsigned char>(raw[i++]);
    const std::size_t take = std::min(length, raw.size() - i);
    if (!first) out.push_back('.');
    first = false;
    out.append(raw.substr(i, take));
    i += take;
  }
  return out;
}

std::string CDNSMessage::GetExchange(std::size_t index) const {
  // Dotted, a name takes at most 254 bytes: 255 in wire form less the root byte.
  char dotted[kMaxName];
  return std::string(dotted, CopyExchange(index, dotted));
}

std::size_t CDNSMessage::CopyExchange(std::size_t index, char* out) const {
  if (index >= m_nMX) return 0;
  // Decode found the name sound and measured it, so the walk writes exactly
  // m_nExchangeLength bytes; the check on each label keeps that so whatever happens.
  const std::size_t room = m_pMX[index].m_nExchangeLength;
  std::size_t length = 0;
  std::size_t pos = m_pMX[index].m_nRDataOffset + 2;
  const bool ok = WalkName(Bytes(), m_nRawSize, &pos, m_nRawSize, nullptr, nullptr,
                           [&](const std::uint8_t* label, std::size_t n) {
                             const std::size_t dot = length != 0 ? 1 : 0;
                             if (room - length < n + dot) return;
                             if (dot) out[length++] = '.';
                             std::memcpy(out + length, label, n);
                             length += n;
                           });
  return ok && length == room ? length : 0;
}

bool CDNSMessage::NameMatches(std::size_t pos, std::string_view labels) const {
  // Most replies repeat the question exactly as it was asked, without a pointer: when
  // the bytes at pos are the labels and a root byte, and the labels are well formed,
  // a walk from pos would read exactly those labels.
  if (pos <= m_nRawSize && m_nRawSize - pos > labels.size() && Bytes()[pos + labels.size()] == 0 &&
      (labels.empty() || std::memcmp(Bytes() + pos, labels.data(), labels.size()) == 0)) {
    std::size_t i = 0;
    while (i < labels.size()) {  // each pass moves past one label
      const std::size_t n = static_cast<unsigned char>(labels[i]);
      if (n == 0 || n > kMaxLabel) break;
      i += n + 1;
    }
    if (i == labels.size() && labels.size() + 1 <= kMaxName) return true;
  }
  std::size_t at = 0;
  bool same = true;
  auto lower = [](unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned char>(ch + 32) : ch;
  };
  const bool ok = WalkName(
      Bytes(), m_nRawSize, &pos, m_nRawSize, nullptr, nullptr,
      [&](const std::uint8_t* label, std::size_t n) {
        if (!same || labels.size() - at < n + 1 || static_cast<unsigned char>(labels[at]) != n) {
          same = false;
          return;
        }
        // Most replies repeat the name exactly as it was asked.
        if (std::memcmp(label, labels.data() + at + 1, n) != 0) {
          for (std::size_t i = 0; i < n && same; ++i) {
            same = lower(label[i]) == lower(static_cast<unsigned char>(labels[at + 1 + i]));
          }
        }
        at += n + 1;
      });
  return ok && same && at == labels.size();
}

std::uint16_t CDNSMessage::GetPreference(std::size_t index) const {
  return index < m_nMX ? m_pMX[index].m_nPreference : 0;
}
