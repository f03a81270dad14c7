// The doctor's checks (see doctor.h).
#include "tools/doctor.h"

#include <map>
#include <memory>

#include "access/access_policy.h"
#include "platform/automation.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "support/ini_values.h"
#include "support/registry_values.h"
#include "support/text.h"
#include "tools/pe_image.h"

namespace kestra_tool {
namespace {

using platform::RegRoot;

constexpr const char* kComponent = "Brevan";
constexpr const char* kConfigKeyPath = "SOFTWARE\\Halverd\\Tarnwick";
constexpr const char* kConfigKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick";
constexpr const char* kClasses = "SOFTWARE\\Classes\\";
constexpr const char* kEveryoneMay = "every site may use every method";

struct ClassName {
  const char* prog_id;
  const char* clsid;
};
constexpr ClassName kClassNames[] = {
    {"Brevan.MX", "{" KESTRA_CLSID_LOOKUP "}"},
    {"Kestra.List", "{" KESTRA_CLSID_LIST "}"},
    {"Kestra.ListEntries", "{" KESTRA_CLSID_LISTENTRIES "}"},
};
constexpr const char* kLibId = "{" KESTRA_LIBID "}";
constexpr const char* kEntryPoints[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                        "DllUnregisterServer"};
constexpr const char* kAccessNames[] = {"MXRecords", "Lookup", "VerifySMTP", "All"};

void Add(std::vector<CheckRow>* rows, Status status, std::string text, std::string todo = {}) {
  rows->push_back({status, std::move(text), std::move(todo)});
}

// A string value, or nothing when the key or value is missing or not text.
std::optional<std::string> Text(platform::Registry& registry, const std::string& path,
                                const std::string& name, platform::RegView view) {
  platform::RegValue value;
  if (registry.QueryValue(RegRoot::kLocalMachine, path, name, view, &value) != 0) {
    return std::nullopt;
  }
  if (value.type != platform::kRegSz && value.type != platform::kRegExpandSz) return std::nullopt;
  return value.Text();
}

// ProgIDs and type libraries are shared between the two views of 64-bit Windows (only
// the class keys are redirected), and a read in the 32-bit view may not find them
// there: such a key is read in the 64-bit view then.
std::optional<std::string> SharedText(platform::Registry& registry, const std::string& path,
                                      const std::string& name, platform::RegView view) {
  std::optional<std::string> text = Text(registry, path, name, view);
  if (!text && view == platform::RegView::k32) {
    text = Text(registry, path, name, platform::RegView::k64);
  }
  return text;
}

#ifdef _WIN32
// A system text on one line, for a row.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return support::Trim(text);
}
#endif

bool HasKey(platform::Registry& registry, const std::string& path, platform::RegView view) {
  return registry.OpenKey(RegRoot::kLocalMachine, path, view) == 0;
}

std::string Pools(int bits) {
  return bits == 64 ? "64-bit application pools and 64-bit script hosts"
                    : "32-bit application pools (\"Enable 32-Bit Applications\") and 32-bit "
                      "script hosts";
}

std::string RegisterTodo(const ViewInfo& view) {
  return "register the " + std::string(view.bits == 64 ? "x64" : "x86") +
         " Kestra.dll from an elevated prompt: " + view.regsvr32 +
         " <folder>\\Kestra.dll (install.cmd does it)";
}

// What is wrong with a DLL file for a view, or nothing. Each file is read once.
class DllFiles {
 public:
  explicit DllFiles(const FileReader& read_file) : m_readFile(read_file) {}

