// The hosting administrator's configuration and its one reader, which the access
// decision, `kestra policy` and `kestra doctor` all ask. Read afresh for every decision
// (on Windows through the system's registry and profile functions at every question,
// since stored files rely on how they read) and never written:
//   key (texts.h)  InstallationPath (REG_SZ: the files' folder), EnableGatehouse (DWORD)
//   Admin.ini    [Settings] Installed=, Applied=  (component lists)
//   WebSite.ini  [Path] site=folder, [Security] site=components,
//                [<site>] component=All | list of access names
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/result.h"

namespace hosting {

// The text rules. Values and items are trimmed of white space (platform::Trim).
// ListItems gives the pieces between separators, each trimmed (a separator at the very
// end adds none); IsInList whether one equals `name` without regard to case.
std::vector<std::string> ListItems(std::string_view list);
bool IsInList(std::string_view list, std::string_view name);

// What a page reads for a failure: the system's text for the code, or the mismatch text.
std::string FailureText(const platform::Failure& failure);

// Whether `view` holds the key. Both bitnesses read the 32-bit view's key, else the
// 64-bit view's.
bool HasKey(platform::RegView view);

// InstallationPath, the folder of Admin.ini and WebSite.ini.
platform::Result<std::string> InstallationFolder();

// Admin.ini and WebSite.ini in the installation folder: each file's full path, or why
// it is not found. WebSite.ini is looked for only when Admin.ini is found. An empty
// folder names no file.
struct ConfigFiles {
  platform::Result<std::string> admin_ini = platform::Failure{platform::Cause::kNotFound};
  platform::Result<std::string> website_ini = platform::Failure{platform::Cause::kNotFound};
  // Both were found, and the policy applies.
  bool Found() const { return admin_ini.ok() && website_ini.ok(); }
};
ConfigFiles LocateConfigFiles(const platform::Result<std::string>& folder = InstallationFolder());

// EnableGatehouse to its switch: a value above the 32-bit signed limit is on, any
// other counts by its low 16 bits (0 and 65536 are off).
bool SwitchedOn(std::uint32_t gatehouse);

// A line of [Path]: the site's name up to the "=" as written (the whole line when it has
// no "="), and its folder trimmed.
struct Site {
  std::string line, name, folder;
  bool named = false;
};

// The values of one decision or report. POSIX reads each file once for all the
// questions asked of one object; Windows asks the system at every question.
class Configuration {
 public:
  // Of found files (ConfigFiles::Found).
  explicit Configuration(const ConfigFiles& files)
      : m_admin(*files.admin_ini), m_website(*files.website_ini) {}

  std::string Installed() { return Value(m_admin, "Settings", "Installed"); }
  std::string Applied() { return Value(m_admin, "Settings", "Applied"); }
  platform::Result<std::uint32_t> Gatehouse();

  std::vector<Site> Sites();
  // The first named site whose folder holds `page`. A folder ends at a path boundary,
  // so that 'C:\web\site1' covers 'C:\web\site1\x.asp' but not 'C:\web\site10\x.asp';
  // an empty folder covers every page.
  std::optional<Site> SiteOf(std::string_view page);
  std::string Security(const std::string& site) { return Value(m_website, "Security", site); }
  std::string Grants(const std::string& site, const std::string& component) {
    return Value(m_website, site, component);
  }
  bool HasSection(const std::string& site) { return !m_website.Section(site).empty(); }

 private:
  // Trimmed; "" when the file, section or key is missing.
  static std::string Value(platform::ProfileFile& file, const std::string& section,
                           const std::string& key);

  platform::ProfileFile m_admin;
  platform::ProfileFile m_website;
};

}  // namespace hosting
