#include "support/nx_get.h"

#include <list>

#include "support/nx_functions.h"
#include "support/nx_reg.h"

bool CNxGet::GetRegistryValue(std::string& out, const std::string& key_path, int kind,
                              const std::string& value_name) {
  if (kind != kString && kind != kNumber) return true;
  std::string root_name;
  std::string subkey;
  std::size_t slash = key_path.find('\\');
  if (slash != std::string::npos) {
    root_name = key_path.substr(0, slash);
    subkey = key_path.substr(slash + 1);
  }
  CNxReg reg;
  platform::RegKey root = reg.GetRootKey(root_name);
  return kind == kString ? reg.ReadString(out, root, subkey, value_name)
                         : reg.ReadNumber(out, root, subkey, value_name);
}

void CNxGet::GetIniValue(std::string& out, const std::string& section, const std::string& key,
                         const std::string& file) {
  CNxFunctions f;
  f.ReadIniString(out, section, key, file);
}

void CNxGet::FindIniEntry(std::string& out, const std::string& section, const std::string& target,
                          const std::string& file) {
  CNxFunctions f;
  std::list<std::string> lines;
  f.ReadIniSection(section, file, lines);
  f.FindEntryByValuePrefix(out, lines, target, '=');
}

void CNxGet::FindIniFolderEntry(std::string& out, const std::string& section,
                                const std::string& target, const std::string& file) {
  CNxFunctions f;
  std::list<std::string> lines;
  f.ReadIniSection(section, file, lines);
  f.FindEntryByFolderPrefix(out, lines, target, '=');
}
