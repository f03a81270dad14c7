#include "tools/reply_text.h"

#include <cstdio>
#include <span>

#include "dns/dns_message.h"
#include "dns/dns_name.h"
#include "dns/wire_cursor.h"
#include "platform/net.h"
#include "tools/safe_text.h"

namespace kestra_tool {
namespace {

using dns::WireCursor;

struct Named {
  unsigned number;
  const char* name;
};
// clang-format off
constexpr Named kTypes[] = {{1, "A"}, {2, "NS"}, {5, "CNAME"}, {6, "SOA"}, {12, "PTR"},
                            {15, "MX"}, {16, "TXT"}, {28, "AAAA"}, {33, "SRV"}, {41, "OPT"}};
constexpr Named kClasses[] = {{1, "IN"}, {3, "CH"}, {4, "HS"}};
constexpr Named kRcodes[] = {{0, "NOERROR"}, {1, "FORMERR"}, {2, "SERVFAIL"}, {3, "NXDOMAIN"},
                             {4, "NOTIMP"}, {5, "REFUSED"}};
constexpr Named kFlags[] = {{0x8000, "qr"}, {0x0400, "aa"}, {0x0200, "tc"}, {0x0100, "rd"},
                            {0x0080, "ra"}};
// clang-format on

std::string NameOf(std::span<const Named> names, unsigned number, const char* prefix) {
  for (const Named& n : names) {
    if (n.number == number) return n.name;
  }
  return prefix + std::to_string(number);
}

std::string Name(WireCursor& c, std::size_t inline_end) {
  std::string labels;
  dns::ReadName(c, inline_end, &labels);
  return PresentedName(labels);
}

std::uint32_t U32(WireCursor& c) {
  const std::uint32_t high = c.U16();
  return (high << 16) | c.U16();
}

// The RDATA of one record as a zone file writes it; RFC 3597's generic form for types it
// does not know and for data that does not read as its type says.
std::string RdataText(WireCursor& c, std::uint16_t type, std::size_t length) {
  const std::size_t start = c.Position(), end = start + length;
  std::string text;
  switch (type) {
    case 1:
    case 28:
      if (length == (type == 1 ? 4u : 16u)) {
        platform::IpAddress address;
        address.family = type == 1 ? platform::Family::kV4 : platform::Family::kV6;
        if (const std::uint8_t* p = c.Take(length)) std::copy(p, p + length, address.bytes.begin());
        text = address.Text();
      }
      break;
    case 2:
    case 5:
    case 12:
      text = Name(c, end);
      break;
    case dns::kTypeMx:
      text = std::to_string(c.U16());
      text += " " + Name(c, end);
      break;
    case 6:
      text = Name(c, end);
      text += " " + Name(c, end);
      for (int i = 0; i < 5; ++i) text += " " + std::to_string(U32(c));
      break;
    default:
      break;
  }
  if (c.Ok() && c.Position() == end && !text.empty()) return text;
  c = WireCursor(c.Bytes());
  c.Seek(start);
  const std::uint8_t* p = c.Take(length);
  text = "\\# " + std::to_string(length) + (length ? " " : "");
  for (std::size_t i = 0; p && i < length; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", p[i]);
    text += hex;
  }
  return text;
}

}  // namespace

std::vector<std::string> FlagNames(std::uint16_t flags) {
  std::vector<std::string> out;
  for (const Named& f : kFlags) {
    if ((flags & f.number) != 0) out.emplace_back(f.name);
  }
  return out;
}

ReplyText ReadReplyText(std::span<const std::uint8_t> bytes) {
  ReplyText reply;
  WireCursor c(bytes);
  reply.id = c.U16();
  const std::uint16_t flags = c.U16();
  for (std::uint16_t& n : reply.counts) n = c.U16();
  if (!c.Ok()) {
    reply.whole = false;
    return reply;
  }
  reply.flags = FlagNames(flags);
  reply.rcode = NameOf(kRcodes, flags & 0x0F, "RCODE");
  for (int s = 0; s < 4; ++s) {
    for (unsigned i = 0; i < reply.counts[s] && c.Ok(); ++i) {
      RecordText r;
      r.name = Name(c, bytes.size());
      const std::uint16_t type = c.U16();
      const std::uint16_t klass = c.U16();
      r.type = NameOf(kTypes, type, "TYPE");
      r.klass = NameOf(kClasses, klass, "CLASS");
      if (s > 0) {
        r.ttl = U32(c);
        const std::size_t length = c.U16();
        if (!c.Ok() || c.Remaining() < length) c.Fail();
        if (c.Ok()) r.data = RdataText(c, type, length);
      }
      r.exchanger = s == 1 && type == dns::kTypeMx && klass == dns::kClassIn;
      if (c.Ok()) reply.sections[s].push_back(std::move(r));
    }
  }
  reply.whole = c.Ok();
  return reply;
}

}  // namespace kestra_tool
