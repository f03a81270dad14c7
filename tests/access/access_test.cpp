// The hosting access control: the configuration's reader and the decision made before
// each lookup, against a registry and INI files the test writes (the system's registry
// and profile functions under Wine, the POSIX readers natively) and a stand-in request.
// (The frame that asks it and keeps its answer is tested in tests/lookup.)
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/access_policy.h"
#include "access/caller_source.h"
#include "hosting_config.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/trim.h"
#include "testbed.h"

namespace {

using hosting::Decision;
using hosting::FixedCaller;
using hosting::Reason;
using Lines = std::vector<std::string>;

const char kRefusedComponent[] =
    "Please contact your hosting administrator, as you are not allowed to use Brevan component";
const char kMismatch[] = "The type you specified mismatch with registry value type";

std::string MethodRefusal(const std::string& method) {
  return "Please contact your hosting administrator, as you are not allowed to use " + method +
         " method of Brevan component";
}

std::string CallerRefusal(const std::string& system_text, const std::string& method) {
  return system_text +
         "( Unable to proceed further as calling request object not found. Please free Brevan "
         "component from Tarnwick Gatehouse to make " +
         method + " method successfull. )";
}

std::string SystemText(int code) {
  return hosting::FailureText({platform::Cause::kSystem, code});
}

// A path, or the text of why there is none.
std::string Shown(const platform::Result<std::string>& path) {
  return path ? *path : hosting::FailureText(path.failure());
}

// What a decision holds of the caller ("-": the caller was not asked).
std::string CallerOf(const Decision& d) {
  return d.caller_path ? Shown(*d.caller_path) : "-";
}

const char* const kAccessNames[] = {"MXRecords", "Lookup", "VerifySMTP"};

// --- the text rules ---

TEST(TextRules, TrimListItemsAndIsInList) {
  for (auto [in, out] : {std::pair{"", ""},
                         {" \t \t", ""},
                         {" \t\r\n\v\fx y\f\v\n\r\t ", "x y"},
                         {"a", "a"},
                         {"\xFA text \xFA", "\xFA text \xFA"},
                         {"\x1a x \x1a", "\x1a x \x1a"}}) {
    EXPECT_EQ(platform::Trim(in), out) << '"' << in << '"';
  }
  EXPECT_EQ(platform::Trim("\x1a x \x1a\r\n", platform::kIniSpace), "x");
  for (auto [in, out] :
       {std::pair{"text.\r\n", "text."}, {"\r\n\n", ""}, {" a\r\nb \n", " a\r\nb "}}) {
    EXPECT_EQ(platform::WithoutLineEnd(in), out) << '"' << in << '"';
  }
  struct Split {
    std::string text;
    Lines items;
  } splits[] = {
      {"", {}}, {" a , b ", {"a", "b"}}, {"a,,b", {"a", "", "b"}}, {"a,", {"a"}}, {",a", {"", "a"}},
  };
  for (const Split& c : splits) EXPECT_EQ(hosting::ListItems(c.text), c.items) << c.text;
  struct Member {
    const char* list;
    const char* name;
    bool in;
  } members[] = {
      {"Brevan, Other", "brevan", true},
      {"Brevan;Other", "Brevan", false},
      {"", "Brevan", false},
      {" MXRecords ,Lookup", "Lookup", true},
      {"Other,Brevan", "BREVAN", true},
      {"Brevanx", "Brevan", false},
      {"Brev", "Brevan", false},
      {"Brevan,", "Brevan", true},
      {",,Brevan", "Brevan", true},
      {"Brevan", " Brevan", false},  // the name is not trimmed
  };
  for (const Member& c : members) {
    EXPECT_EQ(hosting::IsInList(c.list, c.name), c.in) << "'" << c.list << "' / '" << c.name << "'";
  }
}

TEST(TextRules, SystemTextOrTheFallback) {
  EXPECT_EQ(SystemText(123456), "The system cannot find error message for error number 123456");
  EXPECT_EQ(SystemText(-5), "The system cannot find error message for error number -5");
  for (int code : {platform::syserr::kFileNotFound, platform::syserr::kInvalidHandle}) {
    const std::string text = SystemText(code);
    EXPECT_EQ(text.find("The system cannot find error message"), std::string::npos) << code;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "system texts end with their line break: " << text;
  }
  EXPECT_NE(SystemText(platform::syserr::kFileNotFound),
            SystemText(platform::syserr::kInvalidHandle));
  EXPECT_EQ(hosting::FailureText({platform::Cause::kWrongType, 0}), kMismatch);
}

TEST(TextRules, SwitchCountsByItsLowSixteenBitsUpToTheSignedLimit) {
  for (auto [value, on] : {std::pair{0u, false},
                           {1u, true},
                           {65536u, false},
                           {65537u, true},
                           {131072u, false},
                           {2147483647u, true},
                           {2147483648u, true},
                           {2147549184u, true},
                           {4294901760u, true},
                           {4294967295u, true}}) {
    EXPECT_EQ(hosting::SwitchedOn(value), on) << value;
  }
}

// --- reading the configuration ---

class AccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    config_ = std::make_unique<testreg::HostingConfig>(std::string("access-") + info->name());
  }

  hosting::ConfigFiles Files() const {
    return {config_->Path("Admin.ini"), config_->Path("WebSite.ini")};
  }
  testreg::ScopedRegistry& Registry() { return config_->registry; }

  // The frame's two steps for `method` of Brevan with the page at `caller`.
  static Decision Ask(const std::string& method, hosting::CallerSource* caller) {
    return hosting::Decide("Brevan", method, hosting::LocateConfigFiles(), caller);
  }
  static Decision Ask(const std::string& method, const std::string& caller) {
    FixedCaller source(caller);
    return Ask(method, &source);
  }
  static Decision AskOutsideRequest(const std::string& method, int code) {
    FixedCaller source(platform::Failure{platform::Cause::kSystem, code});
    return Ask(method, &source);
  }

  std::unique_ptr<testreg::HostingConfig> config_;
};

