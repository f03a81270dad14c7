// Any bytes through tools/safe_text.h, checked independently of it: UTF-8 as
// nlohmann-json's writer judges it, names read back by a parser written here.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/safe_text.h"

namespace {

bool ValidUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

// Presentation form back to label form; "" also when it is not well formed.
std::string ReadPresented(const std::string& text) {
  std::string labels, label;
  for (std::size_t i = 0; i < text.size() && text != "."; ++i) {
    char c = text[i];
    if (c == '.') {
      labels += static_cast<char>(label.size()) + label;
      label.clear();
      continue;
    }
    if (c == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      c = static_cast<char>(std::stoi(text.substr(i + 1, 3)));
      i += 3;
    } else if (c == '\\' && ++i < text.size()) {
      c = text[i];
    }
    label += c;
  }
  return label.empty() ? labels : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const auto encoding : {kestra_tool::Encoding::kUtf8, kestra_tool::Encoding::kAnsi}) {
    const std::string shown = kestra_tool::ShownText(bytes, encoding);
    if (!ValidUtf8(kestra_tool::JsonText(bytes, encoding)) || !ValidUtf8(shown)) std::abort();
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const auto b = static_cast<unsigned char>(shown[i]);
      const bool c1 = b == 0xC2 && i + 1 < shown.size() && (shown[i + 1] & 0xE0) == 0x80;
      if (b < 0x20 || b == 0x7F || c1) std::abort();
    }
  }
  if (ValidUtf8(bytes) && kestra_tool::JsonText(bytes, kestra_tool::Encoding::kUtf8) != bytes) {
    std::abort();  // valid text passes unchanged
  }
  // The bytes as labels of 1 to 63 bytes, as a reader of the wire gives them.
  std::string labels;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = std::min<std::size_t>(bytes[i] & 0x3F, bytes.size() - i - 1);
    if (length == 0) break;
    labels += static_cast<char>(length) + bytes.substr(i + 1, length);
    i += 1 + length;
  }
  const std::string presented = kestra_tool::PresentedName(labels);
  if (std::any_of(presented.begin(), presented.end(),
                  [](char c) { return c <= ' ' || c >= 0x7F; }) ||
      ReadPresented(presented) != labels) {
    std::abort();
  }
  return 0;
}
