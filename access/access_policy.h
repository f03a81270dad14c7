// Hosting access control: whether the calling web site may use this component and the
// method under way. The configuration is the hosting administrator's, read afresh on
// every call and never written:
//   registry  HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick: InstallationPath (REG_SZ,
//             the folder of the two files), EnableGatehouse (REG_DWORD, on/off)
//   Admin.ini    [Settings] Installed=, Applied=  (component lists)
//   WebSite.ini  [Path] site=folder, [Security] site=components,
//                [<site>] component=All | list of access names
// A lookup's frame asks it through access/access_control.h and keeps the answer in its
// own state. (The folder's namespace is `hosting`: `access` is the POSIX access()
// function.) Decide's steps:
//    1 configuration files not found: allow
//    2 component not in Installed: allow
//    3 EnableGatehouse unreadable: refuse; switched off: allow
//    4 component not in Applied: allow
//    5 calling request not found: refuse
//    6 no Path line covers the caller: refuse
//    8 component not in the site's Security list: refuse
//    9 site section grants All or the method: allow
//   10 method not granted: refuse
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/error_text.h"

namespace hosting {

class CallerSource;

// The values one check read, in reading order (for ExplainAccess).
struct Trace {
  std::vector<std::pair<std::string, std::string>> values;
  void Note(std::string name, std::string value) {
    values.emplace_back(std::move(name), std::move(value));
  }
};

// The full path of `file_name` in the installation folder (InstallationPath) when an
// entry of that path exists; otherwise the error text. An empty folder counts as a
// missing file.
support::TextResult InstalledFilePath(const std::string& file_name);

// Admin.ini and WebSite.ini in the installation folder.
struct ConfigFiles {
  bool found = false;       // both were found, and the policy applies
  std::string admin_ini;    // the file's full path, or the error text of its search
  std::string website_ini;  // the same; empty when Admin.ini was not found
};
ConfigFiles LocateConfigFiles(Trace* trace = nullptr);

// The calling page's path from `caller` (the platform's request when null), or the
// system's text for the thread's last error when no calling request is found.
support::TextResult IdentifyCaller(CallerSource* caller);

struct Decision {
  bool allowed = false;
  int step = 0;         // the step that decided (see above)
  std::string refusal;  // the text ErrorReason takes, on refusal
  // What IdentifyCaller gave (the path, or why there is none), when step 5 was reached.
  std::optional<std::string> caller_path;
};

// Whether `method` (an access name: "MXRecords", "Lookup", "VerifySMTP") of `component`
// may run for the page `caller` names, under the configuration `files` locates.
Decision Decide(const std::string& component, const std::string& method, const ConfigFiles& files,
                CallerSource* caller, Trace* trace = nullptr);

// "EnableGatehouse" as text to its switch: a signed decimal number saturating at the
// 32-bit limits, of which only the low 16 bits count. 0 and 65536 are off.
bool GatehouseSwitchedOn(const std::string& text);

struct AccessReport {
  bool allowed = false;
  int step = 0;
  std::string refusal;  // the text ErrorReason would hold, on refusal
  std::vector<std::pair<std::string, std::string>> values;
};

// For the kestra tool's "access --explain": the two steps a lookup's frame runs for
// `method` of `component`, with `caller` standing in for the request (null: the
// platform's own), reported with the deciding step and every value read.
AccessReport ExplainAccess(const std::string& method, CallerSource* caller,
                           const std::string& component = "Brevan");

}  // namespace hosting