TEST_F(AccessTest, IniValuesAndLinesTrimmedAndMatchedWithoutRegardToCase) {
  config_->WriteFile("Admin.ini",
                     "[settings]\r\n  INSTALLED =   Brevan, x   \r\nApplied=\r\n"
                     "[Other]\r\nInstalled=Other\r\n");
  config_->WebSite(
      "[Path]\nSite1=C:\\sites\\one\n  Site2=C:\\sites\\two  \nNoEquals\n"
      "Site\xFA=C:\\sites\\men\xFA\n[SECURITY]\nsite1 = Brevan\n[Site1]\nbrevan = All\n");
  hosting::Configuration config(Files());
  EXPECT_EQ(config.Installed(), "Brevan, x");
  EXPECT_EQ(config.Applied(), "");
  EXPECT_EQ(config.Security("Site1"), "Brevan");
  EXPECT_EQ(config.Security("Site2"), "");
  EXPECT_EQ(config.Grants("SITE1", "Brevan"), "All");
  EXPECT_TRUE(config.HasSection("site1"));
  EXPECT_FALSE(config.HasSection("Site2"));
  Lines lines, names, folders;
  for (const hosting::Site& site : config.Sites()) {
    lines.push_back(site.line);
    names.push_back(site.named ? site.name : "-");
    folders.push_back(site.folder);
  }
  // 0xFA (u-acute in the Western code page) stays inside its line.
  EXPECT_EQ(lines, Lines({"Site1=C:\\sites\\one", "Site2=C:\\sites\\two", "NoEquals",
                          "Site\xFA=C:\\sites\\men\xFA"}));
  EXPECT_EQ(names, Lines({"Site1", "Site2", "-", "Site\xFA"}));
  EXPECT_EQ(folders, Lines({"C:\\sites\\one", "C:\\sites\\two", "", "C:\\sites\\men\xFA"}));

  hosting::Configuration absent({config_->Path("absent.ini"), config_->Path("none.ini")});
  EXPECT_EQ(absent.Installed(), "");
  EXPECT_TRUE(absent.Sites().empty());
}

