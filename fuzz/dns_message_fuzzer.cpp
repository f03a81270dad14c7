// Feeds arbitrary bytes to the reply reader, and checks what must hold of whatever it
// accepts. The bytes are read as the reply to the query of their own ID and question,
// so that the answer section is read whatever the question; and as the reply to a fixed
// question. The same bytes, read as a domain, go through the query writer: any query it
// makes must read back as no reply to itself, and as its own reply once QR is set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dns/dns_message.h"
#include "dns/dns_name.h"
#include "dns/wire_cursor.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The query these bytes would answer: their ID and their question's name, when the name
// is one a query can carry as dotted text (no label holds a dot).
std::optional<dns::Query> QueryOf(std::span<const std::uint8_t> bytes) {
  dns::WireCursor c(bytes);
  const std::uint16_t id = c.U16();
  c.Skip(10);
  std::string labels;
  dns::ReadName(c, bytes.size(), &labels);
  if (!c.Ok()) return std::nullopt;
  std::string dotted;
  for (std::size_t i = 0; i < labels.size(); i += 1u + static_cast<std::uint8_t>(labels[i])) {
    dotted += labels.substr(i + 1, static_cast<std::uint8_t>(labels[i])) + ".";
  }
  auto query = dns::Query::Make(dotted, id);
  if (!query || query->Name() != labels) return std::nullopt;
  return std::move(*query);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  constexpr dns::Verdict kTaken = dns::Verdict::kTaken;
  if (const auto query = QueryOf(bytes)) {
    if (const auto read = dns::ReadReply(bytes, *query); read.verdict == kTaken) {
      Check(size > dns::kHeaderSize);
      Check(read.reply.exchangers.size() <= static_cast<std::size_t>((data[6] << 8) | data[7]));
      // Dotted, a name loses its root byte and its first length byte.
      for (const dns::MxRecord& mx : read.reply.exchangers) {
        Check(mx.exchange.size() <= dns::kMaxName - 2);
      }
    } else {
      Check(read.reply.exchangers.empty() && !read.reply.truncated);
    }
  }
  // The reply's own ID, so that only the question decides.
  const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : 0;
  if (dns::ReadReply(bytes, *dns::Query::Make("example.com", id)).verdict == kTaken) {
    Check(size > dns::kHeaderSize);
  }

  const std::string_view domain(reinterpret_cast<const char*>(data), size);
  if (const auto query = dns::Query::Make(domain, 0x0312)) {
    Check(query->Name().size() < dns::kMaxName && query->Id() == 0x0312);
    std::string reply(query->Bytes());
    Check(dns::ReadReply(AsBytes(reply), *query).verdict == dns::Verdict::kNotAReply);
    reply[2] = static_cast<char>(reply[2] | 0x80);
    const auto back = dns::ReadReply(AsBytes(reply), *query);
    Check(back.verdict == kTaken && !back.reply.truncated && back.reply.exchangers.empty());
  }
  return 0;
}
