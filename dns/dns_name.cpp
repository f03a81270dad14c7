#include "dns/dns_name.h"

#include <cstring>

namespace dns {

std::size_t WriteLabels(std::string_view domain, char* out) {
  char* const begin = out;
  const char* p = domain.data();
  const char* const end = p + domain.size();
  for (;;) {  // each pass copies one label and ends at a dot or the end of the text
    char* const length_at = out++;
    const char* const start = p;
    while (p != end && *p != '.') *out++ = *p++;
    const auto length = static_cast<std::size_t>(p - start);
    if (length % 256 != 0) {
      *length_at = static_cast<char>(length % 256);
    } else {
      // No length byte for an empty label (or one whose length byte would read 0).
      if (length != 0) std::memmove(length_at, length_at + 1, length);
      --out;
    }
    if (p == end) break;
    ++p;
  }
  return static_cast<std::size_t>(out - begin);
}

std::string DomainToLabels(std::string_view domain) {
  std::string out(domain.size() + 1, '\0');
  out.resize(WriteLabels(domain, out.data()));
  return out;
}

bool FitsInQuery(std::string_view domain) {
  std::size_t wire_length = 1;
  std::size_t length = 0;  // of the label being read
  for (const char ch : domain) {
    if (ch != '.') {
      if (++length > kMaxLabel) return false;
      continue;
    }
    if (length > 0) wire_length += length + 1;
    length = 0;
  }
  if (length > 0) wire_length += length + 1;
  return wire_length <= kMaxName;
}

std::string LabelsToDotted(std::string_view labels) {
  std::string out;
  out.reserve(labels.size());
  std::size_t i = 0;
  bool first = true;
  while (i < labels.size()) {  // each pass takes one length byte and what it covers
    const std::size_t length = static_cast<unsigned char>(labels[i++]);
    const std::size_t take = std::min(length, labels.size() - i);
    if (!first) out.push_back('.');
    first = false;
    out.append(labels.substr(i, take));
    i += take;
  }
  return out;
}

bool NameMatches(std::span<const std::uint8_t> message, std::size_t pos, std::string_view labels) {
  const std::uint8_t* const bytes = message.data();
  const std::size_t size = message.size();
  // Most replies repeat the question exactly as it was asked, without a pointer: when
  // the bytes at pos are the labels and a root byte, and the labels are well formed,
  // a walk from pos would read exactly those labels.
  if (pos <= size && size - pos > labels.size() && bytes[pos + labels.size()] == 0 &&
      (labels.empty() || std::memcmp(bytes + pos, labels.data(), labels.size()) == 0)) {
    std::size_t i = 0;
    while (i < labels.size()) {  // each pass moves past one label
      const std::size_t n = static_cast<unsigned char>(labels[i]);
      if (n == 0 || n > kMaxLabel) break;
      i += n + 1;
    }
    if (i == labels.size() && labels.size() + 1 <= kMaxName) return true;
  }
  std::size_t at = 0;
  bool same = true;
  const bool ok =
      WalkName(message, &pos, size, nullptr, [&](const std::uint8_t* label, std::size_t n) {
        if (!same || labels.size() - at < n + 1 || static_cast<unsigned char>(labels[at]) != n) {
          same = false;
          return;
        }
        const auto* expected = reinterpret_cast<const std::uint8_t*>(labels.data() + at + 1);
        if (std::memcmp(label, expected, n) != 0) {
          for (std::size_t i = 0; i < n && same; ++i) {
            same = FoldAsciiCase(label[i]) == FoldAsciiCase(expected[i]);
          }
        }
        at += n + 1;
      });
  return ok && same && at == labels.size();
}

}  // namespace dns
