// INI values and lines through the platform's profile functions (platform/profile.h),
// whatever their length: from a file named by its path, read afresh at every call, or
// from a platform::ProfileFile, which the steps of one decision share.
#pragma once

#include <string>
#include <vector>

#include "platform/profile.h"

namespace support {

// The value of `key` in `section` of the INI file `file`, trimmed; empty when the file,
// section or key is missing or the value is empty.
std::string IniValue(const std::string& section, const std::string& key, const std::string& file);
std::string IniValue(const std::string& section, const std::string& key,
                     platform::ProfileFile& file);

// The lines of `section`, each trimmed; none when the file or section is missing or
// empty. Lines are split where the profile reader ends them, so any byte of the code
// page may appear inside a line.
std::vector<std::string> IniSectionLines(const std::string& section, const std::string& file);
std::vector<std::string> IniSectionLines(const std::string& section, platform::ProfileFile& file);

// The first line of `section` whose value begins `target` (FindEntryByValuePrefix of
// support/text.h with "="), or empty.
std::string FindIniEntry(const std::string& section, const std::string& target,
                         const std::string& file);
// The same with the value ending at a path boundary of `target`
// (FindEntryByFolderPrefix); used to find the calling site.
std::string FindIniFolderEntry(const std::string& section, const std::string& target,
                               const std::string& file);
std::string FindIniFolderEntry(const std::string& section, const std::string& target,
                               platform::ProfileFile& file);

}  // namespace support
