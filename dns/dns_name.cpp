#include "dns/dns_name.h"

#include <algorithm>
#include <cstdint>

namespace dns {

void ReadName(WireCursor& c, std::size_t inline_end, std::string* labels) {
  const std::span<const std::uint8_t> msg = c.Bytes();
  std::size_t p = c.Position();
  std::size_t segment_start = p;
  std::size_t limit = std::min(inline_end, msg.size());
  std::size_t resume = 0;       // where the cursor goes; never 0 once set
  std::size_t wire_length = 1;  // the root byte
  int pointers = 0;
  while (c.Ok()) {  // each pass reads one label or one pointer, or ends the walk
    if (p >= limit) break;
    const std::uint8_t b = msg[p];
    if (b == 0) {
      c.Seek(resume != 0 ? resume : p + 1);
      return;
    }
    if ((b & 0xC0) == 0xC0) {
      if (limit - p < 2) break;
      const std::size_t target = (static_cast<std::size_t>(b & 0x3F) << 8) | msg[p + 1];
      if (target >= segment_start || ++pointers > kMaxPointers) break;
      if (resume == 0) resume = p + 2;
      p = segment_start = target;
      limit = msg.size();
      continue;
    }
    wire_length += 1u + b;
    if ((b & 0xC0) != 0 || limit - p - 1 < b || wire_length > kMaxName) break;
    if (labels) labels->append(reinterpret_cast<const char*>(msg.data() + p), 1u + b);
    p += 1u + b;
  }
  c.Fail();
}

bool SameName(std::string_view a, std::string_view b) {
  auto fold = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; };
  return std::ranges::equal(a, b, {}, fold, fold);
}

std::string LabelsToDotted(std::string labels) {
  for (std::size_t i = 0; i < labels.size();) {  // each pass moves past one label
    const std::size_t length = static_cast<std::uint8_t>(labels[i]);
    labels[i] = '.';
    i += 1 + length;
  }
  if (!labels.empty()) labels.erase(0, 1);
  return labels;
}

}  // namespace dns
