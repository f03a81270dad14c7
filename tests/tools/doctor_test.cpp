// The doctor's rows: the registration of one registry view, read from an in-memory
// registry and files made here, and (natively) the access configuration read from a
// registry store and INI files of its own.
#include "tools/doctor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "hosting_config.h"
#include "platform/files.h"
#include "platform/memory_registry.h"
#include "tests/tools/pe_builder.h"
#include "tests/tools/run_kestra.h"
#include "tools/pe_image.h"

namespace {

using kestra_tool::CheckRow;
using kestra_tool::Status;

const std::string kLookupClsid = "{" KESTRA_CLSID_LOOKUP "}";

// The keys one view holds after the x86 DLL at C:\k\x86\Kestra.dll registered itself.
std::string Registration() {
  std::ostringstream reg;
  reg << "REGEDIT4\n";
  const std::pair<const char*, std::string> classes[] = {
      {"Brevan.MX", kLookupClsid},
      {"Kestra.List", "{" KESTRA_CLSID_LIST "}"},
      {"Kestra.ListEntries", "{" KESTRA_CLSID_LISTENTRIES "}"},
  };
  const std::string root = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
  for (const auto& [prog_id, clsid] : classes) {
    reg << root << prog_id << "\\CurVer]\n@=\"" << prog_id << ".1\"\n"
        << root << prog_id << ".1\\CLSID]\n@=\"" << clsid << "\"\n"
        << root << "CLSID\\" << clsid << "\\InprocServer32]\n"
        << "@=\"C:\\\\k\\\\x86\\\\Kestra.dll\"\n\"ThreadingModel\"=\"Apartment\"\n";
  }
  reg << root
      << "TypeLib\\{" KESTRA_LIBID "}\\1.0\\0\\win32]\n@=\"C:\\\\k\\\\x86\\\\Kestra.dll\"\n";
  return reg.str();
}

const std::vector<std::string> kEntryPoints = {"DllCanUnloadNow", "DllGetClassObject",
                                               "DllRegisterServer", "DllUnregisterServer"};

// Every DLL signed by a trusted publisher, unless the test says otherwise.
kestra_tool::Signature Trusted(const std::string&) {
  return {kestra_tool::Signature::State::kTrusted, "Publisher", 0};
}

std::vector<CheckRow> CheckView(const std::string& reg_text,
                                const std::map<std::string, std::string>& files,
                                const kestra_tool::SignatureReader& signature = Trusted) {
  platform::MemoryRegistry registry;
  EXPECT_TRUE(registry.Load(reg_text));
  const kestra_tool::FileReader read = [&](const std::string& path) {
    auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
  std::vector<CheckRow> rows;
  kestra_tool::CheckRegistration(registry, {platform::RegView::k32, 32, "regsvr32-32"}, read,
                                 signature, &rows);
  return rows;
}

std::string Show(const std::vector<CheckRow>& rows) {
  std::ostringstream out;
  kestra_tool::PrintRows(rows, out);
  return out.str();
}

TEST(DoctorRegistration, EachFaultIsOneRowNamingIt) {
  const std::string dll = "C:\\k\\x86\\Kestra.dll";
  const std::string good = testpe::MakeImage({kestra_tool::kMachineX86, true, kEntryPoints});
  const std::string base = Registration();
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = base;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  std::vector<std::string> three(kEntryPoints.begin(), kEntryPoints.begin() + 3);
  struct Case {
    const char* what;
    std::string reg;
    std::map<std::string, std::string> files;
    std::string fail;      // what each FAIL row says
    int fails;             // how many: a fault of the one DLL file shows in every row naming it
    std::size_t rows = 5;  // the signature's row too, unless the DLL file is at fault
  };
  const Case cases[] = {
      {"clean", base, {{dll, good}}, "", 0},
      {"file deleted", base, {}, dll + " does not exist", 4, 4},
      {"a 64-bit DLL in the 32-bit view",
       base,
       {{dll, testpe::MakeImage({kestra_tool::kMachineX64, true, kEntryPoints})}},
       dll + " is a 64-bit DLL (wrong bitness)",
       3,
       4},
      {"an entry point missing",
       base,
       {{dll, testpe::MakeImage({kestra_tool::kMachineX86, true, three})}},
       "does not export DllUnregisterServer",
       3,
       4},
      {"not a program file", base, {{dll, "text"}}, "is not a DLL (not a program file", 3, 4},
      {"threading model",
       replaced("\"ThreadingModel\"=\"Apartment\"", "\"ThreadingModel\"=\"Both\""),
       {{dll, good}},
       "ThreadingModel is \"Both\", not \"Apartment\"",
       1},
      {"type library key removed",
       replaced("TypeLib", "TypeLibGone"),
       {{dll, good}},
       "type library KestraLib 1.0 is not registered",
       1},
      {"CurVer missing",
       replaced("Kestra.List\\CurVer", "Kestra.List\\Other"),
       {{dll, good}},
       "Kestra.List is not registered (no CurVer)",
       1},
      {"another class",
       replaced("Brevan.MX.1\\CLSID]\n@=\"{", "Brevan.MX.1\\CLSID]\n@=\"{0"),
       {{dll, good}},
       "not this Kestra's class " + kLookupClsid,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<CheckRow> rows = CheckView(c.reg, c.files);
    const std::string shown = Show(rows);
    int fails = 0;
    for (const CheckRow& row : rows) {
      EXPECT_NE(row.status, Status::kWarn) << shown;
      if (row.status == Status::kFail) {
        ++fails;
        EXPECT_NE(row.text.find("32-bit view"), std::string::npos) << shown;
        EXPECT_NE(row.text.find(c.fail), std::string::npos) << shown;
        EXPECT_NE(row.todo.find("regsvr32-32"), std::string::npos) << shown;
      }
    }
    EXPECT_EQ(fails, c.fails) << shown;
    EXPECT_EQ(rows.size(), c.rows) << shown;
  }
}

TEST(DoctorRegistration, OneSignatureRowPerDllTellsSignedChangedAndUntrusted) {
  const std::string dll = "C:\\k\\x86\\Kestra.dll";
  const std::string good = testpe::MakeImage({kestra_tool::kMachineX86, true, kEntryPoints});
  using State = kestra_tool::Signature::State;
  struct Case {
    kestra_tool::Signature signature;
    Status status;
    std::string text;
  };
  const Case cases[] = {
      {{State::kTrusted, "Halverd Ltd", 0},
       Status::kOk,
       "32-bit view: " + dll +
           " is signed by \"Halverd Ltd\", matches its signature and this "
           "machine trusts the signer's chain"},
      {{State::kUntrusted, "Halverd Ltd", 0x800B0109},
       Status::kWarn,
       "32-bit view: " + dll +
           " is signed by \"Halverd Ltd\" and matches its signature, but this "
           "machine does not trust the signer's chain (its root certificate is not trusted)"},
      {{State::kUntrusted, "Halverd Ltd", 0x80001234},
       Status::kWarn,
       "does not trust the signer's chain (0x80001234)"},
      {{State::kChanged, "Halverd Ltd", 0},
       Status::kFail,
       "32-bit view: " + dll +
           " is signed by \"Halverd Ltd\", but the file no longer matches "
           "its signature: it was changed after signing"},
      {{State::kUnsigned, "", 0}, Status::kWarn, "32-bit view: " + dll + " is not signed"},
      // Anyone who signs chooses the name: printed, its control characters do not start
      // a row.
      {{State::kTrusted, "Ev\x1B[2Kil\nFAIL  x\t", 0},
       Status::kOk,
       "is signed by \"Ev\\x1B[2Kil\\x0AFAIL  x\\x09\", matches"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> asked;
    const std::vector<CheckRow> rows =
        CheckView(Registration(), {{dll, good}}, [&](const std::string& path) {
          asked.push_back(path);
          return c.signature;
        });
    EXPECT_EQ(asked, std::vector<std::string>{dll});  // three classes, one DLL: one row
    ASSERT_EQ(rows.size(), 5u) << Show(rows);
    EXPECT_EQ(rows[4].status, c.status) << Show(rows);
    EXPECT_NE(Show(rows).find(c.text), std::string::npos) << Show(rows);
    EXPECT_EQ(rows[4].todo.empty(), c.status == Status::kOk) << Show(rows);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(rows[i].status, Status::kOk) << Show(rows);
  }
}

TEST(DoctorRegistration, ADllSpelledInTwoCasesIsOneFileWithOneSignatureRow) {
  const std::string dll = "C:\\k\\x86\\Kestra.dll", upper = "C:\\K\\X86\\KESTRA.DLL";
  const std::string good = testpe::MakeImage({kestra_tool::kMachineX86, true, kEntryPoints});
  std::string reg = Registration();
  const std::string last = "@=\"C:\\\\k\\\\x86\\\\Kestra.dll\"\n\"ThreadingModel\"";
  const std::size_t at = reg.rfind(last);
  ASSERT_NE(at, std::string::npos);
  reg.replace(at, last.size(), "@=\"C:\\\\K\\\\X86\\\\KESTRA.DLL\"\n\"ThreadingModel\"");
  std::vector<std::string> asked;
  const std::vector<CheckRow> rows =
      CheckView(reg, {{dll, good}, {upper, good}}, [&](const std::string& path) {
        asked.push_back(path);
        return Trusted(path);
      });
  EXPECT_EQ(asked, std::vector<std::string>{dll}) << Show(rows);
}

TEST(DoctorRegistration, AnEmptyViewWarnsWhichProcessesCannotCreateTheObject) {
  const std::vector<CheckRow> rows = CheckView("REGEDIT4\n", {});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, Status::kWarn);
  EXPECT_NE(rows[0].text.find("32-bit view: no Kestra class is registered: 32-bit application "
                              "pools"),
            std::string::npos)
      << rows[0].text;
}

// A hosting configuration in a scratch folder, site folders included.
class DoctorAccess : public ::testing::Test {
 protected:
  std::vector<CheckRow> Rows() {
    std::vector<CheckRow> rows;
    kestra_tool::CheckConfiguration(false, &rows);
    return rows;
  }
  testreg::HostingConfig config_{"doctor-access"};
  const std::string dir_ = config_.folder;
};

TEST_F(DoctorAccess, SiteMistakesAreWarnings) {
  const std::string one = dir_ + "/one";
  const std::string inner = one + "/inner";
  std::filesystem::create_directories(inner);
  std::filesystem::create_directories(one + "x");
  config_.Write(
      "[Path]\nOne=" + one + "\nInner=" + inner + "\nOne=" + dir_ + "/gone\nOdd=" + one +
      "x\nBare=" + dir_ +
      "\n"
      "[Security]\nOne=Brevan\nInner=Brevan\nOdd=Brevan\n"
      "[One]\nBrevan=All\n[Inner]\nBrevan=MXRecords, GetMXRecord\n[Odd]\nBrevan=All, Lookup\n");
  const std::vector<CheckRow> rows = Rows();
  const std::string shown = Show(rows);
  const std::vector<std::string> wanted = {
      "site Inner (" + inner + "): its folder lies inside the folder of One (" + one +
          "), listed earlier in [Path]: the earlier line wins, so the rules of Inner never apply",
      "site Inner (" + inner + "): unknown access name \"GetMXRecord\"",
      "site One (" + dir_ + "/gone): the site name One is listed twice",
      "site One (" + dir_ + "/gone): the folder does not exist",
      "site Bare (" + dir_ + "): no [Security] entry",
      "site Bare (" + dir_ + "): no [Bare] section",
      "site Odd (" + one + "x): \"All\" grants every method only alone",
  };
  int warns = 0;
  for (const CheckRow& row : rows) {
    EXPECT_NE(row.status, Status::kFail) << shown;
    if (row.status == Status::kWarn) ++warns;
  }
  for (const std::string& w : wanted) {
    EXPECT_NE(shown.find("WARN  " + w), std::string::npos) << w << "\n" << shown;
  }
  EXPECT_EQ(warns, static_cast<int>(wanted.size())) << shown;
  EXPECT_NE(shown.find("OK    site One (" + one + "): [Security] Brevan; [One] Brevan=All\n"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("OK    EnableGatehouse=1: the access control is on\n"), std::string::npos)
      << shown;
}

// The files' row names each file with one separator, the system's, after the folder.
TEST_F(DoctorAccess, TheFilesAreNamedWithTheSystemsSeparator) {
  config_.Write();
  const std::string in_folder = dir_ + platform::kPathSeparator;
  const std::string shown = Show(Rows());
  EXPECT_NE(shown.find("OK    access configuration: " + in_folder + "Admin.ini and " + in_folder +
                       "WebSite.ini\n"),
            std::string::npos)
      << shown;
}

#ifndef _WIN32
// A POSIX file name is bytes: a folder whose name is not UTF-8 still gives one JSON
// document (the byte written as \xHH) and the exit code of the rows.
TEST_F(DoctorAccess, JsonOfAFolderWhoseNameIsNotUtf8) {
  config_.Write("[Path]\n");
  const std::string odd = dir_ + "/caf\xE9";
  std::filesystem::create_directories(odd);
  for (const char* name : {"/Admin.ini", "/WebSite.ini"})
    std::filesystem::copy_file(dir_ + name, odd + name);
  config_.registry.SetString(support::texts::kConfigKeyPath, "InstallationPath", odd);
  const kestra_test::Result text = kestra_test::Kestra({"doctor"});
  const kestra_test::Result json = kestra_test::Kestra({"doctor", "--json"});
  EXPECT_EQ(json.rc, text.rc) << json.out << json.err;
  ASSERT_TRUE(nlohmann::json::accept(json.out)) << json.out << json.err;
  const std::string shown = dir_ + "/caf\\xE9";
  EXPECT_EQ(nlohmann::json::parse(json.out)["result"]["rows"][0]["check"],
            "access configuration: " + shown + "/Admin.ini and " + shown + "/WebSite.ini");
}
#endif

TEST_F(DoctorAccess, AnUnreadableSwitchFailsWhereTheCheckIsInstalledAndMissingFilesWarn) {
  const std::string unreadable =
      "EnableGatehouse cannot be read (The type you specified mismatch with registry value type)";
  const struct {
    const char* installed;
    std::string row;
    int rc;
  } cases[] = {
      {"Brevan", "FAIL  " + unreadable + ": every page of every site is refused", 1},
      {"Other", "WARN  " + unreadable + ". To do: set EnableGatehouse", 0},
  };
  for (const auto& c : cases) {
    config_.Write("[Path]\n");
    config_.Admin(c.installed);
    config_.registry.SetString(support::texts::kConfigKeyPath, "EnableGatehouse", "1");
    const kestra_test::Result r = kestra_test::Kestra({"doctor"});
    EXPECT_EQ(r.rc, c.rc) << r.out;
    EXPECT_NE(r.out.find(c.row), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FAIL") == std::string::npos, c.rc == 0) << r.out;
  }
  std::filesystem::remove(dir_ + "/WebSite.ini");
  const std::string shown = Show(Rows());
  EXPECT_NE(shown.find("WARN  access configuration: WebSite.ini not found in " + dir_),
            std::string::npos)
      << shown;
  EXPECT_EQ(shown.find("FAIL"), std::string::npos) << shown;
}

}  // namespace
