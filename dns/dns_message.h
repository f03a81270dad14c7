// The two DNS messages of an MX lookup (RFC 1035): the query the resolver writes, and the
// reply it reads, checked against that query. Reading is strict about form: a reply
// that runs short, overruns a record's RDLENGTH or holds a broken name yields nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace dns {

inline constexpr std::uint16_t kTypeMx = 15;
inline constexpr std::uint16_t kClassIn = 1;
inline constexpr std::size_t kHeaderSize = 12;

// One exchanger of an answer: the exchange is dotted text without the trailing dot, ""
// for the root (a null MX).
struct MxRecord {
  std::uint16_t preference = 0;
  std::string exchange;
};

// The one query the resolver sends: an ID, RD set, and one question (the domain, MX, IN).
class Query {
 public:
  // Empty labels vanish ("ab.cd." and "ab.cd" are one name). kInvalidInput when a label
  // is longer than 63 bytes (the most a length byte can say) or the name runs over 255
  // bytes in wire form.
  static platform::Result<Query> Make(std::string_view domain, std::uint16_t id);

  std::string_view Bytes() const { return m_bytes; }
  std::uint16_t Id() const;
  // The question's name in label form (no root byte).
  std::string_view Name() const;

 private:
  explicit Query(std::string bytes) : m_bytes(std::move(bytes)) {}
  std::string m_bytes;
};

// A received message, read where it lies (the bytes must outlive it).
class Response {
 public:
  explicit Response(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

  // Whether it is the reply to `query`: the query's ID, QR set, and exactly one question,
  // equal to the query's (the name without regard to ASCII case, type MX, class IN). The
  // opcode and RCODE are not looked at.
  bool Answers(const Query& query) const { return Mismatch(query) == nullptr; }
  // Why it is not that reply ("too short", "wrong ID", "not a reply", "wrong question"),
  // or null when it is: the words an account of the lookup shows for a dropped datagram.
  const char* Mismatch(const Query& query) const;
  bool Truncated() const { return m_bytes.size() > 2 && (m_bytes[2] & 0x02) != 0; }
  // The MX records of class IN of the answer section, in answer order; other records
  // (the CNAME of an alias, say) are skipped. Nothing when a record does not decode: a
  // broken owner name, a record past the end, MX RDATA of class IN shorter than 3 bytes
  // or whose exchange does not end at RDLENGTH. The later sections are not read.
  std::optional<std::vector<MxRecord>> Exchangers() const;

 private:
  std::span<const std::uint8_t> m_bytes;
};

}  // namespace dns
