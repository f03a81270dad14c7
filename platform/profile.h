// Private-profile (INI) reading, shaped like GetPrivateProfileStringA and
// GetPrivateProfileSectionA. Files are never written; ProfileString and ProfileSection read
// the file afresh at every call (ProfileFile below reads it once for several questions).
//
// Windows: the system's profile functions. POSIX: a reader that gives the same
// answers: section and key names match without regard to case and surrounding blanks;
// a key's value is the text after its first "=", trimmed of white space, with one pair
// of enclosing quotes (' or ") removed; the first of duplicate sections or keys wins;
// a section lists its lines as "key=value" (or the bare line when it has no "="), in
// file order, leaving out empty lines and lines that start with ";". Paths may use "\"
// as a separator, which the POSIX reader turns into "/".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The value of `key` in `section`, copied into `buffer` (at most size - 1 bytes and a
// NUL). Returns the bytes copied: 0 when nothing was found, size - 1 when the buffer
// may have been too small.
std::uint32_t ProfileString(const std::string& section, const std::string& key, char* buffer,
                            std::uint32_t size, const std::string& file);
// The lines of `section`, each ended by a NUL, then a final NUL. Returns the bytes
// without the final NUL: 0 when nothing was found, size - 2 when the buffer may have
// been too small (the lines then end early, followed by two NULs).
std::uint32_t ProfileSection(const std::string& section, char* buffer, std::uint32_t size,
                             const std::string& file);

#ifndef _WIN32
// The POSIX reader's parser, public for its tests and its fuzzer.
struct IniEntry {
  std::string key;
  std::string value;
  bool has_value = false;  // the line held a "="
};
struct IniSection {
  std::string name;  // as written between the brackets; "" before the first section
  std::vector<IniEntry> entries;
};
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

  // As ProfileString and ProfileSection of this file.
  std::uint32_t String(const std::string& section, const std::string& key, char* buffer,
                       std::uint32_t size);
  std::uint32_t Section(const std::string& section, char* buffer, std::uint32_t size);

 private:
  std::string m_strPath;
#ifndef _WIN32
  bool m_bRead = false;
  std::optional<std::vector<IniSection>> m_sections;  // nothing: the file cannot be read
  const std::vector<IniSection>* Sections();
#endif
};

#ifndef _WIN32
std::vector<IniSection> ParseIni(std::string_view text);
// ProfileString and ProfileSection over the text of a file already read.
std::uint32_t ProfileStringFromText(std::string_view text, const std::string& section,
                                    const std::string& key, char* buffer, std::uint32_t size);
std::uint32_t ProfileSectionFromText(std::string_view text, const std::string& section,
                                     char* buffer, std::uint32_t size);
#endif

}  // namespace platform
