// Feeds arbitrary bytes to the printer of DNS messages (what `kestra --explain` shows
// of a reply) and checks that whatever it makes of them is safe to show: every name and
// every RDATA text is printable ASCII, every name ends with its dot, and no more records
// are read than the header promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tools/reply_text.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

bool Printable(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kestra_tool::ReplyText reply = kestra_tool::ReadReplyText(std::span(data, size));
  for (int s = 0; s < 4; ++s) {
    Check(reply.sections[s].size() <= reply.counts[s]);
    for (const kestra_tool::RecordText& r : reply.sections[s]) {
      Check(Printable(r.name) && !r.name.empty() && r.name.back() == '.');
      Check(Printable(r.data) && Printable(r.type) && Printable(r.klass));
      Check(s != 0 || r.data.empty());
    }
  }
  return 0;
}
