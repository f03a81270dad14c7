// The access decision made before each lookup: registry and INI files written by the
// test, the calling page's path from a stand-in request. (The frame that asks it and
// keeps its answer is tested in tests/lookup.)
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "access/access_policy.h"
#include "access/caller_source.h"
#include "platform/errors.h"
#include "platform/net.h"
#include "support/error_text.h"
#include "support/registry_values.h"
#include "test_registry.h"
#include "testbed.h"

namespace {

using hosting::Decision;
using hosting::FixedCaller;

const char* const kRefusedComponent =
    "Please contact your hosting administrator, as you are not allowed to use Brevan component";

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
  return support::SystemErrorText(code);
}

// The three access names and a method of each.
const char* const kAccessNames[] = {"MXRecords", "Lookup", "VerifySMTP"};

class AccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("access-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    dir_ = testbed::ScratchDir(name);
    reg_ = std::make_unique<testreg::ScopedRegistry>(dir_);
  }
  void TearDown() override { reg_.reset(); }

  std::string Path(const std::string& file) {
    return dir_ + (dir_.find('\\') != std::string::npos ? "\\" : "/") + file;
  }
  void WriteIni(const std::string& file, const std::string& text) {
    std::ofstream(Path(file), std::ios::binary | std::ios::trunc) << text;
  }
  void Install() { reg_->SetString(testreg::kConfigKey, "InstallationPath", dir_); }
  void Switch(std::uint32_t value) {
    reg_->SetNumber(testreg::kConfigKey, "EnableGatehouse", value);
  }
  void Admin(const std::string& installed, const std::string& applied) {
    WriteIni("Admin.ini",
             "[Settings]\r\nInstalled=" + installed + "\r\nApplied=" + applied + "\r\n");
  }

  // The worked case: Site1 at C:\sites\one may use the MX and host lookups of Brevan.
  void WorkedCase() {
    Install();
    Switch(1);
    Admin("Brevan", "Brevan");
    WriteIni("WebSite.ini",
             "[Path]\r\nSite1=C:\\sites\\one\r\n"
             "[Security]\r\nSite1=Brevan\r\n"
             "[Site1]\r\nBrevan=MXRecords, Lookup\r\n");
  }

  // The frame's two steps for `method` of Brevan with the page at `caller`.
  static Decision Ask(const std::string& method, hosting::CallerSource* caller) {
    return hosting::Decide("Brevan", method, hosting::LocateConfigFiles(), caller);
  }
  static Decision Ask(const std::string& method, const std::string& caller) {
    auto source = FixedCaller::WithPath(caller);
    return Ask(method, &source);
  }
  static Decision AskOutsideRequest(const std::string& method, int last_error) {
    auto source = FixedCaller::Failing(last_error);
    return Ask(method, &source);
  }

  std::string dir_;
  std::unique_ptr<testreg::ScopedRegistry> reg_;
};

TEST_F(AccessTest, WorkedCase) {
  WorkedCase();
  const std::string page = "C:\\sites\\one\\check.asp";
  // DNSLookup and ReverseDNSLookup share "Lookup"; GetMXRecord and MXRecords "MXRecords".
  for (const char* method : {"Lookup", "MXRecords"}) {
    const Decision d = Ask(method, page);
    EXPECT_TRUE(d.allowed) << method << ": " << d.refusal;
    EXPECT_EQ(d.step, 9) << method;
    EXPECT_EQ(d.refusal, "") << method;
    EXPECT_EQ(d.caller_path, page) << method;
  }
  Decision d = Ask("VerifySMTP", page);
  EXPECT_FALSE(d.allowed);
  EXPECT_EQ(d.step, 10);
  EXPECT_EQ(d.refusal,
            "Please contact your hosting administrator, as you are not allowed to use "
            "VerifySMTP method of Brevan component");

  for (const char* method : kAccessNames) {
    d = Ask(method, "C:\\sites\\two\\check.asp");
    EXPECT_FALSE(d.allowed) << method;
    EXPECT_EQ(d.step, 6) << method;
    EXPECT_EQ(d.refusal, kRefusedComponent) << method;
  }
}

