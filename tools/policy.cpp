// The grants table (see policy.h).
#include "tools/policy.h"

#include <algorithm>

#include "access/access_policy.h"
#include "access/caller_source.h"
#include "platform/mbcs.h"
#include "platform/trim.h"
#include "tools/safe_text.h"

namespace kestra_tool {
namespace {

constexpr char kEveryoneMay[] = ": every site may use every method";

// What the access control does for every site when it decides before it looks for one.
std::optional<std::string> DecidedForEverySite(const hosting::ConfigFiles& files) {
  hosting::FixedCaller nobody{std::string()};
  const hosting::Decision d =
      hosting::Decide(kComponent, hosting::kMxRecordsAccess, files, &nobody);
  const std::string component = kComponent;
  switch (d.reason) {
    case hosting::Reason::kNoConfiguration: {
      const platform::Failure& missing =
          (files.admin_ini ? files.website_ini : files.admin_ini).failure();
      return "no access configuration is found (" +
             std::string(platform::Trim(hosting::FailureText(missing))) + ")" + kEveryoneMay;
    }
    case hosting::Reason::kNotInstalled:
      return "the access control is not installed for " + component +
             " (Admin.ini [Settings] Installed)" + kEveryoneMay;
    case hosting::Reason::kSwitchUnreadable:
      return "EnableGatehouse cannot be read: every page of every site is refused with: " +
             std::string(platform::Trim(d.refusal));
    case hosting::Reason::kSwitchedOff:
      return std::string("the access control is switched off (EnableGatehouse)") + kEveryoneMay;
    case hosting::Reason::kNotApplied:
      return "the access control is not applied to " + component +
             " (Admin.ini [Settings] Applied)" + kEveryoneMay;
    default:
      return std::nullopt;
  }
}

// The table, refusals written once each below it and referred to by number.
void PrintPolicy(const Policy& policy, std::ostream& out) {
  std::vector<std::string> refusals;
  std::vector<std::vector<std::string>> table = {{"Site"}};
  for (const lookup::MemberAccess& m : lookup::kMemberAccess) table[0].push_back(m.member);
  for (const SiteGrants& site : policy.sites) {
    table.push_back({ShownText(site.site, Encoding::kAnsi)});
    for (const std::string& cell : site.cells) {
      auto found = std::find(refusals.begin(), refusals.end(), cell);
      if (cell != "allowed" && found == refusals.end()) found = refusals.insert(found, cell);
      table.back().push_back(
          cell == "allowed" ? cell
                            : "refused [" + std::to_string(found - refusals.begin() + 1) + "]");
    }
  }
  std::vector<std::size_t> widths(table[0].size());
  for (const auto& row : table) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : table) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - row[i].size() + 2, ' ');
    }
    out << line << '\n';
  }
  if (!refusals.empty()) out << '\n';
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    out << '[' << i + 1 << "] " << ShownText(platform::WithoutLineEnd(refusals[i]), Encoding::kAnsi)
        << '\n';
  }
}

}  // namespace

Policy ComputePolicy(const std::optional<std::string>& site) {
  Policy policy;
  const hosting::ConfigFiles files = hosting::LocateConfigFiles();
  policy.everywhere = DecidedForEverySite(files);
  if (policy.everywhere) return policy;
  for (const hosting::Site& listed : hosting::Configuration(files).Sites()) {
    if (!listed.named || (site && !platform::EqualNoCase(*site, platform::Trim(listed.name)))) {
      continue;
    }
    SiteGrants grants{listed.name, listed.folder, {}};
    // A page lying directly in the site's folder.
    hosting::FixedCaller page(listed.folder);
    for (const lookup::MemberAccess& m : lookup::kMemberAccess) {
      const hosting::Decision d = hosting::Decide(kComponent, m.access_name, files, &page);
      grants.cells.push_back(d.allowed ? "allowed" : d.refusal);
    }
    policy.sites.push_back(std::move(grants));
  }
  return policy;
}

int RunPolicy(const std::optional<std::string>& site, std::ostream& out, std::ostream& err) {
  const Policy policy = ComputePolicy(site);
  if (policy.everywhere) {
    out << ShownText(*policy.everywhere, Encoding::kAnsi) << '\n';
  } else if (site && policy.sites.empty()) {
    err << "kestra: no site " << ShownText(*site, Encoding::kAnsi) << " in [Path]\n";
    return 1;
  } else {
    PrintPolicy(policy, out);
  }
  return 0;
}

}  // namespace kestra_tool
