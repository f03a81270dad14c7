// The access decision made before each lookup, end to end through CLookup: registry
// and INI files written by the test, the calling page's path from a stand-in request.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "access/access_policy.h"
#include "access/caller_source.h"
#include "lookup/lookup.h"
#include "platform/errors.h"
#include "platform/net.h"
#include "support/nx_functions.h"
#include "support/nx_reg.h"
#include "test_registry.h"
#include "testbed.h"

namespace {

// Opens the access-control steps of a plain CLookup to the tests.
class TestLookup : public CLookup {
 public:
  using CLookup::CheckAccess;
  using CLookup::IdentifyCaller;
  using CLookup::LocateConfigFiles;
  const std::string& Method() const { return m_strMethod; }
  std::int32_t NoConfig() const { return m_bNoConfig; }
  const std::string& AdminIni() const { return m_strAdminIni; }
  const std::string& WebSiteIni() const { return m_strWebSiteIni; }
  const std::string& CallerPath() const { return m_strCallerPath; }
  void SetErrorReason(const std::string& text) { m_strErrorReason = text; }
};

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
  std::string text;
  CNxFunctions().GetSystemErrorText(text, code);
  return text;
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

  // Runs the frame's two steps for `method` with the page at `caller`; returns whether
  // the call was allowed.
  bool Call(const std::string& method, const std::string& caller) {
    auto source = CFixedCallerSource::WithPath(caller);
    lookup_.SetCallerSource(&source);
    bool allowed = lookup_.EnterFrame(method.c_str());
    lookup_.SetCallerSource(nullptr);
    return allowed;
  }
  bool CallOutsideRequest(const std::string& method, int last_error) {
    auto source = CFixedCallerSource::Failing(last_error);
    lookup_.SetCallerSource(&source);
    bool allowed = lookup_.EnterFrame(method.c_str());
    lookup_.SetCallerSource(nullptr);
    return allowed;
  }

  std::string dir_;
  std::unique_ptr<testreg::ScopedRegistry> reg_;
  TestLookup lookup_;
};

TEST_F(AccessTest, WorkedCase) {
  WorkedCase();
  const std::string page = "C:\\sites\\one\\check.asp";
  // DNSLookup and ReverseDNSLookup share "Lookup"; GetMXRecord and MXRecords "MXRecords".
  for (const char* method : {"Lookup", "MXRecords"}) {
    lookup_.SetErrorReason("earlier failure");
    EXPECT_TRUE(Call(method, page)) << method << ": " << lookup_.GetErrorReason();
    EXPECT_EQ(lookup_.GetIsError(), 0);
    EXPECT_EQ(lookup_.GetErrorReason(), "earlier failure");  // an allowed call leaves it
    EXPECT_EQ(lookup_.CallerPath(), page);
  }
  EXPECT_FALSE(Call("VerifySMTP", page));
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), MethodRefusal("VerifySMTP"));
  EXPECT_EQ(lookup_.GetErrorReason(),
            "Please contact your hosting administrator, as you are not allowed to use "
            "VerifySMTP method of Brevan component");

  for (const char* method : kAccessNames) {
    EXPECT_FALSE(Call(method, "C:\\sites\\two\\check.asp")) << method;
    EXPECT_EQ(lookup_.GetErrorReason(), kRefusedComponent) << method;
    EXPECT_EQ(lookup_.Method(), method);
  }
}