TEST_F(AccessTest, ConfigurationFound) {
  WorkedCase();
  const hosting::ConfigFiles files = hosting::LocateConfigFiles();
  EXPECT_TRUE(files.found);
  EXPECT_EQ(files.admin_ini, dir_ + "\\Admin.ini");
  EXPECT_EQ(files.website_ini, dir_ + "\\WebSite.ini");
}

TEST_F(AccessTest, WithoutConfigurationEveryCallRuns) {
  struct Case {
    const char* name;
    bool install;
    bool admin;
    bool website;
    const char* folder;  // InstallationPath, when not the test's folder
  } cases[] = {
      {"no InstallationPath", false, true, true, nullptr},
      {"Admin.ini missing", true, false, true, nullptr},
      {"WebSite.ini missing", true, true, false, nullptr},
      {"empty InstallationPath", true, true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reg_->Clear();
    std::remove(Path("Admin.ini").c_str());
    std::remove(Path("WebSite.ini").c_str());
    if (c.install) {
      reg_->SetString(testreg::kConfigKey, "InstallationPath", c.folder ? c.folder : dir_);
    }
    Switch(1);
    if (c.admin) Admin("Brevan", "Brevan");
    if (c.website) WriteIni("WebSite.ini", "[Path]\r\n");
    EXPECT_FALSE(hosting::LocateConfigFiles().found);
    for (const char* method : kAccessNames) {
      const Decision d = AskOutsideRequest(method, 0);
      EXPECT_TRUE(d.allowed) << method;
      EXPECT_EQ(d.step, 1) << method;
      EXPECT_FALSE(d.caller_path) << "the caller is never asked";
    }
  }
}

TEST_F(AccessTest, InstalledAndSwitch) {
  Install();
  WriteIni("WebSite.ini", "[Path]\r\n");
  struct Case {
    const char* installed;
    const char* applied;
    std::int64_t gatehouse;  // -1: missing, -2: stored as a string
    bool allowed;
    const char* reason;  // nullptr: the step 5 text
  } cases[] = {
      {"Other", "Brevan", 1, true, ""},
      {"", "Brevan", 1, true, ""},
      {"brevan , other", "Brevan", 1, false, nullptr},
      {"Brevan", "Brevan", 0, true, ""},
      {"Brevan", "Brevan", 65536, true, ""},
      {"Brevan", "Brevan", 1, false, nullptr},
      {"Brevan", "Brevan", 65537, false, nullptr},
      {"Brevan", "Brevan", 2147483648, false, nullptr},
      {"Brevan", "Brevan", 4294967295, false, nullptr},
      {"Brevan", "Brevan", -2, false, support::kRegistryTypeMismatch},
      {"Brevan", "Other", -2, false, support::kRegistryTypeMismatch},
      {"Other", "Brevan", -2, true, ""},
      {"Brevan", "Other", 1, true, ""},
      {"Brevan", "", 1, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.applied + " / " +
                 std::to_string(c.gatehouse));
    Admin(c.installed, c.applied);
    reg_->DeleteValue(testreg::kConfigKey, "EnableGatehouse");
    if (c.gatehouse == -2) {
      reg_->SetString(testreg::kConfigKey, "EnableGatehouse", "0");
    } else if (c.gatehouse >= 0) {
      Switch(static_cast<std::uint32_t>(c.gatehouse));
    }
    const Decision d = AskOutsideRequest("Lookup", platform::syserr::kInvalidHandle);
    EXPECT_EQ(d.allowed, c.allowed);
    std::string reason =
        c.reason ? c.reason : CallerRefusal(SystemText(platform::syserr::kInvalidHandle), "Lookup");
    EXPECT_EQ(d.refusal, reason);
  }
  // A missing switch fails closed with the registry's own text.
  Admin("Brevan", "Brevan");
  reg_->DeleteValue(testreg::kConfigKey, "EnableGatehouse");
  const Decision d = AskOutsideRequest("VerifySMTP", 0);
  EXPECT_FALSE(d.allowed);
  EXPECT_EQ(d.step, 3);
  EXPECT_EQ(d.refusal, SystemText(platform::syserr::kFileNotFound));
}

TEST_F(AccessTest, SwitchTextToOnOff) {
  struct Case {
    const char* text;
    bool on;
  } cases[] = {{"0", false},         {"1", true},          {"65536", false},
               {"65537", true},      {"131072", false},    {"2147483647", true},
               {"2147483648", true}, {"4294967295", true}, {"99999999999999999999", true},
               {"-65536", false},    {"-1", true},         {"", false},
               {"x", false},         {" 65536", false},    {"+1", true}};
  for (const Case& c : cases) EXPECT_EQ(hosting::GatehouseSwitchedOn(c.text), c.on) << c.text;
}

TEST_F(AccessTest, CallerNotIdentified) {
  WorkedCase();
  for (int code : {platform::syserr::kFileNotFound, platform::syserr::kSuccess, 123456}) {
    const Decision d = AskOutsideRequest("MXRecords", code);
    EXPECT_FALSE(d.allowed);
    EXPECT_EQ(d.step, 5);
    EXPECT_EQ(d.refusal, CallerRefusal(SystemText(code), "MXRecords"));
    EXPECT_EQ(d.caller_path, SystemText(code));
  }
}

TEST_F(AccessTest, SiteByFolder) {
  Install();
  Switch(1);
  Admin("Brevan", "Brevan");
  struct Case {
    const char* path_section;
    const char* caller;
    const char* site;  // the site whose grants apply; nullptr: refused at step 6
  } cases[] = {
      // A folder ends at a path boundary: site10's pages get site10's grants.
      {"a=C:\\web\\site1\r\nb=C:\\web\\site10", "C:\\web\\site10\\default.asp", "b"},
      {"a=C:\\web\\site1\r\nb=C:\\web\\site10", "C:\\web\\site1\\default.asp", "a"},
      {"a=C:\\web\\site1", "C:\\web\\site10\\default.asp", nullptr},
      {"a=c:\\WEB\\site1", "C:\\web\\SITE1\\x.asp", "a"},
      {"a=", "C:\\anything\\x.asp", "a"},
      {"a=", "", "a"},
      {"a=C:\\web\\", "C:\\web\\site1\\x.asp", "a"},
      {"a=C:\\web\r\nb=C:\\web\\site1", "C:\\web\\site1\\x.asp", "a"},  // first line wins
      {"C:\\web\\site1\r\nb=C:\\web", "C:\\web\\site1\\x.asp", "b"},
      {"", "C:\\web\\x.asp", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path_section) + " <- " + c.caller);
    // Each site may use a different method, so the grant shows which site was chosen.
    WriteIni("WebSite.ini", std::string("[Path]\r\n") + c.path_section +
                                "\r\n[Security]\r\na=Brevan\r\nb=Brevan\r\n"
                                "[a]\r\nBrevan=Lookup\r\n[b]\r\nBrevan=VerifySMTP\r\n");
    const Decision lookup = Ask("Lookup", c.caller);
    const Decision smtp = Ask("VerifySMTP", c.caller);
    if (c.site == nullptr) {
      EXPECT_FALSE(lookup.allowed);
      EXPECT_FALSE(smtp.allowed);
      EXPECT_EQ(smtp.step, 6);
      EXPECT_EQ(smtp.refusal, kRefusedComponent);
    } else {
      EXPECT_EQ(lookup.allowed, std::string(c.site) == "a") << lookup.refusal;
      EXPECT_EQ(smtp.allowed, std::string(c.site) == "b");
    }
  }
}

