#include "dns/reply_account.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dns/dns_message.h"
#include "dns/dns_name.h"
#include "dns/wire_cursor.h"
#include "platform/net.h"

namespace dns {
namespace {

using support::Account;
namespace steps = support::steps;

// Numbers by the names zone files and dig give them; others as RFC 3597 writes them.
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
// The header flags in dig's order.
constexpr Named kFlags[] = {{0x8000, "qr"}, {0x0400, "aa"}, {0x0200, "tc"}, {0x0100, "rd"},
                            {0x0080, "ra"}};
// clang-format on

std::string NameOf(std::span<const Named> names, unsigned number, const char* prefix) {
  for (const Named& n : names) {
    if (n.number == number) return n.name;
  }
  return prefix + std::to_string(number);
}

std::string FlagNames(std::uint16_t flags) {
  std::string out;
  for (const Named& f : kFlags) {
    if ((flags & f.number) != 0) out += (out.empty() ? "" : " ") + std::string(f.name);
  }
  return out;
}

// A name in zone-file form: absolute, with its final dot.
std::string ZoneName(WireCursor& c, std::size_t inline_end) {
  std::string labels;
  ReadName(c, inline_end, &labels);
  return LabelsToDotted(std::move(labels)) + ".";
}

std::uint32_t U32(WireCursor& c) {
  const std::uint32_t high = c.U16();
  return (high << 16) | c.U16();
}

// The RDATA of one record, as a zone file writes it; RFC 3597's generic form for types
// it does not know and for data that does not read as its type says.
std::string RdataText(WireCursor& c, std::uint16_t type, std::size_t length) {
  const std::size_t start = c.Position(), end = start + length;
  std::string text;
  platform::IpAddress address;
  switch (type) {
    case 1:
    case 28:
      if (length != (type == 1 ? 4u : 16u)) break;
      address.family = type == 1 ? platform::Family::kV4 : platform::Family::kV6;
      if (const std::uint8_t* p = c.Take(length)) std::memcpy(address.bytes.data(), p, length);
      text = address.Text();
      break;
    case 2:
    case 5:
    case 12:
      text = ZoneName(c, end);
      break;
    case kTypeMx: {
      const unsigned preference = c.U16();
      text = std::to_string(preference) + " " + ZoneName(c, end);
      break;
    }
    case 6: {
      text = ZoneName(c, end);
      text += " " + ZoneName(c, end);
      for (int i = 0; i < 5; ++i) text += " " + std::to_string(U32(c));
      break;
    }
    default:
      break;
  }
  if (c.Ok() && c.Position() == end && !text.empty()) return text;
  // Generic form: \# length hex.
  c = WireCursor(c.Bytes());
  c.Seek(start);
  const std::uint8_t* p = c.Take(length);
  if (!p) return "";
  text = "\\# " + std::to_string(length) + (length ? " " : "");
  for (std::size_t i = 0; i < length; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", p[i]);
    text += hex;
  }
  return text;
}

}  // namespace

void AccountReply(std::span<const std::uint8_t> bytes, Account& account) {
  WireCursor c(bytes);
  const std::uint16_t id = c.U16();
  const std::uint16_t flags = c.U16();
  std::uint16_t counts[4];
  for (std::uint16_t& n : counts) n = c.U16();
  if (!c.Ok()) return;
  account.Add(steps::kDnsReply, {{"id", id},
                                 {"flags", FlagNames(flags)},
                                 {"rcode", NameOf(kRcodes, flags & 0x0F, "RCODE")},
                                 {"qdcount", counts[0]},
                                 {"ancount", counts[1]},
                                 {"nscount", counts[2]},
                                 {"arcount", counts[3]},
                                 {"bytes", static_cast<std::int64_t>(bytes.size())}});
  constexpr const char* kSections[] = {"question", "answer", "authority", "additional"};
  for (int s = 0; s < 4; ++s) {
    for (unsigned i = 0; i < counts[s] && c.Ok(); ++i) {
      Account::Step step{
          steps::kDnsRecord,
          {{"section", std::string(kSections[s])}, {"name", ZoneName(c, bytes.size())}}};
      const std::uint16_t type = c.U16();
      const std::uint16_t klass = c.U16();
      step.fields.emplace_back("type", NameOf(kTypes, type, "TYPE"));
      step.fields.emplace_back("class", NameOf(kClasses, klass, "CLASS"));
      if (s > 0) {
        step.fields.emplace_back("ttl", U32(c));
        const std::size_t length = c.U16();
        if (!c.Ok() || c.Remaining() < length) c.Fail();
        if (c.Ok()) step.fields.emplace_back("data", RdataText(c, type, length));
      }
      if (s == 1) {
        step.fields.emplace_back("exchanger", type != kTypeMx     ? "no: not MX"
                                              : klass != kClassIn ? "no: not IN"
                                                                  : "yes");
      }
      if (c.Ok()) account.Add(std::move(step));
    }
  }
  // A reply the resolver took reads whole; one it dropped may not.
  if (!c.Ok()) account.Add(steps::kDnsRecord, {{"section", std::string("unreadable")}});
}

}  // namespace dns