TEST_F(AccessTest, LongValuesAndSectionsAreReadWhole) {
  // Around each size the reader's buffer passes through: 256, 512, 1024.
  for (std::size_t n : {254u, 255u, 256u, 300u, 511u, 512u, 513u, 5000u}) {
    std::string value;
    for (std::size_t i = 0; i < n; ++i) value.push_back(static_cast<char>('a' + i % 26));
    config_->Admin(value, "");
    EXPECT_EQ(hosting::Configuration(Files()).Installed(), value) << n;
  }
  // Sections whose lines fill the 256-byte buffer to the byte, and far beyond it.
  for (int total : {250, 253, 254, 255, 256, 257, 300, 2000}) {
    std::string text = "[Path]\n";
    Lines expected;
    for (int i = 0, used = 0; used < total; ++i) {
      std::string line = "s" + std::to_string(i) + "=C:\\w";
      const int room = std::min(std::max(total - used - static_cast<int>(line.size()) - 1, 0), 20);
      line += std::string(static_cast<std::size_t>(room), 'x');
      used += static_cast<int>(line.size()) + 1;
      text += line + "\n";
      expected.push_back(line);
    }
    config_->WebSite(text);
    Lines lines;
    for (const hosting::Site& site : hosting::Configuration(Files()).Sites()) {
      lines.push_back(site.line);
    }
    EXPECT_EQ(lines, expected) << total;
  }
}

// A folder ends at a path boundary: 'C:\web\site1' covers 'C:\web\site1\x.asp' but not
// 'C:\web\site10\x.asp'. The first line that covers the page wins, not the longest.
TEST_F(AccessTest, SiteOfAPageByItsFolder) {
  struct Case {
    const char* path_section;
    const char* page;
    const char* site;  // nullptr: none
  } cases[] = {
      {"a=C:\\web\\site1\nb=C:\\web\\site10", "C:\\web\\site10\\default.asp", "b"},
      {"a=C:\\web\\site1\nb=C:\\web\\site10", "C:\\web\\site1\\default.asp", "a"},
      {"a=C:\\web\\site1", "C:\\web\\site10\\default.asp", nullptr},
      {"a=c:\\WEB\\site1", "C:\\web\\SITE1\\x.asp", "a"},
      {"a = C:\\web\\site1 ", "c:\\web\\site1\\p", "a"},
      {"a=C:\\web\\site1\\", "C:\\web\\site1\\x.asp", "a"},
      {"a=/srv/site1", "/srv/site1/x.asp", "a"},
      {"a=/srv/", "/srv/site1/x.asp", "a"},
      {"a=C:\\web\\site1", "C:\\web\\site1", "a"},
      {"a=C:\\web\\site1", "C:\\web\\site1.asp", nullptr},
      {"a=C:\\longer\\than\\page", "C:\\longer", nullptr},
      {"a=", "C:\\anything\\x.asp", "a"},
      {"a=", "", "a"},
      {"a=C:\\web\nb=C:\\web\\site1", "C:\\web\\site1\\x.asp", "a"},
      {"C:\\web\\site1\nb=C:\\web", "C:\\web\\site1\\x.asp", "b"},
      {"a=x=y", "x=y\\z", "a"},
      {"", "C:\\web\\x.asp", nullptr},
  };
  for (const Case& c : cases) {
    config_->WebSite(std::string("[Path]\n") + c.path_section + "\n");
    const std::optional<hosting::Site> site = hosting::Configuration(Files()).SiteOf(c.page);
    EXPECT_EQ(site ? platform::Trim(site->name) : "-", c.site ? c.site : "-")
        << c.path_section << " <- " << c.page;
  }
}

