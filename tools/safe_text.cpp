// The one rule for bytes from outside (see safe_text.h).
#include "tools/safe_text.h"

#include <cstdio>
#include <optional>

#include "platform/mbcs.h"

namespace kestra_tool {
namespace {

void AppendHex(std::string_view bytes, std::string* out) {
  for (const char c : bytes) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
    *out += hex;
  }
}

// C0, DEL, and C1 (U+0080-U+009F, C2 80 to C2 9F in UTF-8).
bool IsControl(std::string_view utf8) {
  const auto lead = static_cast<unsigned char>(utf8[0]);
  return lead < 0x20 || lead == 0x7F ||
         (lead == 0xC2 && static_cast<unsigned char>(utf8[1]) < 0xA0);
}

std::string Safe(std::string_view bytes, Encoding encoding, bool shown) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    std::optional<platform::NarrowCharacter> c;
    if (encoding == Encoding::kAnsi) {
      c = platform::FirstNarrowCharacter(bytes);
    } else if (const std::size_t n = platform::Utf8Length(bytes); n > 0) {
      c = platform::NarrowCharacter{std::string(bytes.substr(0, n)), n};
    }
    const std::size_t used = c ? c->bytes : 1;
    if (!c || (shown && IsControl(c->utf8))) {
      AppendHex(bytes.substr(0, used), &out);
    } else {
      out += c->utf8;
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
  if (labels.empty()) return ".";
  std::string out;
  for (std::size_t i = 0; i < labels.size();) {
    const std::size_t length = static_cast<unsigned char>(labels[i++]);
    for (const char c : labels.substr(i, length)) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte <= 0x20 || byte >= 0x7F) {
        char decimal[5];
        std::snprintf(decimal, sizeof decimal, "\\%03u", byte);
        out += decimal;
      } else {
        if (std::string_view("\"().;\\@$").find(c) != std::string_view::npos) out += '\\';
        out += c;
      }
    }
    out += '.';
    i += length;
  }
  return out;
}

}  // namespace kestra_tool
