#include "dns/dns_message.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "dns/wire_cursor.h"

namespace dns {

void Message::SetQuestion(std::string_view domain) {
  char* out = m_inlineQuestionName;
  if (domain.size() + 1 > sizeof m_inlineQuestionName) {
    m_heapQuestionName = std::make_unique_for_overwrite<char[]>(domain.size() + 1);
    out = m_heapQuestionName.get();
  } else {
    m_heapQuestionName.reset();
  }
  m_nQuestionNameSize = WriteLabels(domain, out);
  m_nQuestionType = kTypeMX;
  m_nQuestionClass = kClassIN;
}

std::string Message::BuildQuery() {
  return std::string(WriteQuery());
}

std::string_view Message::WriteQuery() {
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

std::uint8_t* Message::RawStorage(std::size_t size) {
  if (size <= kInlineBytes) {
    m_pRaw = m_inlineRaw;
  } else {
    m_heapRaw = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    m_pRaw = m_heapRaw.get();
  }
  m_nRawSize = size;
  return m_pRaw;
}

void Message::RecordStorage(std::size_t records, std::size_t exchangers) {
  if (records > kInlineRecords) {
    m_heapRecords = std::make_unique<Record[]>(records);
    m_pRecords = m_heapRecords.get();
  } else {
    m_pRecords = reinterpret_cast<Record*>(m_inlineRecords);
  }
  if (exchangers > kInlineRecords) {
    m_heapMX = std::make_unique<MxRecord[]>(exchangers);
    m_pMX = m_heapMX.get();
  } else {
    m_pMX = reinterpret_cast<MxRecord*>(m_inlineMX);
  }
}

void Message::ResetStorage() {
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

void Message::Clear() {
  ResetStorage();
  m_nID = 0;
  m_bQR = m_nOpcode = m_bAA = m_bTC = m_bRD = m_bRA = m_nZ = m_nRCode = 0;
  m_nQDCount = m_nANCount = m_nNSCount = m_nARCount = 0;
}

bool Message::Parse(std::string_view datagram) {
  Clear();
  if (!datagram.empty()) {
    std::memcpy(RawStorage(datagram.size()), datagram.data(), datagram.size());
  }
  if (Decode()) return true;
  m_nRecords = m_nQuestions = m_nMX = 0;
  return false;
}

bool Message::Decode() {
  const std::span<const std::uint8_t> bytes = Bytes();
  if (bytes.size() < kHeaderSize || bytes.size() > kMaxMessage) return false;
  WireCursor c(bytes);
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

  // A question takes at least 5 bytes and a record 11: counts that promise more than
  // the datagram holds fail below, and never reserve more than it could hold.
  // (So the room never runs out before the bytes do; the checks on it are a second line.)
  const std::size_t answers = std::min<std::size_t>(m_nANCount, c.Remaining() / 11);
  const std::size_t room = std::min<std::size_t>(m_nQDCount, c.Remaining() / 5) + answers;
  RecordStorage(room, answers);
  NameMemo known;
  for (unsigned i = 0; i < m_nQDCount; ++i) {
    if (m_nRecords == room) return false;
    Record& q = *::new (static_cast<void*>(m_pRecords + m_nRecords)) Record;
    q.m_nNameOffset = static_cast<std::uint16_t>(c.Position());
    SkipName(c, bytes.size(), &known);
    // One bounds check for the fixed fields of each entry.
    const std::uint8_t* fields = c.Take(4);
    if (fields == nullptr) return false;
    q.m_nType = WireCursor::Get16(fields);
    q.m_nClass = WireCursor::Get16(fields + 2);
    ++m_nRecords;
  }
  m_nQuestions = m_nRecords;

  for (unsigned i = 0; i < m_nANCount; ++i) {
    if (m_nRecords == room) return false;
    Record& r = *::new (static_cast<void*>(m_pRecords + m_nRecords)) Record;
    r.m_nNameOffset = static_cast<std::uint16_t>(c.Position());
    SkipName(c, bytes.size(), &known);
    const std::uint8_t* fields = c.Take(10);
    if (fields == nullptr) return false;
    r.m_nType = WireCursor::Get16(fields);
    r.m_nClass = WireCursor::Get16(fields + 2);
    r.m_nTTL = WireCursor::Get32(fields + 4);
    r.m_nRDLength = WireCursor::Get16(fields + 8);
    r.m_nRDataOffset = static_cast<std::uint16_t>(c.Position());
    ++m_nRecords;
    if (r.m_nType != kTypeMX || r.m_nClass != kClassIN) {
      c.Skip(r.m_nRDLength);
      if (!c.Ok()) return false;
      continue;
    }

    // MX RDATA: a preference and an exchange name that ends exactly at the RDATA's end.
    const std::size_t rdata_end = c.Position() + r.m_nRDLength;
    if (r.m_nRDLength < 3 || m_nMX == answers) return false;
    MxRecord& mx = *::new (static_cast<void*>(m_pMX + m_nMX)) MxRecord;
    static_cast<Record&>(mx) = r;
    mx.m_nPreference = c.U16();
    std::size_t wire_length = 0;
    SkipName(c, rdata_end, &known, &wire_length);
    if (!c.Ok() || c.Position() != rdata_end) return false;
    // Dotted, the root alone is the empty text; otherwise the length bytes but the first
    // become dots and the root byte goes.
    mx.m_nExchangeLength = static_cast<std::uint16_t>(wire_length <= 1 ? 0 : wire_length - 2);
    ++m_nMX;
  }
  // The authority and additional sections are not read.
  return true;
}

bool Message::ReadName(std::size_t* pos, std::string* labels) const {
  labels->clear();
  return WalkName(Bytes(), pos, m_nRawSize, nullptr,
                  [labels](const std::uint8_t* label, std::size_t n) {
                    labels->push_back(static_cast<char>(n));
                    labels->append(reinterpret_cast<const char*>(label), n);
                  });
}

std::string Message::GetExchange(std::size_t index) const {
  // Dotted, a name takes at most 254 bytes: 255 in wire form less the root byte.
  char dotted[kMaxName];
  return std::string(dotted, CopyExchange(index, dotted));
}

std::size_t Message::CopyExchange(std::size_t index, char* out) const {
  if (index >= m_nMX) return 0;
  // Decode found the name sound and measured it, so the walk writes exactly
  // m_nExchangeLength bytes; the check on each label keeps that so whatever happens.
  const std::size_t room = m_pMX[index].m_nExchangeLength;
  std::size_t length = 0;
  std::size_t pos = m_pMX[index].m_nRDataOffset + 2;
  const bool ok =
      WalkName(Bytes(), &pos, m_nRawSize, nullptr, [&](const std::uint8_t* label, std::size_t n) {
        const std::size_t dot = length != 0 ? 1 : 0;
        if (room - length < n + dot) return;
        if (dot) out[length++] = '.';
        std::memcpy(out + length, label, n);
        length += n;
      });
  return ok && length == room ? length : 0;
}

bool Message::NameMatches(std::size_t pos, std::string_view labels) const {
  return dns::NameMatches(Bytes(), pos, labels);
}

std::uint16_t Message::GetPreference(std::size_t index) const {
  return index < m_nMX ? m_pMX[index].m_nPreference : 0;
}

}  // namespace dns