TEST_F(AccessTest, KeyValuesAsStringsAndNumbers) {
  const char* key = support::texts::kConfigKeyPath;
  hosting::Configuration config(Files());
  Registry().SetString(key, "installationpath", "C:\\Program Files\\Tarnwick");
  EXPECT_EQ(hosting::InstallationFolder().value(), "C:\\Program Files\\Tarnwick");  // any case
  Registry().Clear();
  for (std::size_t n : {0u, 1u, 255u, 256u, 300u, 4000u}) {
    const std::string value = n ? std::string(n - 1, 'v') + "e" : "";
    Registry().SetString(key, "InstallationPath", value);
    EXPECT_EQ(hosting::InstallationFolder().value(), value) << n;
  }
  Registry().SetRaw(key, "InstallationPath", platform::kRegSz, {'a', 'b', 0, 'c', 0});
  EXPECT_EQ(hosting::InstallationFolder().value(), "ab");
  Registry().SetRaw(key, "InstallationPath", platform::kRegSz, {'x', 'y', 'z'});
  EXPECT_EQ(hosting::InstallationFolder().value(), "xyz");
  for (std::uint32_t value : {0u, 1u, 4294967295u}) {
    Registry().SetNumber(key, "EnableGatehouse", value);
    EXPECT_EQ(config.Gatehouse().value(), value);
  }

  // Another type, or no bytes, is a mismatch; a missing value the system's text.
  using Bytes = std::vector<unsigned char>;
  struct Case {
    const char* name;
    std::uint32_t type;
    Bytes data;
  } mismatches[] = {
      {"InstallationPath", platform::kRegDword, {1, 0, 0, 0}},
      {"InstallationPath", platform::kRegExpandSz, {'%', 'x', '%', 0}},
      {"InstallationPath", platform::kRegMultiSz, {'a', 0, 0}},
      {"InstallationPath", platform::kRegSz, {}},
      {"EnableGatehouse", platform::kRegSz, {'1', 0}},
      {"EnableGatehouse", platform::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"EnableGatehouse", platform::kRegDword, {1, 0}},
  };
  for (const Case& c : mismatches) {
    Registry().SetRaw(key, c.name, c.type, c.data);
    const platform::Result<std::string> folder = hosting::InstallationFolder();
    const platform::Result<std::uint32_t> gatehouse = config.Gatehouse();
    const platform::Failure failure = c.name[0] == 'I' ? folder.failure() : gatehouse.failure();
    EXPECT_EQ(hosting::FailureText(failure), kMismatch) << c.name << " " << c.type;
    Registry().DeleteValue(key, c.name);
  }
  EXPECT_EQ(hosting::FailureText(hosting::InstallationFolder().failure()),
            SystemText(platform::syserr::kFileNotFound));
  Registry().Clear();
  EXPECT_EQ(hosting::FailureText(config.Gatehouse().failure()),
            SystemText(platform::syserr::kFileNotFound));
}

// 64-bit Windows keeps a 32-bit and a 64-bit registry view; 32-bit-only Windows and the
// POSIX store have one, where a write to either view lands in the same key.
bool HasTwoRegistryViews() {
#ifdef _WIN32
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
#else
  return false;
#endif
}