TEST_F(AccessTest, SiteNameWithABlankBeforeTheEquals) {
  Install();
  Switch(1);
  Admin("Brevan", "Brevan");
  // The site is named "Site1 "; the profile functions ignore blanks around the names
  // asked for, so its Security key and its section are those of Site1.
  WriteIni("WebSite.ini",
           "[Path]\r\nSite1 =C:\\sites\\one\r\n"
           "[Security]\r\nSite1 =Brevan\r\n"
           "[Site1]\r\nBrevan=Lookup\r\n");
  const std::string page = "C:\\sites\\one\\check.asp";
  const Decision lookup = Ask("Lookup", page);
  EXPECT_TRUE(lookup.allowed) << lookup.refusal;
  const Decision smtp = Ask("VerifySMTP", page);
  EXPECT_FALSE(smtp.allowed);
  EXPECT_EQ(smtp.refusal, MethodRefusal("VerifySMTP"));
}

TEST_F(AccessTest, SiteGrants) {
  Install();
  Switch(1);
  Admin("Brevan", "Brevan");
  struct Case {
    const char* security;  // Site1's Security value
    const char* methods;   // Site1's Brevan value
    const char* method;
    bool allowed;
    bool component_refused;
  } cases[] = {
      {"Brevan", "all", "VerifySMTP", true, false},
      {"Brevan", "ALL", "MXRecords", true, false},
      {"Brevan", "All, Lookup", "Lookup", true, false},
      {"Brevan", "All, Lookup", "VerifySMTP", false, false},
      {"Brevan", "MXRecords", "MXRecords", true, false},
      {"Brevan", "MXRecords", "Lookup", false, false},
      {"Brevan", "", "Lookup", false, false},
      {"Other, brevan", " lookup ,x", "Lookup", true, false},
      {"Other", "All", "Lookup", false, true},
      {"", "All", "Lookup", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.security) + " / " + c.methods + " / " + c.method);
    WriteIni("WebSite.ini", std::string("[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=") +
                                c.security + "\r\n[Site1]\r\nBrevan=" + c.methods + "\r\n");
    const Decision d = Ask(c.method, "C:\\sites\\one\\x.asp");
    EXPECT_EQ(d.allowed, c.allowed);
    std::string expected = c.allowed             ? ""
                           : c.component_refused ? kRefusedComponent
                                                 : MethodRefusal(c.method);
    EXPECT_EQ(d.refusal, expected);
    EXPECT_EQ(d.step, c.allowed ? 9 : c.component_refused ? 8 : 10);
  }
}