  std::optional<std::string> Problem(const std::string& path, const ViewInfo& view) {
    auto found = m_images.find(path);
    if (found == m_images.end()) {
      std::optional<std::string> bytes = m_readFile(path);
      std::optional<PeImage> image;
      if (bytes) image = ReadPeImage(*bytes);
      found = m_images.emplace(path, std::move(image)).first;
    }
    const std::optional<PeImage>& image = found->second;
    if (!image) return path + " does not exist";
    if (!image->valid) return path + " is not a DLL (" + image->problem + ")";
    const std::uint16_t wanted = view.bits == 64 ? kMachineX64 : kMachineX86;
    if (image->machine != wanted) {
      return path + " is a " + MachineName(image->machine) +
             " DLL (wrong bitness): " + std::to_string(view.bits) + "-bit processes cannot load it";
    }
    if (!image->is_dll) return path + " is a program, not a DLL";
    std::string missing;
    for (const char* name : kEntryPoints) {
      bool exported = false;
      for (const std::string& e : image->exports) exported = exported || e == name;
      if (!exported) missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (!missing.empty()) return path + " does not export " + missing;
    return std::nullopt;
  }

 private:
  const FileReader& m_readFile;
  std::map<std::string, std::optional<PeImage>> m_images;
};

void CheckClass(platform::Registry& registry, const ViewInfo& view, const ClassName& name,
                DllFiles* files, std::vector<CheckRow>* rows) {
  const std::string label = std::to_string(view.bits) + "-bit view: " + name.prog_id;
  const std::string todo = RegisterTodo(view);
  const std::string prog = std::string(kClasses) + name.prog_id;
  const std::optional<std::string> current = SharedText(registry, prog + "\\CurVer", "", view.view);
  if (!current || current->empty()) {
    Add(rows, Status::kFail, label + " is not registered (no CurVer)", todo);
    return;
  }
  const std::optional<std::string> clsid =
      SharedText(registry, kClasses + *current + "\\CLSID", "", view.view);
  if (!clsid) {
    Add(rows, Status::kFail, label + " -> " + *current + ", which names no CLSID", todo);
    return;
  }
  std::string chain = label + " -> " + *current + " -> " + *clsid;
  if (!platform::EqualNoCase(*clsid, name.clsid)) {
    Add(rows, Status::kFail, chain + ", not this Kestra's class " + name.clsid, todo);
    return;
  }
  const std::string server = std::string(kClasses) + "CLSID\\" + *clsid + "\\InprocServer32";
  const std::optional<std::string> path = Text(registry, server, "", view.view);
  if (!path || path->empty()) {
    Add(rows, Status::kFail, chain + ", which has no InprocServer32 file", todo);
    return;
  }
  chain += " -> " + *path;
  if (std::optional<std::string> problem = files->Problem(*path, view)) {
    Add(rows, Status::kFail, label + ": " + *problem,
        "put the " + std::string(view.bits == 64 ? "x64" : "x86") + " Kestra.dll there, or " +
            todo);
    return;
  }
  const std::optional<std::string> model = Text(registry, server, "ThreadingModel", view.view);
  if (!model || !platform::EqualNoCase(*model, "Apartment")) {
    Add(rows, Status::kFail,
        chain + ": ThreadingModel is \"" + model.value_or("") + "\", not \"Apartment\"", todo);
    return;
  }
  Add(rows, Status::kOk,
      chain + " (" + std::to_string(view.bits) + "-bit DLL, four entry points, Apartment)");
}

void CheckTypeLibrary(platform::Registry& registry, const ViewInfo& view,
                      const FileReader& read_file, std::vector<CheckRow>* rows) {
  const std::string label = std::to_string(view.bits) + "-bit view: type library KestraLib 1.0";
  const std::string platform_key = view.bits == 64 ? "win64" : "win32";
  const std::string key =
      std::string(kClasses) + "TypeLib\\" + kLibId + "\\1.0\\0\\" + platform_key;
  const std::optional<std::string> path = SharedText(registry, key, "", view.view);
  if (!path || path->empty()) {
    Add(rows, Status::kFail,
        label + " is not registered (no TypeLib\\" + kLibId + "\\1.0\\0\\" + platform_key + ")",
        RegisterTodo(view));
    return;
  }
  if (!read_file(*path)) {
    Add(rows, Status::kFail, label + ": " + *path + " does not exist", RegisterTodo(view));
    return;
  }
  Add(rows, Status::kOk, label + " -> " + *path);
}

// One site of [Path]: its folder, its [Security] entry, its section and access names.
void CheckSite(const std::vector<std::string>& lines, std::size_t index,
               const std::string& website_ini, std::vector<CheckRow>* rows) {
  const std::string& line = lines[index];
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) {
    Add(rows, Status::kWarn, "[Path] line \"" + line + "\" has no \"=\": it names no site",
        "write it as Name=folder");
    return;
  }
  // As the access control takes it: the name up to "=", the folder trimmed.
  const std::string site = line.substr(0, eq);
  const std::string folder = support::Trim(std::string_view(line).substr(eq + 1));
  const std::string label = "site " + site + " (" + folder + ")";
  bool clean = true;
  auto warn = [&](std::string text, std::string todo) {
    Add(rows, Status::kWarn, label + ": " + std::move(text), std::move(todo));
    clean = false;
  };

