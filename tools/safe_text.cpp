#include "tools/safe_text.h"

#include <cstdio>
#include <optional>

#include "platform/mbcs.h"

namespace kestra_tool {
namespace {

// The bidirectional controls (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) make a
// terminal show text in another order than it has: a terminal sees their bytes too.
bool Bidi(std::string_view utf8) {
  if (utf8.size() != 3 || utf8[0] != '\xE2') return false;
  const auto b1 = static_cast<unsigned char>(utf8[1]), b2 = static_cast<unsigned char>(utf8[2]);
  return (b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) ||
         (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9);
}

std::string Safe(std::string_view bytes, Encoding encoding, bool shown) {
  std::string out;
  while (!bytes.empty()) {
    std::optional<platform::NarrowCharacter> c;
    if (encoding == Encoding::kAnsi) {
      c = platform::FirstNarrowCharacter(bytes);
    } else if (const std::size_t n = platform::Utf8Length(bytes)) {
      c = platform::NarrowCharacter{std::string(bytes.substr(0, n)), n};
    }
    const auto lead = c ? static_cast<unsigned char>(c->utf8[0]) : 0;
    // C0, DEL and C1 (C2 80 to C2 9F).
    const bool control = c && (lead < 0x20 || lead == 0x7F ||
                               (lead == 0xC2 && static_cast<unsigned char>(c->utf8[1]) < 0xA0));
    const std::size_t used = c ? c->bytes : 1;
    if (c && !(shown && (control || Bidi(c->utf8)))) {
      out += c->utf8;
    } else {
      for (const char b : bytes.substr(0, used)) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(b));
        out += hex;
      }
    }
    bytes.remove_prefix(used);
  }
  return out;
}

}  // namespace

std::string JsonText(std::string_view bytes, Encoding encoding) {
  return Safe(bytes, encoding, false);
}

std::string ShownText(std::string_view bytes, Encoding encoding) {
  return Safe(bytes, encoding, true);
}

std::string PresentedName(std::string_view labels) {
  std::string out = labels.empty() ? "." : "";
  for (std::size_t i = 0; i < labels.size(); i += 1 + static_cast<unsigned char>(labels[i])) {
    for (const char c : labels.substr(i + 1, static_cast<unsigned char>(labels[i]))) {
      const auto b = static_cast<unsigned char>(c);
      char decimal[5];
      std::snprintf(decimal, sizeof decimal, "\\%03u", b);
      if (b <= 0x20 || b >= 0x7F) {
        out += decimal;
      } else {
        if (std::string_view("\"().;\\@$").find(c) != std::string_view::npos) out += '\\';
        out += c;
      }
    }
    out += '.';
  }
  return out;
}

}  // namespace kestra_tool
