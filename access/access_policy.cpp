// The access decision made before every lookup (see access_policy.h).
#include "access/access_policy.h"

#include <climits>
#include <cstdint>

#include "access/caller_source.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/net.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "support/ini_values.h"
#include "support/registry_values.h"
#include "support/text.h"

namespace hosting {
namespace {

constexpr const char* kConfigKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick";
constexpr const char* kNotAllowed =
    "Please contact your hosting administrator, as you are not allowed to use ";

void Note(Trace* trace, const char* name, const std::string& value) {
  if (trace != nullptr) trace->Note(name, value);
}

Decision Allow(int step) {
  return {true, step, {}, std::nullopt};
}

Decision Refuse(int step, std::string refusal) {
  return {false, step, std::move(refusal), std::nullopt};
}

// Each read opens the registry anew: the configuration is read afresh at every call.
support::TextResult ReadConfigString(const char* name) {
  return support::ReadRegistryString(*platform::OpenSystemRegistry(), kConfigKey, name);
}
support::TextResult ReadConfigNumber(const char* name) {
  return support::ReadRegistryNumber(*platform::OpenSystemRegistry(), kConfigKey, name);
}

// The full path of `file_name` in `folder` (InstallationPath as read, or its error)
// when an entry of that path exists; otherwise the error text.
support::TextResult PathInFolder(const support::TextResult& folder, const std::string& file_name) {
  if (!folder.ok) return folder;
  if (folder.text.empty()) {
    // No folder, no file: a path made from it would name the root of a drive.
    platform::SetThreadLastError(platform::syserr::kFileNotFound);
    return {false, support::SystemErrorText(platform::syserr::kFileNotFound)};
  }
  std::string path = folder.text;
  if (path.back() != '\\') path += '\\';
  path += file_name;
  if (platform::FindEntry(path) != 0) {
    return {false, support::SystemErrorText(platform::ThreadLastError())};
  }
  return {true, std::move(path)};
}

// Steps 6 to 10: the site whose folder holds the caller, and its grants. A folder must
// end at a path boundary of the caller's path, so that 'C:\web\site1' does not cover
// 'C:\web\site10\x.asp'.
Decision DecideForSite(const std::string& component, const std::string& method,
                       platform::ProfileFile& website, const std::string& caller_path,
                       Trace* trace) {
  const std::string entry = support::FindIniFolderEntry("Path", caller_path, website);
  Note(trace, "Path entry", entry);
  const std::size_t eq = entry.find('=');
  if (eq == std::string::npos) return Refuse(6, kNotAllowed + component + " component");
  const std::string site = entry.substr(0, eq);

  const std::string components = support::IniValue("Security", site, website);
  Note(trace, "Security", components);
  if (!support::IsInList(components, component)) {
    return Refuse(8, kNotAllowed + component + " component");
  }

  const std::string methods = support::IniValue(site, component, website);
  Note(trace, "Methods", methods);
  if (platform::EqualNoCase(methods, "All") || support::IsInList(methods, method)) return Allow(9);
  return Refuse(10, kNotAllowed + method + " method of " + component + " component");
}

}  // namespace

bool GatehouseSwitchedOn(const std::string& text) {
  // As the C library's atoi-style reading does it: blanks, a sign, digits.
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<std::int64_t>(INT_MAX) + 1) break;  // saturated either way
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return (static_cast<std::uint32_t>(value) & 0xFFFFu) != 0;
}

support::TextResult InstalledFilePath(const std::string& file_name) {
  return PathInFolder(ReadConfigString("InstallationPath"), file_name);
}

ConfigFiles LocateConfigFiles(Trace* trace) {
  // One read of the folder serves both files.
  const support::TextResult folder = ReadConfigString("InstallationPath");
  ConfigFiles files;
  support::TextResult admin = PathInFolder(folder, "Admin.ini");
  files.admin_ini = std::move(admin.text);
  Note(trace, "Admin.ini", files.admin_ini);
  if (!admin.ok) return files;
  support::TextResult website = PathInFolder(folder, "WebSite.ini");
  files.website_ini = std::move(website.text);
  Note(trace, "WebSite.ini", files.website_ini);
  files.found = website.ok;
  return files;
}

support::TextResult IdentifyCaller(CallerSource* caller) {
  RequestCaller request;
  if (caller == nullptr) caller = &request;
  std::optional<std::string> path = caller->CallerPath();
  if (!path) return {false, support::SystemErrorText(platform::ThreadLastError())};
  return {true, std::move(*path)};
}

Decision Decide(const std::string& component, const std::string& method, const ConfigFiles& files,
                CallerSource* caller, Trace* trace) {
  if (!files.found) return Allow(1);

  // Each file is read once for all the steps that ask it (on Windows the system's
  // profile functions answer each step).
  platform::ProfileFile admin(files.admin_ini);
  platform::ProfileFile website(files.website_ini);
  const std::string installed = support::IniValue("Settings", "Installed", admin);
  Note(trace, "Installed", installed);
  if (!support::IsInList(installed, component)) return Allow(2);

  // Fails closed: a switch that cannot be read refuses.
  const support::TextResult enabled = ReadConfigNumber("EnableGatehouse");
  Note(trace, "EnableGatehouse", enabled.text);
  if (!enabled.ok) return Refuse(3, enabled.text);
  if (!GatehouseSwitchedOn(enabled.text)) return Allow(3);

  const std::string applied = support::IniValue("Settings", "Applied", admin);
  Note(trace, "Applied", applied);
  if (!support::IsInList(applied, component)) return Allow(4);

  const support::TextResult identified = IdentifyCaller(caller);
  Note(trace, identified.ok ? "Caller path" : "Caller not found", identified.text);
  Decision decision =
      identified.ok
          ? DecideForSite(component, method, website, identified.text, trace)
          : Refuse(5, identified.text +
                          "( Unable to proceed further as calling request object not found. "
                          "Please free " +
                          component + " component from Tarnwick Gatehouse to make " + method +
                          " method successfull. )");
  decision.caller_path = identified.text;
  return decision;
}

AccessReport ExplainAccess(const std::string& method, CallerSource* caller,
                           const std::string& component) {
  Trace trace;
  const ConfigFiles files = LocateConfigFiles(&trace);
  const Decision decision = Decide(component, method, files, caller, &trace);
  return {decision.allowed, decision.step, decision.allowed ? std::string() : decision.refusal,
          std::move(trace.values)};
}

}  // namespace hosting
