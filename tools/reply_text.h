// A received DNS message as dig shows it: its header by name (rcode, flags) and every
// record of its four sections in zone-file form, names in presentation form (RFC 1035
// §5.1), RDATA of the types it knows in their zone-file form and of others in RFC 3597's
// generic form. Only what is shown reads a message this way; the resolver's own reading
// is dns::ReadReply.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestra_tool {

struct RecordText {
  std::string name;  // presentation form, with its final dot
  std::string type;  // "MX", or "TYPE65280"
  std::string klass;
  std::uint32_t ttl = 0;   // 0 in the question section
  std::string data;        // zone-file form; "" in the question section
  bool exchanger = false;  // an answer of type MX and class IN
};

struct ReplyText {
  std::uint16_t id = 0;
  std::vector<std::string> flags;  // in dig's order: qr aa tc rd ra
  std::string rcode;
  std::uint16_t counts[4] = {};  // QUERY, ANSWER, AUTHORITY, ADDITIONAL as the header says
  std::vector<RecordText> sections[4];
  bool whole = true;  // false: a record could not be read, and the ones after it are left
};

// Nothing but the header when the bytes are shorter than one (whole false).
ReplyText ReadReplyText(std::span<const std::uint8_t> bytes);

// The header flags by name, in dig's order.
std::vector<std::string> FlagNames(std::uint16_t flags);

}  // namespace kestra_tool
