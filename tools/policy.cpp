// The grants table (see policy.h).
#include "tools/policy.h"

#include <algorithm>

#include "access/access_policy.h"
#include "access/caller_source.h"
#include "platform/mbcs.h"
#include "support/ini_values.h"
#include "support/text.h"

namespace kestra_tool {
namespace {

constexpr const char* kComponent = "Brevan";
constexpr const char* kEveryoneMay = ": every site may use every method";

// What the access control does for every site when it decides before it looks for one.
std::optional<std::string> DecidedForEverySite(const hosting::ConfigFiles& files) {
  hosting::FixedCaller nobody = hosting::FixedCaller::WithPath("");
  const hosting::Decision d = hosting::Decide(kComponent, "MXRecords", files, &nobody);
  switch (d.step) {
    case 1:
      return "no access configuration is found (" +
             support::Trim(files.website_ini.empty() ? files.admin_ini : files.website_ini) + ")" +
             kEveryoneMay;
    case 2:
      return std::string("the access control is not installed for ") + kComponent +
             " (Admin.ini [Settings] Installed)" + kEveryoneMay;
    case 3:
      if (d.allowed)
        return std::string("the access control is switched off (EnableGatehouse)") + kEveryoneMay;
      return "EnableGatehouse cannot be read: every page of every site is refused with: " +
             support::Trim(d.refusal);
    case 4:
      return std::string("the access control is not applied to ") + kComponent +
             " (Admin.ini [Settings] Applied)" + kEveryoneMay;
    default:
      return std::nullopt;
  }
}

}  // namespace

Policy ComputePolicy(const std::optional<std::string>& site) {
  Policy policy;
  const hosting::ConfigFiles files = hosting::LocateConfigFiles();
  policy.everywhere = DecidedForEverySite(files);
  if (policy.everywhere) return policy;
  for (const std::string& line : support::IniSectionLines("Path", files.website_ini)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    SiteGrants grants{line.substr(0, eq), support::Trim(std::string_view(line).substr(eq + 1)), {}};
    if (site && !platform::EqualNoCase(*site, support::Trim(grants.site))) continue;
    // A page lying directly in the site's folder.
    hosting::FixedCaller page = hosting::FixedCaller::WithPath(grants.folder);
    for (const PolicyMethod& m : kPolicyMethods) {
      const hosting::Decision d = hosting::Decide(kComponent, m.access_name, files, &page);
      grants.cells.push_back(d.allowed ? "allowed" : d.refusal);
    }
    policy.sites.push_back(std::move(grants));
  }
  return policy;
}

void PrintPolicy(const Policy& policy, std::ostream& out) {
  if (policy.everywhere) {
    out << *policy.everywhere << '\n';
    return;
  }
  std::vector<std::string> refusals;
  std::vector<std::vector<std::string>> table;
  table.push_back({"Site"});
  for (const PolicyMethod& m : kPolicyMethods) table.back().push_back(m.method);
  for (const SiteGrants& site : policy.sites) {
    table.push_back({site.site});
    for (const std::string& cell : site.cells) {
      if (cell == "allowed") {
        table.back().push_back(cell);
        continue;
      }
      auto found = std::find(refusals.begin(), refusals.end(), cell);
      if (found == refusals.end()) found = refusals.insert(refusals.end(), cell);
      table.back().push_back("refused [" + std::to_string(found - refusals.begin() + 1) + "]");
    }
  }
  std::vector<std::size_t> widths(table.front().size(), 0);
  for (const auto& row : table) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : table) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out << line << '\n';
  }
  if (!refusals.empty()) out << '\n';
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    // System texts end with a line break of their own.
    std::string text = refusals[i];
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    out << '[' << i + 1 << "] " << text << '\n';
  }
}

int RunPolicy(const std::optional<std::string>& site, std::ostream& out, std::ostream& err) {
  const Policy policy = ComputePolicy(site);
  if (!policy.everywhere && site && policy.sites.empty()) {
    err << "kestra: no site " << *site << " in [Path]\n";
    return 1;
  }
  PrintPolicy(policy, out);
  return 0;
}

}  // namespace kestra_tool