// Both bitnesses read one configuration: the key of the 32-bit view, or when that view
// has no such key, the key of the 64-bit view. A key of the 32-bit view that lacks the
// value is still the one read.
TEST_F(AccessTest, ThirtyTwoBitViewFirstThenSixtyFourBitView) {
  using platform::RegView;
  struct Case {
    const char* what;
    const char* in32;  // null: no key in that view; "": the key without the value
    const char* in64;
    const char* two_views;  // what is read where the views differ (null: nothing)
    const char* one_view;
  } cases[] = {
      {"32-bit view only", "thirty-two", nullptr, "thirty-two", "thirty-two"},
      {"64-bit view only", nullptr, "sixty-four", "sixty-four", "sixty-four"},
      {"both views", "thirty-two", "sixty-four", "thirty-two", "sixty-four"},
      {"32-bit key without the value", "", "sixty-four", nullptr, "sixty-four"},
      {"neither view", nullptr, nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    Registry().Clear();
    for (auto [view, value] : {std::pair{RegView::k32, c.in32}, std::pair{RegView::k64, c.in64}}) {
      if (value == nullptr) continue;
      if (*value == '\0') {
        Registry().CreateKey(support::texts::kConfigKeyPath, view);
      } else {
        Registry().SetString(support::texts::kConfigKeyPath, "InstallationPath", value, view);
      }
    }
    const char* want = HasTwoRegistryViews() ? c.two_views : c.one_view;
    const platform::Result<std::string> folder = hosting::InstallationFolder();
    EXPECT_EQ(folder ? *folder : hosting::FailureText(folder.failure()),
              want ? want : SystemText(platform::syserr::kFileNotFound))
        << c.what;
    EXPECT_EQ(hosting::HasKey(RegView::k32) || hosting::HasKey(RegView::k64), c.in32 || c.in64)
        << c.what;
  }
}

TEST_F(AccessTest, ConfigurationFilesInTheInstallationFolder) {
  config_->Write();
  // One separator, the system's, between the folder and the name.
  const std::string in_folder = config_->folder + platform::kPathSeparator;
  for (const std::string& folder : {config_->folder, in_folder}) {
    Registry().SetString(support::texts::kConfigKeyPath, "InstallationPath", folder);
    const hosting::ConfigFiles files = hosting::LocateConfigFiles();
    EXPECT_TRUE(files.Found()) << folder;
    EXPECT_EQ(Shown(files.admin_ini), in_folder + "Admin.ini") << folder;
    EXPECT_EQ(Shown(files.website_ini), in_folder + "WebSite.ini") << folder;
  }
  // The system's separator is the one the standard library joins a folder and a name with.
  EXPECT_EQ(Shown(hosting::LocateConfigFiles().admin_ini),
            (std::filesystem::path(config_->folder) / "Admin.ini").string());

  const std::string not_found = SystemText(platform::syserr::kFileNotFound);
  struct Case {
    const char* what;
    int folder;  // 0: no InstallationPath, 1: the test's folder, 2: empty, 3: a number
    const char* missing;
    std::string admin_text;  // what stands for Admin.ini, when it is not found
  } cases[] = {
      {"no InstallationPath: the registry's text", 0, "", not_found},
      {"Admin.ini missing", 1, "Admin.ini", not_found},
      {"WebSite.ini missing", 1, "WebSite.ini", ""},
      // An empty folder names no file, whatever the root of the drive holds.
      {"empty folder", 2, "", not_found},
      {"folder of another type", 3, "", kMismatch},
  };
  for (const Case& c : cases) {
    Registry().Clear();
    config_->Admin();
    config_->WebSite("[Path]\r\n");
    std::remove(config_->Path(c.missing).c_str());
    if (c.folder == 1) config_->Install();
    if (c.folder == 2) Registry().SetString(support::texts::kConfigKeyPath, "InstallationPath", "");
    if (c.folder == 3) Registry().SetNumber(support::texts::kConfigKeyPath, "InstallationPath", 1);
    config_->Switch(1);
    const hosting::ConfigFiles files = hosting::LocateConfigFiles();
    EXPECT_FALSE(files.Found()) << c.what;
    if (c.admin_text.empty()) {
      EXPECT_EQ(Shown(files.admin_ini), in_folder + "Admin.ini") << c.what;
      EXPECT_EQ(Shown(files.website_ini), not_found) << c.what;
    } else {
      EXPECT_EQ(Shown(files.admin_ini), c.admin_text) << c.what;
    }
    for (const char* method : kAccessNames) {
      const Decision d = AskOutsideRequest(method, 0);
      EXPECT_TRUE(d.allowed) << c.what;
      EXPECT_EQ(d.reason, Reason::kNoConfiguration) << c.what;
      EXPECT_FALSE(d.caller_path) << "the caller is never asked";
    }
  }
}

// --- the decision ---

TEST_F(AccessTest, WorkedCase) {
  config_->Write();
  const std::string page = "C:\\sites\\one\\check.asp";
  // DNSLookup and ReverseDNSLookup share "Lookup"; GetMXRecord and MXRecords "MXRecords".
  for (const char* method : {"Lookup", "MXRecords"}) {
    const Decision d = Ask(method, page);
    EXPECT_TRUE(d.allowed) << method << ": " << d.refusal;
    EXPECT_EQ(d.reason, Reason::kGranted) << method;
    EXPECT_EQ(d.refusal, "") << method;
    EXPECT_EQ(CallerOf(d), page) << method;
  }
  Decision d = Ask("VerifySMTP", page);
  EXPECT_FALSE(d.allowed);
  EXPECT_EQ(d.reason, Reason::kMethodRefused);
  EXPECT_EQ(d.refusal, MethodRefusal("VerifySMTP"));
  for (const char* method : kAccessNames) {
    d = Ask(method, "C:\\sites\\two\\check.asp");
    EXPECT_FALSE(d.allowed) << method;
    EXPECT_EQ(d.reason, Reason::kNoSite) << method;
    EXPECT_EQ(d.refusal, kRefusedComponent) << method;
  }
}

TEST_F(AccessTest, InstalledAndSwitch) {
  config_->Install();
  config_->WebSite("[Path]\r\n");
  const std::string no_caller =
      CallerRefusal(SystemText(platform::syserr::kInvalidHandle), "Lookup");
  struct Case {
    const char* installed;
    const char* applied;
    std::int64_t gatehouse;  // -1: missing, -2: stored as a string
    Reason reason;
    std::string refusal;
  } cases[] = {
      {"Other", "Brevan", 1, Reason::kNotInstalled, ""},
      {"", "Brevan", 1, Reason::kNotInstalled, ""},
      {"Other", "Brevan", -2, Reason::kNotInstalled, ""},
      {"brevan , other", "Brevan", 1, Reason::kNoCaller, no_caller},
      {"Brevan", "Brevan", 0, Reason::kSwitchedOff, ""},
      {"Brevan", "Brevan", 65536, Reason::kSwitchedOff, ""},
      {"Brevan", "Brevan", 65537, Reason::kNoCaller, no_caller},
      {"Brevan", "Brevan", 2147483648, Reason::kNoCaller, no_caller},
      // Fails closed with the registry's own text.
      {"Brevan", "Other", -2, Reason::kSwitchUnreadable, kMismatch},
      {"Brevan", "Brevan", -1, Reason::kSwitchUnreadable,
       SystemText(platform::syserr::kFileNotFound)},
      {"Brevan", "Other", 1, Reason::kNotApplied, ""},
      {"Brevan", "", 1, Reason::kNotApplied, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.applied + " / " +
                 std::to_string(c.gatehouse));
    config_->Admin(c.installed, c.applied);
    Registry().DeleteValue(support::texts::kConfigKeyPath, "EnableGatehouse");
    if (c.gatehouse == -2) {
      Registry().SetString(support::texts::kConfigKeyPath, "EnableGatehouse", "0");
    } else if (c.gatehouse >= 0) {
      config_->Switch(static_cast<std::uint32_t>(c.gatehouse));
    }
    const Decision d = AskOutsideRequest("Lookup", platform::syserr::kInvalidHandle);
    EXPECT_EQ(d.reason, c.reason);
    EXPECT_EQ(d.allowed, c.refusal.empty());
    EXPECT_EQ(d.refusal, c.refusal);
  }
}

TEST_F(AccessTest, CallerNotIdentified) {
  config_->Write();
  for (int code : {platform::syserr::kFileNotFound, platform::syserr::kSuccess, 123456}) {
    const Decision d = AskOutsideRequest("MXRecords", code);
    EXPECT_FALSE(d.allowed);
    EXPECT_EQ(d.reason, Reason::kNoCaller);
    EXPECT_EQ(d.refusal, CallerRefusal(SystemText(code), "MXRecords"));
    EXPECT_EQ(CallerOf(d), SystemText(code));
  }
}

// The grants of the site the page's folder picks (SiteOfAPageByItsFolder): each site
// may use another method, so the grant shows which one was chosen.
TEST_F(AccessTest, TheSiteOfThePageDecides) {
  config_->Write(
      "[Path]\r\na=C:\\web\\site1\r\nb=C:\\web\\site10\r\n[Security]\r\na=Brevan\r\nb=Brevan\r\n"
      "[a]\r\nBrevan=Lookup\r\n[b]\r\nBrevan=VerifySMTP\r\n");
  EXPECT_TRUE(Ask("VerifySMTP", "C:\\web\\site10\\default.asp").allowed);
  EXPECT_FALSE(Ask("Lookup", "C:\\web\\site10\\default.asp").allowed);
  EXPECT_TRUE(Ask("Lookup", "C:\\web\\site1\\default.asp").allowed);
  // The site is named "Site1 "; the profile functions ignore blanks around the names
  // asked for, so its Security key and its section are those of Site1.
  config_->WebSite(
      "[Path]\r\nSite1 =C:\\sites\\one\r\n[Security]\r\nSite1 =Brevan\r\n"
      "[Site1]\r\nBrevan=Lookup\r\n");
  EXPECT_TRUE(Ask("Lookup", "C:\\sites\\one\\check.asp").allowed);
  EXPECT_EQ(Ask("VerifySMTP", "C:\\sites\\one\\check.asp").refusal, MethodRefusal("VerifySMTP"));
}

TEST_F(AccessTest, SiteGrants) {
  config_->Write();
  struct Case {
    const char* security;  // Site1's Security value
    const char* methods;   // Site1's Brevan value
    const char* method;
    Reason reason;
  } cases[] = {
      {"Brevan", "all", "VerifySMTP", Reason::kGranted},
      {"Brevan", "ALL", "MXRecords", Reason::kGranted},
      {"Brevan", "All, Lookup", "Lookup", Reason::kGranted},
      {"Brevan", "All, Lookup", "VerifySMTP", Reason::kMethodRefused},
      {"Brevan", "MXRecords", "MXRecords", Reason::kGranted},
      {"Brevan", "MXRecords", "Lookup", Reason::kMethodRefused},
      {"Brevan", "", "Lookup", Reason::kMethodRefused},
      {"Other, brevan", " lookup ,x", "Lookup", Reason::kGranted},
      {"Other", "All", "Lookup", Reason::kComponentRefused},
      {"", "All", "Lookup", Reason::kComponentRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.security) + " / " + c.methods + " / " + c.method);
    config_->WebSite(std::string("[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=") +
                     c.security + "\r\n[Site1]\r\nBrevan=" + c.methods + "\r\n");
    const Decision d = Ask(c.method, "C:\\sites\\one\\x.asp");
    EXPECT_EQ(d.reason, c.reason);
    EXPECT_EQ(d.allowed, c.reason == Reason::kGranted);
    EXPECT_EQ(d.refusal, c.reason == Reason::kGranted            ? ""
                         : c.reason == Reason::kComponentRefused ? kRefusedComponent
                                                                 : MethodRefusal(c.method));
  }
}

