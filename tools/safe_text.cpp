// PLACEHOLDER until the text-safety branch lands (replaced at merge).
#include "tools/safe_text.h"
#include <cstdio>
namespace kestra_tool {
namespace {
std::string Hex(unsigned char c) {
  char t[5];
  std::snprintf(t, sizeof t, "\\x%02X", c);
  return t;
}
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const unsigned char c = s[i];
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
  return n;
}
std::string Safe(std::string_view s, bool controls) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8Length(s, i);
    const unsigned char c = s[i];
    if (n == 0 || (controls && n == 1 && (c < 0x20 || c == 0x7F))) {
      out += Hex(c);
      ++i;
      continue;
    }
    out.append(s.substr(i, n));
    i += n;
  }
  return out;
}
}  // namespace
std::string JsonText(std::string_view bytes, Encoding) {
  return Safe(bytes, false);
}
std::string ShownText(std::string_view bytes, Encoding) {
  return Safe(bytes, true);
}
std::string PresentedName(std::string_view labels) {
  std::string out;
  for (std::size_t i = 0; i < labels.size();) {
    const std::size_t n = static_cast<unsigned char>(labels[i++]);
    for (std::size_t k = 0; k < n && i < labels.size(); ++k, ++i) {
      const unsigned char c = labels[i];
      if (c == '.' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c <= ' ' || c >= 0x7F) {
        char t[5];
        std::snprintf(t, sizeof t, "\\%03u", c);
        out += t;
      } else
        out += static_cast<char>(c);
    }
    out += '.';
  }
  return out.empty() ? "." : out;
}
}  // namespace kestra_tool