  for (std::size_t i = 0; i < index; ++i) {
    const std::string& earlier = lines[i];
    if (platform::EqualNoCase(earlier.substr(0, earlier.find('=')), site)) {
      warn("the site name " + site +
               " is listed twice in [Path]; both lines share one "
               "[Security] entry and one [" +
               site + "] section",
           "give each site a name of its own");
      break;
    }
  }
  // The line a page in this folder finds, by the access control's own search.
  std::string probe = folder;
  if (probe.empty() || (probe.back() != '\\' && probe.back() != '/')) probe += '\\';
  probe += "default.asp";
  const std::string owner = support::FindIniFolderEntry("Path", probe, website_ini);
  if (!owner.empty() && owner != line) {
    const std::size_t owner_eq = owner.find('=');
    warn("its folder lies inside the folder of " + owner.substr(0, owner_eq) + " (" +
             support::Trim(std::string_view(owner).substr(owner_eq + 1)) +
             "), listed earlier in [Path]: the earlier line wins, so the rules of " + site +
             " never apply",
         "move the line of " + site + " above that of " + owner.substr(0, owner_eq));
  }
  if (folder.empty() || platform::FindEntry(folder) != 0) {
    warn("the folder does not exist", "correct the folder in [Path]");
  }
  const std::string security = support::IniValue("Security", site, website_ini);
  if (security.empty()) {
    warn("no [Security] entry: its pages may use no component",
         "add " + site + "=" + kComponent + " to [Security] if the site may use Kestra");
  }
  if (support::IniSectionLines(site, website_ini).empty()) {
    warn("no [" + site + "] section: its pages may use no method",
         "add [" + site + "] with " + kComponent +
             "=All or a list of MXRecords, Lookup, "
             "VerifySMTP");
  }
  const std::string grants = support::IniValue(site, kComponent, website_ini);
  const std::vector<std::string> names = support::SplitTrimmed(grants, ',');
  for (const std::string& name : grants.empty() ? std::vector<std::string>{} : names) {
    bool known = false;
    for (const char* k : kAccessNames) known = known || platform::EqualNoCase(name, k);
    if (!known) {
      warn("unknown access name \"" + name + "\" in " + kComponent + "=" + grants,
           "use All or MXRecords, Lookup, VerifySMTP");
    } else if (platform::EqualNoCase(name, "All") && names.size() > 1) {
      warn("\"All\" grants every method only alone; in the list " + grants + " it grants nothing",
           "write " + std::string(kComponent) + "=All, or list the methods");
    }
  }
  if (clean) {
    Add(rows, Status::kOk,
        label + ": [Security] " + security + "; [" + site + "] " + kComponent + "=" + grants);
  }
}

}  // namespace

bool CheckRegistration(platform::Registry& registry, const ViewInfo& view,
                       const FileReader& read_file, std::vector<CheckRow>* rows) {
  // The class keys tell: they alone are the view's own.
  bool any = false;
  for (const ClassName& name : kClassNames) {
    any = any || HasKey(registry, kClasses + std::string("CLSID\\") + name.clsid, view.view);
  }
  if (!any) {
    Add(rows, Status::kWarn,
        std::to_string(view.bits) + "-bit view: no Kestra class is registered: " +
            Pools(view.bits) + " cannot create Brevan.MX",
        RegisterTodo(view));
    return false;
  }
  DllFiles files(read_file);
  for (const ClassName& name : kClassNames) CheckClass(registry, view, name, &files, rows);
  CheckTypeLibrary(registry, view, read_file, rows);
  return true;
}

