// Hosting access control: whether the calling web site may use this component and the
// method under way. The configuration is the hosting administrator's, read afresh on
// every call and never written:
//   registry  HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick: InstallationPath (REG_SZ,
//             the folder of the two files), EnableGatehouse (REG_DWORD, on/off)
//   Admin.ini    [Settings] Installed=, Applied=  (component lists)
//   WebSite.ini  [Path] site=folder, [Security] site=components,
//                [<site>] component=All | list of access names
// CLookup::LocateConfigFiles / CheckAccess / IdentifyCaller (lookup/lookup.h) run these
// functions on the object's own fields.
//
// ExplainAccess is for the kestra tool's "access --explain": it runs the same two
// steps a lookup's frame runs and reports the decision, the step that made it and
// every value read, in reading order. Steps:
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

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class ICallerSource;

namespace hosting {

// What one check read and decided.
struct Trace {
  int step = 0;
  std::vector<std::pair<std::string, std::string>> values;
  void Note(std::string name, std::string value) {
    values.emplace_back(std::move(name), std::move(value));
  }
};

// Finds Admin.ini and WebSite.ini in the installation folder. Each path receives the
// file's full path or the error text of its search; no_config becomes 1 unless both
// were found.
void LocateConfigFiles(std::string& admin_ini, std::string& website_ini, std::int32_t& no_config,
                       Trace* trace = nullptr);

// The inputs and outputs of one check, all owned by the caller (the CLookup's fields).
struct CheckContext {
  const std::string& component;
  const std::string& method;
  const std::string& admin_ini;
  const std::string& website_ini;
  std::int32_t no_config;
  std::string& caller_path;   // written by identify_caller
  std::string& error_reason;  // written only on refusal
  std::function<bool(std::string&)> identify_caller;
};

// True to allow; false to refuse, with the refusal text in error_reason.
bool CheckAccess(CheckContext& context, Trace* trace = nullptr);

// The calling page's path from `source` (the platform's request when null). On failure
// `path` holds the system's text for the thread's last error.
bool IdentifyCaller(ICallerSource* source, std::string& path);

// "EnableGatehouse" as text to its switch: a signed decimal number saturating at the
// 32-bit limits, of which only the low 16 bits count. 0 and 65536 are off.
bool GatehouseSwitchedOn(const std::string& text);

struct AccessReport {
  bool allowed = false;
  int step = 0;
  std::string refusal;  // the text ErrorReason would hold, on refusal
  std::vector<std::pair<std::string, std::string>> values;
};

// Runs LocateConfigFiles and CheckAccess for `method` ("MXRecords", "Lookup",
// "VerifySMTP") of `component` as a lookup's frame would, with `caller` standing in
// for the request (null: the platform's own request).
AccessReport ExplainAccess(const std::string& method, ICallerSource* caller,
                           const std::string& component = "Brevan");

}  // namespace hosting
