// PLACEHOLDER until the text-safety branch lands (replaced at merge).
#pragma once
#include <string>
#include <string_view>
namespace kestra_tool {
enum class Encoding { kUtf8, kAnsi };
std::string JsonText(std::string_view bytes, Encoding encoding);
std::string ShownText(std::string_view bytes, Encoding encoding);
std::string PresentedName(std::string_view labels);
}  // namespace kestra_tool
