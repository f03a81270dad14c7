// The INI reader behind platform/profile.h on POSIX. It answers as the system's
// profile functions do for the cases the access control depends on (see profile.h).
#include <algorithm>

#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/profile.h"
#include "platform/text_cursor.h"
#include "platform/trim.h"

namespace platform {
namespace {

const IniSection* FindSection(const std::vector<IniSection>& sections, std::string_view name) {
  name = Trim(name, kIniSpace);
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
    line = Trim(line, kIniSpace);
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
      entry.key = std::string(Trim(line.substr(0, eq), kIniSpace));
      entry.value = std::string(Trim(line.substr(eq + 1), kIniSpace));
      entry.has_value = true;
    }
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

std::string IniValue(const std::vector<IniSection>& sections, std::string_view section,
                     std::string_view key) {
  const IniSection* s = FindSection(sections, section);
  if (s == nullptr) return {};
  key = Trim(key, kIniSpace);
  // Only the first entry of that name counts, even when it has no value.
  for (const IniEntry& e : s->entries) {
    if (!EqualNoCase(e.key, key)) continue;
    std::string_view value = e.value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return {};
}

std::vector<std::string> IniLines(const std::vector<IniSection>& sections,
                                  std::string_view section) {
  std::vector<std::string> lines;
  const IniSection* s = FindSection(sections, section);
  if (s == nullptr) return lines;
  for (const IniEntry& e : s->entries) {
    if (!e.key.empty() && e.key.front() == ';') continue;
    lines.push_back(e.has_value ? e.key + '=' + e.value : e.key);
  }
  return lines;
}

const std::vector<IniSection>& ProfileFile::Sections() {
  if (!m_bRead) {
    m_bRead = true;
    // "\" in the path is taken as a separator.
    std::string native = m_strPath;
    std::replace(native.begin(), native.end(), '\\', '/');
    if (const Result<std::string> text = ReadWholeFile(native)) m_sections = ParseIni(*text);
  }
  return m_sections;
}

std::string ProfileFile::String(const std::string& section, const std::string& key) {
  return IniValue(Sections(), section, key);
}

std::vector<std::string> ProfileFile::Section(const std::string& section) {
  return IniLines(Sections(), section);
}

}  // namespace platform