void CheckAccessConfiguration(platform::Registry& registry, bool two_views,
                              std::vector<CheckRow>* rows) {
  // Where the key is: both bitnesses read the 32-bit view's key, else the 64-bit one's.
  if (two_views) {
    const bool in32 = HasKey(registry, kConfigKeyPath, platform::RegView::k32);
    const bool in64 = HasKey(registry, kConfigKeyPath, platform::RegView::k64);
    if (!in32 && !in64) {
      Add(rows, Status::kOk,
          std::string("access configuration: no key ") + kConfigKey +
              " in either view: " + kEveryoneMay);
      return;
    }
    if (in32 && in64) {
      Add(rows, Status::kWarn,
          std::string("access configuration: both registry views hold ") + kConfigKey +
              "; both bitnesses read the 32-bit view's, and the 64-bit view's is ignored",
          "keep the key in one view only");
    } else {
      Add(rows, Status::kOk,
          std::string("access configuration: ") + kConfigKey + " is in the " +
              (in32 ? "32" : "64") + "-bit view, which both bitnesses read");
    }
  } else if (!HasKey(registry, kConfigKeyPath, platform::RegView::kOwn)) {
    Add(rows, Status::kOk,
        std::string("access configuration: no key ") + kConfigKey + ": " + kEveryoneMay);
    return;
  }

  const support::TextResult folder =
      support::ReadRegistryString(registry, kConfigKey, "InstallationPath");
  if (!folder.ok || folder.text.empty() || platform::FindEntry(folder.text) != 0) {
    Add(rows, Status::kWarn,
        "access configuration: InstallationPath " +
            (folder.ok ? "\"" + folder.text + "\" is no folder"
                       : "cannot be read: " + support::Trim(folder.text)) +
            ", so the access control is not found and " + kEveryoneMay,
        "set InstallationPath to the folder of Admin.ini and WebSite.ini");
    return;
  }
  const hosting::ConfigFiles files = hosting::LocateConfigFiles();
  if (!files.found) {
    const bool admin_missing = files.website_ini.empty();
    Add(rows, Status::kWarn,
        std::string("access configuration: ") + (admin_missing ? "Admin.ini" : "WebSite.ini") +
            " not found in " + folder.text + ": " +
            support::Trim(admin_missing ? files.admin_ini : files.website_ini) + "; " +
            kEveryoneMay,
        "put Admin.ini and WebSite.ini in " + folder.text);
    return;
  }
  Add(rows, Status::kOk, "access configuration: " + files.admin_ini + " and " + files.website_ini);

  const std::string installed = support::IniValue("Settings", "Installed", files.admin_ini);
  const bool is_installed = support::IsInList(installed, kComponent);
  Add(rows, Status::kOk,
      std::string("Admin.ini: Installed=") + installed + ": " + kComponent +
          (is_installed ? " is installed" : " is not installed, so " + std::string(kEveryoneMay)));

  const support::TextResult enabled =
      support::ReadRegistryNumber(registry, kConfigKey, "EnableGatehouse");
  if (!enabled.ok) {
    Add(rows, is_installed ? Status::kFail : Status::kWarn,
        "EnableGatehouse cannot be read (" + support::Trim(enabled.text) + ")" +
            (is_installed ? ": every page of every site is refused with that text" : ""),
        "set EnableGatehouse as a REG_DWORD: 1 on, 0 off");
  } else if (hosting::GatehouseSwitchedOn(enabled.text)) {
    Add(rows, Status::kOk, "EnableGatehouse=" + enabled.text + ": the access control is on");
  } else {
    Add(rows, Status::kOk,
        "EnableGatehouse=" + enabled.text + ": the access control is off, so " + kEveryoneMay);
  }

  const std::string applied = support::IniValue("Settings", "Applied", files.admin_ini);
  Add(rows, Status::kOk,
      std::string("Admin.ini: Applied=") + applied + ": " + kComponent +
          (support::IsInList(applied, kComponent)
               ? " is applied"
               : " is not applied, so " + std::string(kEveryoneMay)));

  const std::vector<std::string> lines = support::IniSectionLines("Path", files.website_ini);
  if (lines.empty()) {
    Add(rows, Status::kWarn,
        "WebSite.ini: [Path] lists no site: where the access control "
        "applies, every page is refused",
        "list each site as Name=folder in [Path]");
  }
  for (std::size_t i = 0; i < lines.size(); ++i) CheckSite(lines, i, files.website_ini, rows);
}

