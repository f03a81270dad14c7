// Any bytes through the one rule for outside text (tools/safe_text.h). The checks are
// independent of the code under test: UTF-8 as nlohmann-json's writer judges it, and
// names read back by a parser of the presentation form written here.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/safe_text.h"

namespace {

using kestra_tool::Encoding;

bool ValidUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

bool HasControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b == 0x7F) return true;
    if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      return true;
    }
  }
  return false;
}

// The presentation form back to label form; nothing when it is not well formed.
bool ReadPresented(std::string_view text, std::string* labels) {
  if (text == ".") return true;
  std::string label;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      if (label.empty() || label.size() > 255) return false;
      *labels += static_cast<char>(label.size());
      *labels += label;
      label.clear();
      continue;
    }
    if (c == '\\') {
      if (++i >= text.size()) return false;
      c = text[i];
      if (c >= '0' && c <= '9') {
        if (i + 2 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isdigit(static_cast<unsigned char>(text[i + 2]))) {
          return false;
        }
        const int value = std::stoi(std::string(text.substr(i, 3)));
        if (value > 255) return false;
        c = static_cast<char>(value);
        i += 2;
      }
    }
    label += c;
  }
  return label.empty();  // the trailing dot
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const Encoding encoding : {Encoding::kUtf8, Encoding::kAnsi}) {
    const std::string json = kestra_tool::JsonText(bytes, encoding);
    const std::string shown = kestra_tool::ShownText(bytes, encoding);
    if (!ValidUtf8(json) || !ValidUtf8(shown) || HasControl(shown)) std::abort();
  }
  // Valid text passes unchanged.
  if (ValidUtf8(bytes) && kestra_tool::JsonText(bytes, Encoding::kUtf8) != bytes) std::abort();

  // The bytes as labels of at most 63 bytes, each length byte taken modulo 64 and a zero
  // one ending the name, as a reader of the wire gives them.
  std::string labels;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = std::min<std::size_t>(bytes[i] & 0x3F, bytes.size() - i - 1);
    if (length == 0) break;
    labels += static_cast<char>(length);
    labels += bytes.substr(i + 1, length);
    i += 1 + length;
  }
  const std::string presented = kestra_tool::PresentedName(labels);
  for (const char c : presented) {
    if (c <= 0x20 || c >= 0x7F) std::abort();
  }
  std::string read;
  if (!ReadPresented(presented, &read) || read != labels) std::abort();
  return 0;
}