TEST_F(AccessTest, ConfigurationFound) {
  WorkedCase();
  ASSERT_TRUE(lookup_.LocateConfigFiles());
  EXPECT_EQ(lookup_.NoConfig(), 0);
  EXPECT_EQ(lookup_.AdminIni(), dir_ + "\\Admin.ini");
  EXPECT_EQ(lookup_.WebSiteIni(), dir_ + "\\WebSite.ini");
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
    lookup_.SetErrorReason("untouched");
    for (const char* method : kAccessNames) {
      EXPECT_TRUE(CallOutsideRequest(method, 0)) << method;
      EXPECT_EQ(lookup_.NoConfig(), 1);
      EXPECT_EQ(lookup_.GetErrorReason(), "untouched");
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
      {"Brevan", "Brevan", -2, false, kRegistryTypeMismatch},
      {"Brevan", "Other", -2, false, kRegistryTypeMismatch},
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
    lookup_.SetErrorReason("");
    EXPECT_EQ(CallOutsideRequest("Lookup", platform::syserr::kInvalidHandle), c.allowed);
    std::string reason =
        c.reason ? c.reason : CallerRefusal(SystemText(platform::syserr::kInvalidHandle), "Lookup");
    EXPECT_EQ(lookup_.GetErrorReason(), reason);
  }
  // A missing switch fails closed with the registry's own text.
  Admin("Brevan", "Brevan");
  reg_->DeleteValue(testreg::kConfigKey, "EnableGatehouse");
  EXPECT_FALSE(CallOutsideRequest("VerifySMTP", 0));
  EXPECT_EQ(lookup_.GetErrorReason(), SystemText(platform::syserr::kFileNotFound));
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
    EXPECT_FALSE(CallOutsideRequest("MXRecords", code));
    EXPECT_EQ(lookup_.GetErrorReason(), CallerRefusal(SystemText(code), "MXRecords"));
    EXPECT_EQ(lookup_.CallerPath(), SystemText(code));
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
    bool lookup = Call("Lookup", c.caller);
    std::string lookup_reason = lookup_.GetErrorReason();
    bool smtp = Call("VerifySMTP", c.caller);
    if (c.site == nullptr) {
      EXPECT_FALSE(lookup);
      EXPECT_FALSE(smtp);
      EXPECT_EQ(lookup_.GetErrorReason(), kRefusedComponent);
    } else {
      EXPECT_EQ(lookup, std::string(c.site) == "a") << lookup_reason;
      EXPECT_EQ(smtp, std::string(c.site) == "b");
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
  EXPECT_TRUE(Call("Lookup", page)) << lookup_.GetErrorReason();
  EXPECT_FALSE(Call("VerifySMTP", page));
  EXPECT_EQ(lookup_.GetErrorReason(), MethodRefusal("VerifySMTP"));
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
    lookup_.SetErrorReason("");
    EXPECT_EQ(Call(c.method, "C:\\sites\\one\\x.asp"), c.allowed);
    std::string expected = c.allowed             ? ""
                           : c.component_refused ? kRefusedComponent
                                                 : MethodRefusal(c.method);
    EXPECT_EQ(lookup_.GetErrorReason(), expected);
  }
}

TEST_F(AccessTest, ChangesAreSeenByTheNextCall) {
  WorkedCase();
  const std::string page = "C:\\sites\\one\\check.asp";
  EXPECT_FALSE(Call("VerifySMTP", page));
  WriteIni("WebSite.ini",
           "[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=Brevan\r\n"
           "[Site1]\r\nBrevan=MXRecords, Lookup, VerifySMTP\r\n");
  EXPECT_TRUE(Call("VerifySMTP", page));
  Switch(0x10000);
  EXPECT_TRUE(CallOutsideRequest("VerifySMTP", 0));
  Switch(1);
  EXPECT_FALSE(CallOutsideRequest("VerifySMTP", 0));
  Admin("Brevan", "Other");
  EXPECT_TRUE(CallOutsideRequest("VerifySMTP", 0));
  reg_->DeleteValue(testreg::kConfigKey, "InstallationPath");
  Admin("Brevan", "Brevan");
  EXPECT_TRUE(CallOutsideRequest("VerifySMTP", 0));
  EXPECT_EQ(lookup_.NoConfig(), 1);
}

TEST_F(AccessTest, ExplainReportsTheDecidingStepAndValues) {
  WorkedCase();
  auto source = CFixedCallerSource::WithPath("C:\\sites\\one\\check.asp");
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
  std::string path;
  EXPECT_FALSE(lookup_.IdentifyCaller(path));
  EXPECT_FALSE(lookup_.EnterFrame("VerifySMTP"));
  const std::string& reason = lookup_.GetErrorReason();
  const std::string tail = CallerRefusal("", "VerifySMTP");
  ASSERT_GT(reason.size(), tail.size());
  EXPECT_EQ(reason.substr(reason.size() - tail.size()), tail);
  std::string system_text = reason.substr(0, reason.size() - tail.size());
  EXPECT_EQ(system_text, lookup_.CallerPath());
  // The text is one the system gives, not the fallback for a code it does not know.
  EXPECT_EQ(system_text.find("The system cannot find error message"), std::string::npos);
  EXPECT_EQ(system_text, SystemText(platform::ThreadLastError()));
}

#ifndef _WIN32
TEST_F(AccessTest, CgiPathTranslated) {
  WorkedCase();
  setenv("PATH_TRANSLATED", "C:\\sites\\one\\cgi.asp", 1);
  EXPECT_TRUE(lookup_.EnterFrame("Lookup"));
  EXPECT_EQ(lookup_.CallerPath(), "C:\\sites\\one\\cgi.asp");
  setenv("PATH_TRANSLATED", "", 1);
  std::string path = "stale";
  EXPECT_TRUE(lookup_.IdentifyCaller(path));
  EXPECT_EQ(path, "");
  unsetenv("PATH_TRANSLATED");
}
#endif

}  // namespace
