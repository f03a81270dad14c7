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
#include "support/account.h"

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

// What the reply to a query says: whether TC is set, and the MX records of class IN of
// its answer section, in answer order (other records, the CNAME of an alias say, are
// skipped).
struct Reply {
  bool truncated = false;
  std::vector<MxRecord> exchangers;
};

// Received bytes read as the reply to a query: kTaken and the reply, or why they are not
// its reply.
using support::step::Verdict;
struct ReplyReading {
  Verdict verdict;
  Reply reply;  // empty unless taken
};

// Reads received bytes, in one pass, as the reply to `query`. They are its reply only
// with the query's ID (else kWrongId), QR set (kNotAReply), and exactly one question,
// equal to the query's (the name without regard to ASCII case, type MX, class IN; else
// kWrongQuestion); the opcode and RCODE are not looked at. A header cut short is
// kTooShort, and a record of the answer section that does not decode (a broken owner
// name, a record past the end, MX RDATA of class IN shorter than 3 bytes or whose
// exchange does not end at RDLENGTH) kUnreadable. The later sections are not read.
ReplyReading ReadReply(std::span<const std::uint8_t> bytes, const Query& query);

}  // namespace dns