bool PrintRows(const std::vector<CheckRow>& rows, std::ostream& out) {
  bool passed = true;
  for (const CheckRow& row : rows) {
    const char* status = row.status == Status::kOk     ? "OK  "
                         : row.status == Status::kWarn ? "WARN"
                                                       : "FAIL";
    out << status << "  " << row.text;
    if (!row.todo.empty()) out << ". To do: " << row.todo;
    out << '\n';
    passed = passed && row.status != Status::kFail;
  }
  return passed;
}

int RunDoctor(std::ostream& out) {
  std::vector<CheckRow> rows;
  std::unique_ptr<platform::Registry> registry = platform::OpenSystemRegistry();
  const bool two_views = platform::HasTwoRegistryViews();
#ifdef _WIN32
  const FileReader read_file = [](const std::string& path) {
    return platform::ReadWholeFile(path);
  };
  std::vector<ViewInfo> views;
  if (two_views) {
    views.push_back({platform::RegView::k64, 64, "%SystemRoot%\\System32\\regsvr32"});
    views.push_back({platform::RegView::k32, 32, "%SystemRoot%\\SysWOW64\\regsvr32"});
  } else {
    views.push_back({platform::RegView::kOwn, 32, "%SystemRoot%\\System32\\regsvr32"});
  }
  const int bits = static_cast<int>(sizeof(void*) * 8);
  bool own_registered = false;
  for (const ViewInfo& view : views) {
    const bool registered = CheckRegistration(*registry, view, read_file, &rows);
    if (view.bits == bits || views.size() == 1) own_registered = registered;
  }

  // A call as a page makes it. Outside a page the access control may refuse it; the
  // answer expected is the one the access control gives this process.
  const std::string label = std::to_string(bits) + "-bit process: Brevan.MX";
  const platform::PropertyReadResult call =
      platform::CreateAndReadProperties("Brevan.MX", "MXRecords", "ErrorReason");
  const hosting::Decision decision =
      hosting::Decide(kComponent, "MXRecords", hosting::LocateConfigFiles(), nullptr);
  std::string expected = "Please specify domain name";
  if (!decision.allowed) expected = decision.refusal;
  // A refusal for want of a page begins with the system's text for whatever error the
  // thread last had, which two calls need not share.
  bool as_expected = call.read && call.text == expected;
  if (call.read && !decision.allowed && decision.step == 5) {
    const std::string fixed = expected.substr(expected.find("( Unable"));
    as_expected = call.text.size() >= fixed.size() &&
                  call.text.compare(call.text.size() - fixed.size(), fixed.size(), fixed) == 0;
  }
  if (!call.created && !own_registered) {
    // The view's own row says so already, and what to do.
    Add(&rows, Status::kWarn,
        label + " is not created: nothing is registered for " + std::to_string(bits) +
            "-bit processes");
  } else if (!call.created) {
    Add(&rows, Status::kFail, label + " cannot be created in this process: " + call.failure,
        "see the " + std::to_string(bits) + "-bit view's rows");
  } else if (!call.read) {
    Add(&rows, Status::kFail, label + " was created, but " + call.failure,
        "register the DLL again so that its type library is found");
  } else if (!as_expected) {
    Add(&rows, Status::kFail,
        label + ": MXRecords with no domain gave \"" + OneLine(call.text) + "\", expected \"" +
            OneLine(expected) + "\"",
        "check that the registered DLL is this Kestra's");
  } else {
    Add(&rows, Status::kOk,
        label + " created in this process; MXRecords with no domain answered \"" +
            OneLine(call.text) + "\"");
  }
#endif
  CheckAccessConfiguration(*registry, two_views, &rows);
  return PrintRows(rows, out) ? 0 : 1;
}

}  // namespace kestra_tool