TEST_F(AccessTest, ChangesAreSeenByTheNextCall) {
  WorkedCase();
  const std::string page = "C:\\sites\\one\\check.asp";
  EXPECT_FALSE(Ask("VerifySMTP", page).allowed);
  WriteIni("WebSite.ini",
           "[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=Brevan\r\n"
           "[Site1]\r\nBrevan=MXRecords, Lookup, VerifySMTP\r\n");
  EXPECT_TRUE(Ask("VerifySMTP", page).allowed);
  Switch(0x10000);
  EXPECT_TRUE(AskOutsideRequest("VerifySMTP", 0).allowed);
  Switch(1);
  EXPECT_FALSE(AskOutsideRequest("VerifySMTP", 0).allowed);
  Admin("Brevan", "Other");
  EXPECT_TRUE(AskOutsideRequest("VerifySMTP", 0).allowed);
  reg_->DeleteValue(testreg::kConfigKey, "InstallationPath");
  Admin("Brevan", "Brevan");
  const Decision d = AskOutsideRequest("VerifySMTP", 0);
  EXPECT_TRUE(d.allowed);
  EXPECT_EQ(d.step, 1);
}

TEST_F(AccessTest, ExplainReportsTheDecidingStepAndValues) {
  WorkedCase();
  auto source = FixedCaller::WithPath("C:\\sites\\one\\check.asp");
  hosting::AccessReport report = hosting::ExplainAccess("VerifySMTP", &source);
  EXPECT_FALSE(report.allowed);
  EXPECT_EQ(report.step, 10);
  EXPECT_EQ(report.refusal, MethodRefusal("VerifySMTP"));
  std::vector<std::pair<std::string, std::string>> expected = {
      {"Admin.ini", dir_ + "\\Admin.ini"},
      {"WebSite.ini", dir_ + "\\WebSite.ini"},
      {"Installed", "Brevan"},
      {"EnableGatehouse", "1"},
      {"Applied", "Brevan"},
      {"Caller path", "C:\\sites\\one\\check.asp"},
      {"Path entry", "Site1=C:\\sites\\one"},
      {"Security", "Brevan"},
      {"Methods", "MXRecords, Lookup"}};
  EXPECT_EQ(report.values, expected);

  report = hosting::ExplainAccess("Lookup", &source);
  EXPECT_TRUE(report.allowed);
  EXPECT_EQ(report.step, 9);
  EXPECT_EQ(report.refusal, "");
  Switch(0);
  report = hosting::ExplainAccess("Lookup", &source);
  EXPECT_TRUE(report.allowed);
  EXPECT_EQ(report.step, 3);
  reg_->Clear();
  report = hosting::ExplainAccess("Lookup", &source);
  EXPECT_EQ(report.step, 1);
}

