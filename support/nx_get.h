// The two forms of configuration reading the access control calls: a registry value
// by textual key path, and INI values and entries.
#pragma once

#include <string>

class CNxGet {
 public:
  virtual ~CNxGet() = default;

  // Value kinds of GetRegistryValue.
  static constexpr int kString = 0;
  static constexpr int kNumber = 1;

  // `key_path` names the root by its first element, e.g.
  // "HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick". Kind 0 reads a string, kind 1 a
  // number (as unsigned decimal text); any other kind reads nothing and returns true
  // with `out` unchanged.
  bool GetRegistryValue(std::string& out, const std::string& key_path, int kind,
                        const std::string& value_name);

  // CNxFunctions::ReadIniString.
  void GetIniValue(std::string& out, const std::string& section, const std::string& key,
                   const std::string& file);

  // The first line of `section` whose value begins `target` (CNxFunctions::
  // FindEntryByValuePrefix with "="), or empty.
  void FindIniEntry(std::string& out, const std::string& section, const std::string& target,
                    const std::string& file);
  // The same with the value ending at a path boundary of `target`
  // (CNxFunctions::FindEntryByFolderPrefix); used to find the calling site.
  void FindIniFolderEntry(std::string& out, const std::string& section, const std::string& target,
                          const std::string& file);
};
