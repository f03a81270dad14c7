// The INI reader behind platform/profile.h on POSIX. It answers as the system's
// profile functions do for the cases the access control depends on (see profile.h).
#include <cstring>

#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/profile.h"
#include "platform/text_cursor.h"

namespace platform {
namespace {

bool IsIniSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsIniSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsIniSpace(s.back())) s.remove_suffix(1);
  return s;
}

// The file's text, with "\" in the path taken as a separator.
std::optional<std::string> ReadIniFile(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  if (native.empty()) return std::nullopt;
  return ReadWholeFile(native);
}

const IniSection* FindSection(const std::vector<IniSection>& sections, std::string_view name) {
  name = TrimView(name);
  for (const IniSection& s : sections) {
    if (EqualNoCase(s.name, name)) return &s;
  }
  return nullptr;
}

}  // namespace

std::vector<IniSection> ParseIni(std::string_view text) {
  std::vector<IniSection> sections;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TextCursor cursor(text);
  while (!cursor.AtEnd()) {
    std::string_view line = cursor.TakeLine();
    // A NUL ends the line's text, as it would end a C string.
    std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    line = TrimView(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        sections.push_back(IniSection{std::string(line.substr(1, close - 1)), {}});
        continue;
      }
    }
    if (sections.empty()) sections.push_back(IniSection{});
    IniEntry entry;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      entry.key = std::string(line);
    } else {
      entry.key = std::string(TrimView(line.substr(0, eq)));
      entry.value = std::string(TrimView(line.substr(eq + 1)));
      entry.has_value = true;
    }
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

namespace {

std::uint32_t StringOf(const std::vector<IniSection>& sections, const std::string& section,
                       const std::string& key, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const IniSection* s = FindSection(sections, section);
  if (s == nullptr) return 0;
  std::string_view wanted = TrimView(key);
  // Only the first entry of that name counts, even when it has no value.
  for (const IniEntry& e : s->entries) {
    if (!EqualNoCase(e.key, wanted)) continue;
    if (!e.has_value) return 0;
    std::string_view value = e.value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
  }
  return 0;
}

std::uint32_t SectionOf(const std::vector<IniSection>& sections, const std::string& section,
                        char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (size > 1) buffer[1] = '\0';
  if (size <= 2) return 0;
  const IniSection* s = FindSection(sections, section);
  if (s == nullptr) return 0;
  std::string lines;  // each line ended by its NUL
  for (const IniEntry& e : s->entries) {
    if (!e.key.empty() && e.key.front() == ';') continue;
    lines += e.key;
    if (e.has_value) {
      lines += '=';
      lines += e.value;
    }
    lines += '\0';
  }
  if (lines.size() <= size - 2) {
    std::memcpy(buffer, lines.data(), lines.size());
    buffer[lines.size()] = '\0';
    return static_cast<std::uint32_t>(lines.size());
  }
  // Too small: as much as fits, then two NULs.
  std::memcpy(buffer, lines.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

}  // namespace

std::uint32_t ProfileStringFromText(std::string_view text, const std::string& section,
                                    const std::string& key, char* buffer, std::uint32_t size) {
  return StringOf(ParseIni(text), section, key, buffer, size);
}

std::uint32_t ProfileSectionFromText(std::string_view text, const std::string& section,
                                     char* buffer, std::uint32_t size) {
  return SectionOf(ParseIni(text), section, buffer, size);
}

std::uint32_t ProfileString(const std::string& section, const std::string& key, char* buffer,
                            std::uint32_t size, const std::string& file) {
  return ProfileFile(file).String(section, key, buffer, size);
}

std::uint32_t ProfileSection(const std::string& section, char* buffer, std::uint32_t size,
                             const std::string& file) {
  return ProfileFile(file).Section(section, buffer, size);
}

const std::vector<IniSection>* ProfileFile::Sections() {
  if (!m_bRead) {
    m_bRead = true;
    if (const std::optional<std::string> text = ReadIniFile(m_strPath))
      m_sections = ParseIni(*text);
  }
  return m_sections ? &*m_sections : nullptr;
}

std::uint32_t ProfileFile::String(const std::string& section, const std::string& key, char* buffer,
                                  std::uint32_t size) {
  const std::vector<IniSection>* sections = Sections();
  if (sections == nullptr) return StringOf({}, section, key, buffer, size);
  return StringOf(*sections, section, key, buffer, size);
}

std::uint32_t ProfileFile::Section(const std::string& section, char* buffer, std::uint32_t size) {
  const std::vector<IniSection>* sections = Sections();
  if (sections == nullptr) return SectionOf({}, section, buffer, size);
  return SectionOf(*sections, section, buffer, size);
}

}  // namespace platform