// Outside any web request the platform's own source finds no request, and the refusal
// begins with the platform's text for the thread's last error.
TEST_F(AccessTest, PlatformRequestOutsideAWebRequest) {
  WorkedCase();
#ifndef _WIN32
  unsetenv("PATH_TRANSLATED");
#endif
  EXPECT_FALSE(hosting::IdentifyCaller(nullptr).ok);
  const Decision d = Ask("VerifySMTP", nullptr);
  EXPECT_FALSE(d.allowed);
  const std::string tail = CallerRefusal("", "VerifySMTP");
  ASSERT_GT(d.refusal.size(), tail.size());
  EXPECT_EQ(d.refusal.substr(d.refusal.size() - tail.size()), tail);
  std::string system_text = d.refusal.substr(0, d.refusal.size() - tail.size());
  EXPECT_EQ(system_text, d.caller_path);
  // The text is one the system gives, not the fallback for a code it does not know.
  EXPECT_EQ(system_text.find("The system cannot find error message"), std::string::npos);
  EXPECT_EQ(system_text, SystemText(platform::ThreadLastError()));
}

#ifndef _WIN32
TEST_F(AccessTest, CgiPathTranslated) {
  WorkedCase();
  setenv("PATH_TRANSLATED", "C:\\sites\\one\\cgi.asp", 1);
  const Decision d = Ask("Lookup", nullptr);
  EXPECT_TRUE(d.allowed);
  EXPECT_EQ(d.caller_path, "C:\\sites\\one\\cgi.asp");
  setenv("PATH_TRANSLATED", "", 1);
  const support::TextResult empty = hosting::IdentifyCaller(nullptr);
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ(empty.text, "");
  unsetenv("PATH_TRANSLATED");
}
#endif

// --- the installation folder ---

TEST_F(AccessTest, InstalledFilePathOfAnExistingFile) {
  WriteIni("Admin.ini", "[Settings]\n");
  for (const std::string& folder : {dir_, dir_ + "\\"}) {
    reg_->SetString(testreg::kConfigKey, "InstallationPath", folder);
    const support::TextResult path = hosting::InstalledFilePath("Admin.ini");
    EXPECT_TRUE(path.ok) << folder;
    EXPECT_EQ(path.text, dir_ + "\\Admin.ini") << folder;
  }
}

TEST_F(AccessTest, InstalledFilePathOfAMissingFileOrFolder) {
  WriteIni("Admin.ini", "[Settings]\n");
  const std::string not_found = SystemText(platform::syserr::kFileNotFound);
  struct Case {
    const char* what;
    int folder;  // 0: no InstallationPath, 1: the test's folder, 2: empty, 3: a number
    const char* file;
    std::string text;
  } cases[] = {
      {"no InstallationPath: the registry's text", 0, "Admin.ini", not_found},
      {"no such file", 1, "WebSite.ini", not_found},
      // An empty folder names no file, whatever the root of the drive holds.
      {"empty folder", 2, "Admin.ini", not_found},
      {"folder of another type", 3, "Admin.ini", support::kRegistryTypeMismatch},
  };
  for (const Case& c : cases) {
    reg_->Clear();
    if (c.folder == 1) reg_->SetString(testreg::kConfigKey, "InstallationPath", dir_);
    if (c.folder == 2) reg_->SetString(testreg::kConfigKey, "InstallationPath", "");
    if (c.folder == 3) reg_->SetNumber(testreg::kConfigKey, "InstallationPath", 1);
    const support::TextResult path = hosting::InstalledFilePath(c.file);
    EXPECT_FALSE(path.ok) << c.what;
    EXPECT_EQ(path.text, c.text) << c.what;
  }
}

}  // namespace
