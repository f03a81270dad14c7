// The doctor's rows for the access configuration: what hosting::Configuration finds,
// and the mistakes an administrator can make in it (see doctor.h).
#include <algorithm>

#include "access/access_policy.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/trim.h"
#include "tools/doctor.h"
#include "tools/policy.h"

namespace kestra_tool {
namespace {

const std::string kEveryoneMay = "every site may use every method";
const std::string kWhere = "access configuration: ";

// "MXRecords, Lookup, VerifySMTP".
std::string AccessNames() {
  std::string list;
  for (const char* name : hosting::kAccessNames) {
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return list;
}

void Add(std::vector<CheckRow>* rows, Status status, std::string text, std::string todo = {}) {
  rows->push_back({status, std::move(text), std::move(todo)});
}

// One site of [Path]: its folder, its [Security] entry, its section and access names.
void CheckSite(hosting::Configuration& config, const std::vector<hosting::Site>& sites,
               std::size_t index, std::vector<CheckRow>* rows) {
  const hosting::Site& site = sites[index];
  const std::string& name = site.name;
  if (!site.named) {
    Add(rows, Status::kWarn, "[Path] line \"" + site.line + "\" has no \"=\": it names no site",
        "write it as Name=folder");
    return;
  }
  const std::string label = "site " + name + " (" + site.folder + ")";
  bool clean = true;
  auto warn = [&](std::string text, std::string todo) {
    Add(rows, Status::kWarn, label + ": " + std::move(text), std::move(todo));
    clean = false;
  };

  if (std::any_of(sites.begin(), sites.begin() + index, [&](const hosting::Site& earlier) {
        return platform::EqualNoCase(earlier.name, name);
      })) {
    warn("the site name " + name + " is listed twice in [Path]; both lines share one " +
             "[Security] entry and one [" + name + "] section",
         "give each site a name of its own");
  }
  // The site a page in this folder gets.
  std::string probe = site.folder;
  if (probe.empty() || (probe.back() != '\\' && probe.back() != '/')) probe += '\\';
  const std::optional<hosting::Site> owner = config.SiteOf(probe + "default.asp");
  if (owner && owner->line != site.line) {
    warn("its folder lies inside the folder of " + owner->name + " (" + owner->folder +
             "), listed earlier in [Path]: the earlier line wins, so the rules of " + name +
             " never apply",
         "move the line of " + name + " above that of " + owner->name);
  }
  if (site.folder.empty() || !platform::FindEntry(site.folder)) {
    warn("the folder does not exist", "correct the folder in [Path]");
  }
  const std::string security = config.Security(name);
  if (security.empty()) {
    warn("no [Security] entry: its pages may use no component",
         "add " + name + "=" + kComponent + " to [Security] if the site may use Kestra");
  }
  if (!config.HasSection(name)) {
    warn("no [" + name + "] section: its pages may use no method",
         "add [" + name + "] with " + kComponent + "=All or a list of " + AccessNames());
  }
  const std::string grants = config.Grants(name, kComponent);
  const std::vector<std::string> items = hosting::ListItems(grants);
  for (const std::string& item : items) {
    if (!hosting::IsInList(AccessNames() + ", All", item)) {
      warn("unknown access name \"" + item + "\" in " + kComponent + "=" + grants,
           "use All or " + AccessNames());
    } else if (platform::EqualNoCase(item, "All") && items.size() > 1) {
      warn("\"All\" grants every method only alone; in the list " + grants + " it grants nothing",
           "write " + std::string(kComponent) + "=All, or list the methods");
    }
  }
  if (clean) {
    Add(rows, Status::kOk,
        label + ": [Security] " + security + "; [" + name + "] " + kComponent + "=" + grants);
  }
}

}  // namespace

void CheckConfiguration(bool two_views, std::vector<CheckRow>* rows) {
  const std::string key = support::texts::kConfigKey;
  // Where the key is: both bitnesses read the 32-bit view's key, else the 64-bit one's.
  const bool in32 = hosting::HasKey(two_views ? platform::RegView::k32 : platform::RegView::kOwn);
  const bool in64 = two_views && hosting::HasKey(platform::RegView::k64);
  if (!in32 && !in64) {
    Add(rows, Status::kOk,
        kWhere + "no key " + key + (two_views ? " in either view" : "") + ": " + kEveryoneMay);
    return;
  }
  if (in32 && in64) {
    Add(rows, Status::kWarn,
        kWhere + "both registry views hold " + key +
            "; both bitnesses read the 32-bit view's, and the 64-bit view's is ignored",
        "keep the key in one view only");
  } else if (two_views) {
    Add(rows, Status::kOk,
        kWhere + key + " is in the " + (in32 ? "32" : "64") +
            "-bit view, which both bitnesses read");
  }

  const platform::Result<std::string> folder = hosting::InstallationFolder();
  if (!folder || folder->empty() || !platform::FindEntry(*folder)) {
    Add(rows, Status::kWarn,
        kWhere + "InstallationPath " +
            (folder ? "\"" + *folder + "\" is no folder"
                    : "cannot be read: " +
                          std::string(platform::Trim(hosting::FailureText(folder.failure())))) +
            ", so the access control is not found and " + kEveryoneMay,
        "set InstallationPath to the folder of Admin.ini and WebSite.ini");
    return;
  }
  const hosting::ConfigFiles files = hosting::LocateConfigFiles(folder);
  if (!files.Found()) {
    const bool admin_missing = !files.admin_ini;
    const platform::Failure& why = (admin_missing ? files.admin_ini : files.website_ini).failure();
    Add(rows, Status::kWarn,
        kWhere + (admin_missing ? "Admin.ini" : "WebSite.ini") + " not found in " + *folder + ": " +
            std::string(platform::Trim(hosting::FailureText(why))) + "; " + kEveryoneMay,
        "put Admin.ini and WebSite.ini in " + *folder);
    return;
  }
  Add(rows, Status::kOk, kWhere + *files.admin_ini + " and " + *files.website_ini);

  hosting::Configuration config(files);
  // Whether the component is in the list, and so whether the access control goes on.
  auto listed = [&](const char* name, const std::string& list, const char* verb) {
    const bool in = hosting::IsInList(list, kComponent);
    Add(rows, Status::kOk,
        std::string("Admin.ini: ") + name + "=" + list + ": " + kComponent + " is " +
            (in ? verb : "not " + (verb + (", so " + kEveryoneMay))));
    return in;
  };
  const bool is_installed = listed("Installed", config.Installed(), "installed");
  const platform::Result<std::uint32_t> gatehouse = config.Gatehouse();
  if (!gatehouse) {
    Add(rows, is_installed ? Status::kFail : Status::kWarn,
        "EnableGatehouse cannot be read (" +
            std::string(platform::Trim(hosting::FailureText(gatehouse.failure()))) + ")" +
            (is_installed ? ": every page of every site is refused with that text" : ""),
        "set EnableGatehouse as a REG_DWORD: 1 on, 0 off");
  } else {
    Add(rows, Status::kOk,
        "EnableGatehouse=" + std::to_string(*gatehouse) + ": the access control is " +
            (hosting::SwitchedOn(*gatehouse) ? "on" : "off, so " + kEveryoneMay));
  }
  listed("Applied", config.Applied(), "applied");

  const std::vector<hosting::Site> sites = config.Sites();
  if (sites.empty()) {
    Add(rows, Status::kWarn,
        "WebSite.ini: [Path] lists no site: where the access control applies, every page "
        "is refused",
        "list each site as Name=folder in [Path]");
  }
  for (std::size_t i = 0; i < sites.size(); ++i) CheckSite(config, sites, i, rows);
}

}  // namespace kestra_tool
