#include "support/ini_values.h"

#include <cstdint>

#include "platform/profile.h"
#include "support/text.h"

namespace support {
namespace {

// Profile answers are bounded by memory; this bounds the doubling loops besides.
constexpr std::uint32_t kMaxProfileBuffer = 1u << 30;

}  // namespace

std::string IniValue(const std::string& section, const std::string& key, const std::string& file) {
  platform::ProfileFile profile(file);
  return IniValue(section, key, profile);
}

std::string IniValue(const std::string& section, const std::string& key,
                     platform::ProfileFile& file) {
  for (std::uint32_t size = 256; size <= kMaxProfileBuffer; size *= 2) {
    std::vector<char> buffer(size);
    const std::uint32_t n = file.String(section, key, buffer.data(), size);
    if (n == 0) return {};
    if (n == size - 1 && size < kMaxProfileBuffer) continue;  // may not have fitted
    return Trim(std::string_view(buffer.data(), n));
  }
  return {};
}

std::vector<std::string> IniSectionLines(const std::string& section, const std::string& file) {
  platform::ProfileFile profile(file);
  return IniSectionLines(section, profile);
}

std::vector<std::string> IniSectionLines(const std::string& section, platform::ProfileFile& file) {
  for (std::uint32_t size = 256; size <= kMaxProfileBuffer; size *= 2) {
    std::vector<char> buffer(size);
    const std::uint32_t n = file.Section(section, buffer.data(), size);
    if (n == 0) return {};
    if (n == size - 2 && size < kMaxProfileBuffer) continue;  // may not have fitted
    // The reader ends each line with a NUL: that, and no byte of the text, separates
    // the lines.
    return SplitTrimmed(Trim(std::string_view(buffer.data(), n)), '\0');
  }
  return {};
}

std::string FindIniEntry(const std::string& section, const std::string& target,
                         const std::string& file) {
  return FindEntryByValuePrefix(IniSectionLines(section, file), target, '=');
}

std::string FindIniFolderEntry(const std::string& section, const std::string& target,
                               const std::string& file) {
  platform::ProfileFile profile(file);
  return FindIniFolderEntry(section, target, profile);
}

std::string FindIniFolderEntry(const std::string& section, const std::string& target,
                               platform::ProfileFile& file) {
  return FindEntryByFolderPrefix(IniSectionLines(section, file), target, '=');
}

}  // namespace support
