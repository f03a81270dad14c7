// The access decision made before every lookup (see access_policy.h).
#include "access/access_policy.h"

#include <climits>

#include "access/caller_source.h"
#include "lookup/lookup.h"
#include "platform/net.h"
#include "support/nx_functions.h"
#include "support/nx_get.h"

namespace hosting {
namespace {

constexpr const char* kConfigKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick";
constexpr const char* kNotAllowed =
    "Please contact your hosting administrator, as you are not allowed to use ";

void Note(Trace* trace, const char* name, const std::string& value) {
  if (trace != nullptr) trace->Note(name, value);
}

bool Decide(Trace* trace, int step, bool allow) {
  if (trace != nullptr) trace->step = step;
  return allow;
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

void LocateConfigFiles(std::string& admin_ini, std::string& website_ini, std::int32_t& no_config,
                       Trace* trace) {
  CNxFunctions f;
  bool found = f.GetInstalledFilePath(admin_ini, "Admin.ini");
  Note(trace, "Admin.ini", admin_ini);
  if (!found) {
    no_config = 1;
    return;
  }
  found = f.GetInstalledFilePath(website_ini, "WebSite.ini");
  Note(trace, "WebSite.ini", website_ini);
  no_config = found ? 0 : 1;
}

bool IdentifyCaller(ICallerSource* source, std::string& path) {
  CRequestCallerSource request;
  if (source == nullptr) source = &request;
  std::string found;
  if (!source->GetCallerPath(found)) {
    CNxFunctions f;
    f.GetSystemErrorText(path, platform::ThreadLastError());
    return false;
  }
  path = found;
  return true;
}

bool CheckAccess(CheckContext& c, Trace* trace) {
  CNxFunctions f;
  CNxGet get;
  if (c.no_config != 0) return Decide(trace, 1, true);

  std::string installed;
  get.GetIniValue(installed, "Settings", "Installed", c.admin_ini);
  Note(trace, "Installed", installed);
  if (!f.IsInList(installed, c.component)) return Decide(trace, 2, true);

  // Fails closed: a switch that cannot be read refuses.
  std::string enabled;
  bool read = get.GetRegistryValue(enabled, kConfigKey, CNxGet::kNumber, "EnableGatehouse");
  Note(trace, "EnableGatehouse", enabled);
  if (!read) {
    c.error_reason = enabled;
    return Decide(trace, 3, false);
  }
  if (!GatehouseSwitchedOn(enabled)) return Decide(trace, 3, true);

  std::string applied;
  get.GetIniValue(applied, "Settings", "Applied", c.admin_ini);
  Note(trace, "Applied", applied);
  if (!f.IsInList(applied, c.component)) return Decide(trace, 4, true);

  bool identified = c.identify_caller(c.caller_path);
  Note(trace, identified ? "Caller path" : "Caller not found", c.caller_path);
  if (!identified) {
    c.error_reason = c.caller_path +
                     "( Unable to proceed further as calling request object not found. Please "
                     "free " +
                     c.component + " component from Tarnwick Gatehouse to make " + c.method +
                     " method successfull. )";
    return Decide(trace, 5, false);
  }

  // The site whose folder holds the caller. A folder must end at a path boundary of
  // the caller's path, so that 'C:\web\site1' does not cover 'C:\web\site10\x.asp'.
  std::string entry;
  get.FindIniFolderEntry(entry, "Path", c.caller_path, c.website_ini);
  Note(trace, "Path entry", entry);
  std::size_t eq = entry.find('=');
  if (eq == std::string::npos) {
    c.error_reason = kNotAllowed + c.component + " component";
    return Decide(trace, 6, false);
  }
  std::string site = entry.substr(0, eq);

  std::string components;
  get.GetIniValue(components, "Security", site, c.website_ini);
  Note(trace, "Security", components);
  if (!f.IsInList(components, c.component)) {
    c.error_reason = kNotAllowed + c.component + " component";
    return Decide(trace, 8, false);
  }

  std::string methods;
  get.GetIniValue(methods, site, c.component, c.website_ini);
  Note(trace, "Methods", methods);
  if (methods.size() == 3 && CNxFunctions::EqualNoCase(methods.data(), "All", 3)) {
    return Decide(trace, 9, true);
  }
  if (f.IsInList(methods, c.method)) return Decide(trace, 9, true);

  c.error_reason = kNotAllowed + c.method + " method of " + c.component + " component";
  return Decide(trace, 10, false);
}

AccessReport ExplainAccess(const std::string& method, ICallerSource* caller,
                           const std::string& component) {
  AccessReport report;
  Trace trace;
  std::string admin_ini;
  std::string website_ini;
  std::int32_t no_config = 1;
  std::string caller_path;
  std::string error_reason;
  LocateConfigFiles(admin_ini, website_ini, no_config, &trace);
  CheckContext context{
      component,    method,
      admin_ini,    website_ini,
      no_config,    caller_path,
      error_reason, [caller](std::string& path) { return IdentifyCaller(caller, path); }};
  report.allowed = CheckAccess(context, &trace);
  report.step = trace.step;
  if (!report.allowed) report.refusal = error_reason;
  report.values = std::move(trace.values);
  return report;
}

}  // namespace hosting

bool CLookup::LocateConfigFiles() {
  hosting::LocateConfigFiles(m_strAdminIni, m_strWebSiteIni, m_bNoConfig);
  return true;
}

bool CLookup::CheckAccess() {
  hosting::CheckContext context{
      m_strComponent,   m_strMethod,
      m_strAdminIni,    m_strWebSiteIni,
      m_bNoConfig,      m_strCallerPath,
      m_strErrorReason, [this](std::string& path) { return IdentifyCaller(path); }};
  return hosting::CheckAccess(context);
}

bool CLookup::IdentifyCaller(std::string& path) {
  return hosting::IdentifyCaller(m_pCallerSource, path);
}