TEST_F(AccessTest, ChangesAreSeenByTheNextCall) {
  config_->Write();
  const std::string page = "C:\\sites\\one\\check.asp";
  EXPECT_FALSE(Ask("VerifySMTP", page).allowed);
  config_->WebSite(
      "[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=Brevan\r\n"
      "[Site1]\r\nBrevan=MXRecords, Lookup, VerifySMTP\r\n");
  EXPECT_TRUE(Ask("VerifySMTP", page).allowed);
  config_->Switch(0x10000);
  EXPECT_TRUE(AskOutsideRequest("VerifySMTP", 0).allowed);
  config_->Switch(1);
  EXPECT_FALSE(AskOutsideRequest("VerifySMTP", 0).allowed);
  config_->Admin("Brevan", "Other");
  EXPECT_TRUE(AskOutsideRequest("VerifySMTP", 0).allowed);
  Registry().DeleteValue(support::texts::kConfigKeyPath, "InstallationPath");
  config_->Admin();
  EXPECT_EQ(AskOutsideRequest("VerifySMTP", 0).reason, Reason::kNoConfiguration);
}

// The frame's two steps, told in an account: every value read, and how it came out.
TEST_F(AccessTest, AccountTellsTheReasonAndEveryValueRead) {
  using support::step::Item;
  using Values = std::vector<std::pair<Item, std::string>>;
  const auto explain = [](const std::string& method, hosting::CallerSource* caller) {
    support::Account account;
    hosting::ConfiguredAccess control(caller);
    const Decision decision =
        control.Check("Brevan", method, control.LocateConfigFiles(&account), &account);
    Values values;
    std::int64_t step = 0;
    for (const support::Step& s : account.Steps()) {
      if (const auto* read = std::get_if<support::step::AccessRead>(&s)) {
        values.emplace_back(
            read->item, read->value ? *read->value : hosting::FailureText(read->value.failure()));
      }
      if (const auto* d = std::get_if<support::step::AccessDecision>(&s)) step = d->step;
    }
    EXPECT_EQ(step, hosting::StepOf(decision.reason));
    return std::make_pair(decision, values);
  };
  config_->Write();
  FixedCaller source(std::string("C:\\sites\\one\\check.asp"));
  auto [decision, values] = explain("VerifySMTP", &source);
  EXPECT_EQ(decision.refusal, MethodRefusal("VerifySMTP"));
  EXPECT_EQ(hosting::StepOf(decision.reason), 10);
  const std::string in_folder = config_->folder + platform::kPathSeparator;
  const Values expected = {{Item::kAdminIni, in_folder + "Admin.ini"},
                           {Item::kWebSiteIni, in_folder + "WebSite.ini"},
                           {Item::kInstalled, "Brevan"},
                           {Item::kEnableGatehouse, "1"},
                           {Item::kApplied, "Brevan"},
                           {Item::kCaller, "C:\\sites\\one\\check.asp"},
                           {Item::kPathEntry, "Site1=C:\\sites\\one"},
                           {Item::kSecurity, "Brevan"},
                           {Item::kMethods, "MXRecords, Lookup"}};
  EXPECT_EQ(values, expected);
  config_->Switch(0);
  EXPECT_EQ(hosting::StepOf(explain("Lookup", &source).first.reason), 3);
  Registry().Clear();
  values = explain("Lookup", &source).second;
  EXPECT_EQ(values, Values({{Item::kAdminIni, SystemText(platform::syserr::kFileNotFound)}}));
}

