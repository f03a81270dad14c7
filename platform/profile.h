// Private-profile (INI) reading, answered as GetPrivateProfileStringA and
// GetPrivateProfileSectionA answer. Files are never written.
//
// Windows: the system's profile functions. POSIX: a reader that gives the same
// answers: section and key names match without regard to case and surrounding blanks;
// a key's value is the text after its first "=", trimmed of white space, with one pair
// of enclosing quotes (' or ") removed; the first of duplicate sections or keys wins;
// a section lists its lines as "key=value" (or the bare line when it has no "="), in
// file order, leaving out empty lines and lines that start with ";". Paths may use "\"
// as a separator, which the POSIX reader turns into "/".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

#ifndef _WIN32
// The POSIX reader's parser and its answers over parsed text, public for its tests and
// its fuzzer.
struct IniEntry {
  std::string key;
  std::string value;
  bool has_value = false;  // the line held a "="
};
struct IniSection {
  std::string name;  // as written between the brackets; "" before the first section
  std::vector<IniEntry> entries;
};
std::vector<IniSection> ParseIni(std::string_view text);
std::string IniValue(const std::vector<IniSection>& sections, std::string_view section,
                     std::string_view key);
std::vector<std::string> IniLines(const std::vector<IniSection>& sections,
                                  std::string_view section);
#endif

// One INI file, asked several times by the steps of one decision. Windows: every call
// goes to the system's profile functions, whose answers stored files rely on. POSIX:
// the file is read and parsed at the first call and answered from memory after that,
// so that one decision reads each file once; a later ProfileFile reads it afresh.
class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : m_strPath(std::move(path)) {}
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // The value of `key` in `section`, whatever its length: "" when the file, section or
  // key is missing (the system's functions tell no difference).
  std::string String(const std::string& section, const std::string& key);
  // The lines of `section`, whatever their length: none when the file or section is
  // missing.
  std::vector<std::string> Section(const std::string& section);

 private:
  std::string m_strPath;
#ifndef _WIN32
  bool m_bRead = false;
  std::vector<IniSection> m_sections;  // none when the file cannot be read
  const std::vector<IniSection>& Sections();
#endif
};

}  // namespace platform
