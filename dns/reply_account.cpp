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

std::string Numbered(const char* prefix, unsigned number) {
  return prefix + std::to_string(number);
}

std::string TypeName(std::uint16_t type) {
  switch (type) {
    case 1:
      return "A";
    case 2:
      return "NS";
    case 5:
      return "CNAME";
    case 6:
      return "SOA";
    case 12:
      return "PTR";
    case kTypeMx:
      return "MX";
    case 16:
      return "TXT";
    case 28:
      return "AAAA";
    case 33:
      return "SRV";
    case 41:
      return "OPT";
    default:
      return Numbered("TYPE", type);
  }
}

std::string ClassName(std::uint16_t klass) {
  switch (klass) {
    case kClassIn:
      return "IN";
    case 3:
      return "CH";
    case 4:
      return "HS";
    default:
      return Numbered("CLASS", klass);
  }
}

std::string RcodeName(unsigned rcode) {
  constexpr const char* kNames[] = {"NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN",
                                    "NOTIMP",  "REFUSED", "YXDOMAIN", "YXRRSET",
                                    "NXRRSET", "NOTAUTH", "NOTZONE"};
  return rcode < std::size(kNames) ? kNames[rcode] : Numbered("RCODE", rcode);
}

// The header flags by the names dig gives them, in its order.
std::string FlagNames(std::uint16_t flags) {
  constexpr struct {
    std::uint16_t bit;
    const char* name;
  } kFlags[] = {{0x8000, "qr"}, {0x0400, "aa"}, {0x0200, "tc"}, {0x0100, "rd"}, {0x0080, "ra"}};
  std::string out;
  for (const auto& f : kFlags) {
    if ((flags & f.bit) == 0) continue;
    if (!out.empty()) out += ' ';
    out += f.name;
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
    case 16:
      while (c.Ok() && c.Position() < end) {  // each pass reads one string
        const std::uint8_t* n = c.Take(1);
        const std::uint8_t* p = n ? c.Take(*n) : nullptr;
        if (!p) break;
        text += text.empty() ? "\"" : " \"";
        for (std::size_t i = 0; i < *n; ++i) {
          const char ch = static_cast<char>(p[i]);
          if (ch == '"' || ch == '\\') text += '\\';
          text += ch;
        }
        text += '"';
      }
      break;
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
                                 {"rcode", RcodeName(flags & 0x0F)},
                                 {"qdcount", counts[0]},
                                 {"ancount", counts[1]},
                                 {"nscount", counts[2]},
                                 {"arcount", counts[3]},
                                 {"bytes", static_cast<std::int64_t>(bytes.size())}});
  for (unsigned i = 0; i < counts[0] && c.Ok(); ++i) {
    const std::string name = ZoneName(c, bytes.size());
    const std::uint16_t type = c.U16();
    const std::uint16_t klass = c.U16();
    if (c.Ok()) {
      account.Add(steps::kDnsRecord, {{"section", std::string("question")},
                                      {"name", name},
                                      {"type", TypeName(type)},
                                      {"class", ClassName(klass)}});
    }
  }
  constexpr const char* kSections[] = {"answer", "authority", "additional"};
  for (int s = 0; s < 3; ++s) {
    for (unsigned i = 0; i < counts[s + 1] && c.Ok(); ++i) {
      const std::string name = ZoneName(c, bytes.size());
      const std::uint16_t type = c.U16();
      const std::uint16_t klass = c.U16();
      const std::uint32_t ttl = U32(c);
      const std::size_t length = c.U16();
      if (!c.Ok() || c.Remaining() < length) break;
      const std::string data = RdataText(c, type, length);
      Account::Step step{steps::kDnsRecord,
                         {{"section", std::string(kSections[s])},
                          {"name", name},
                          {"type", TypeName(type)},
                          {"class", ClassName(klass)},
                          {"ttl", ttl},
                          {"data", data}}};
      if (s == 0) {
        step.fields.emplace_back("exchanger", type != kTypeMx     ? "no: not MX"
                                              : klass != kClassIn ? "no: not IN"
                                                                  : "yes");
      }
      account.Add(step);
    }
  }
  // A reply the resolver took reads whole; one it dropped may not.
  if (!c.Ok()) account.Add(steps::kDnsRecord, {{"section", std::string("unreadable")}});
}

}  // namespace dns
