// Feeds arbitrary bytes to the reply reader, and checks what must hold of whatever it
// accepts. The same bytes, read as a domain, go through the query writer: any query it
// makes must read back as no reply to itself, and as its own reply once QR is set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "dns/dns_message.h"
#include "dns/dns_name.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dns::Response reply({data, size});
  if (const auto exchangers = reply.Exchangers()) {
    Check(size >= dns::kHeaderSize);
    Check(exchangers->size() <= static_cast<std::size_t>((data[6] << 8) | data[7]));
    // Dotted, a name loses its root byte and its first length byte.
    for (const dns::MxRecord& mx : *exchangers) Check(mx.exchange.size() <= dns::kMaxName - 2);
  }
  // The reply's own ID, so that only the question decides.
  const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : 0;
  if (reply.Answers(*dns::Query::Make("example.com", id))) Check(size > dns::kHeaderSize);

  const std::string_view domain(reinterpret_cast<const char*>(data), size);
  if (const auto query = dns::Query::Make(domain, 0x0312)) {
    Check(query->Name().size() < dns::kMaxName && query->Id() == 0x0312);
    std::string bytes(query->Bytes());
    Check(!dns::Response(AsBytes(bytes)).Answers(*query));  // QR is clear
    bytes[2] = static_cast<char>(bytes[2] | 0x80);
    const dns::Response back(AsBytes(bytes));
    Check(back.Answers(*query) && !back.Truncated());
    const auto none = back.Exchangers();
    Check(none && none->empty());
  }
  return 0;
}
