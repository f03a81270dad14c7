#include "support/text.h"

#include "platform/mbcs.h"

namespace support {
namespace {

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsFolderEnd(char c) {
  return c == '\\' || c == '/';
}

// Both searches: the first line whose trimmed value begins `target`; with
// `folder_boundary` the value must also end where a folder of `target` ends.
std::string FindByValuePrefix(const std::vector<std::string>& lines, std::string_view target,
                              char separator, bool folder_boundary) {
  for (const std::string& line : lines) {
    const std::size_t sep = line.find(separator);
    if (sep == std::string::npos) continue;
    const std::string value = Trim(std::string_view(line).substr(sep + 1));
    const std::size_t n = value.size();
    if (n > target.size() || !platform::EqualNoCase(value, target.substr(0, n))) continue;
    if (folder_boundary && n > 0 && !IsFolderEnd(value[n - 1]) && n < target.size() &&
        !IsFolderEnd(target[n])) {
      continue;
    }
    return line;
  }
  return {};
}

}  // namespace

std::string Trim(std::string_view text) {
  while (!text.empty() && IsWhite(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhite(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool IsInList(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (platform::EqualNoCase(Trim(list.substr(0, comma)), name)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

std::vector<std::string> SplitTrimmed(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  while (!text.empty()) {
    const std::size_t sep = text.find(separator);
    pieces.push_back(Trim(text.substr(0, sep)));
    if (sep == std::string_view::npos) break;
    text.remove_prefix(sep + 1);
  }
  return pieces;
}

std::string FindEntryByValuePrefix(const std::vector<std::string>& lines, std::string_view target,
                                   char separator) {
  return FindByValuePrefix(lines, target, separator, false);
}

std::string FindEntryByFolderPrefix(const std::vector<std::string>& lines, std::string_view target,
                                    char separator) {
  return FindByValuePrefix(lines, target, separator, true);
}

}  // namespace support