// Outside any web request the platform's own source finds no request, and the refusal
// begins with the system's text for the code it failed with.
TEST_F(AccessTest, PlatformRequestOutsideAWebRequest) {
  config_->Write();
#ifndef _WIN32
  unsetenv("PATH_TRANSLATED");
#endif
  hosting::RequestCaller request;
  const platform::Result<std::string> path = request.CallerPath();
  ASSERT_FALSE(path.ok());
  const Decision d = Ask("VerifySMTP", nullptr);
  const std::string system_text = hosting::FailureText(path.failure());
  EXPECT_EQ(d.refusal, CallerRefusal(system_text, "VerifySMTP"));
  EXPECT_EQ(CallerOf(d), system_text);
  // The text is one the system gives, not the fallback for a code it does not know.
  EXPECT_EQ(system_text.find("The system cannot find error message"), std::string::npos);
}

#ifndef _WIN32
TEST_F(AccessTest, CgiPathTranslated) {
  config_->Write();
  setenv("PATH_TRANSLATED", "C:\\sites\\one\\cgi.asp", 1);
  const Decision d = Ask("Lookup", nullptr);
  EXPECT_TRUE(d.allowed);
  EXPECT_EQ(CallerOf(d), "C:\\sites\\one\\cgi.asp");
  setenv("PATH_TRANSLATED", "", 1);
  EXPECT_EQ(hosting::RequestCaller().CallerPath().value(), "");
  unsetenv("PATH_TRANSLATED");
}
#endif

}  // namespace
