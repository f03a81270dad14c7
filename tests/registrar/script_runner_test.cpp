// Running registry scripts: the three classes' own scripts and small ones for each
// rule, against the in-memory registry (registration_test.cpp holds the system
// registry to the same rules through regsvr32).
#include "script_runner.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/memory_registry.h"
#include "registry_scripts.h"
#include "registry_support.h"

namespace registrar {
namespace {

using platform::MemoryRegistry;
using platform::Registry;
using platform::RegRoot;
using platform::RegValue;

constexpr RegRoot kCR = RegRoot::kClassesRoot;
constexpr RegRoot kCU = RegRoot::kCurrentUser;
constexpr int kAccessDenied = platform::syserr::kAccessDenied;
constexpr HResult kAccessDeniedResult = static_cast<HResult>(0x80070005u);  // E_ACCESSDENIED
const char* const kModule = "C:\\Program Files\\Kestra\\x64\\Kestra.dll";
const char* const kClasses[] = {"Lookup", "List", "ListEntries"};
// Where the generic tests write: HKCU\<kTestKey>.
const char* const kTestKey = "KestraRegistrarTest";

std::string Braced(const char* guid) {
  return "{" + std::string(guid) + "}";
}
std::string ClassKey(const char* guid) {
  return "CLSID\\" + Braced(guid);
}

HResult RunClassScripts(Registry* registry, Mode mode, const std::string& module_path) {
  for (const char* name : kClasses) {
    const std::optional<std::string> text = ReadRegistryScript(name);
    if (!text) return kFail;
    const HResult hr = RunScript(*text, Replacements::ForModule(module_path), mode, registry);
    if (Failed(hr)) return hr;
  }
  return kOk;
}

class ScriptRunnerTest : public testing::Test {
 protected:
  Registry* registry() { return &registry_; }
  HResult Run(const std::string& text, Mode mode) {
    return RunScript(text, Replacements::ForModule(kModule), mode, registry());
  }
  std::optional<RegValue> Get(RegRoot root, const std::string& path, const std::string& name = {}) {
    const auto value = registry_.QueryValue(root, path, name, platform::RegView::kOwn);
    if (!value) return {};
    return *value;
  }
  bool Has(RegRoot root, const std::string& path) {
    return registry_.OpenKey(root, path, platform::RegView::kOwn).ok();
  }
  static RegValue S(const std::string& text) { return RegValue::String(text); }

  testbed::FailingRegistry registry_;
};

TEST_F(ScriptRunnerTest, RegistersTheLookupClass) {
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);

  // Brevan.MX -> CurVer -> Brevan.MX.1 -> the class.
  EXPECT_EQ(Get(kCR, "Brevan.MX"), S("Lookup Class"));
  const auto cur_ver = Get(kCR, "Brevan.MX\\CurVer");
  ASSERT_TRUE(cur_ver);
  EXPECT_EQ(cur_ver->Text(), "Brevan.MX.1");
  EXPECT_EQ(Get(kCR, cur_ver->Text()), S("Lookup Class"));
  const auto clsid = Get(kCR, cur_ver->Text() + "\\CLSID");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(clsid->Text(), Braced(kClsidLookup));
  EXPECT_EQ(Get(kCR, "Brevan.MX\\CLSID"), clsid);

  const std::string key = "CLSID\\" + clsid->Text();
  EXPECT_EQ(Get(kCR, key), S("Lookup Class"));
  EXPECT_EQ(Get(kCR, key + "\\ProgID"), S("Brevan.MX.1"));
  EXPECT_EQ(Get(kCR, key + "\\VersionIndependentProgID"), S("Brevan.MX"));
  EXPECT_TRUE(Has(kCR, key + "\\Programmable"));
  EXPECT_FALSE(Get(kCR, key + "\\Programmable"));
  EXPECT_EQ(Get(kCR, key + "\\InprocServer32"), S(kModule));
  EXPECT_EQ(Get(kCR, key + "\\InprocServer32", "ThreadingModel"), S("Apartment"));
  EXPECT_EQ(Get(kCR, key + "\\TypeLib"), S(Braced(kLibid)));

  // The collections carry the module's own prefix.
  EXPECT_EQ(Get(kCR, "Kestra.List\\CurVer"), S("Kestra.List.1"));
  EXPECT_EQ(Get(kCR, "Kestra.List.1\\CLSID"), S(Braced(kClsidList)));
  EXPECT_EQ(Get(kCR, "Kestra.ListEntries\\CLSID"), S(Braced(kClsidListEntries)));
  EXPECT_EQ(Get(kCR, ClassKey(kClsidListEntries) + "\\InprocServer32", "ThreadingModel"),
            S("Apartment"));
}

TEST_F(ScriptRunnerTest, UnregisteringRemovesEverythingButTheClsidKey) {
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  ASSERT_EQ(RunClassScripts(registry(), Mode::kUnregister, kModule), kOk);
  for (const char* progid : {"Brevan.MX", "Brevan.MX.1", "Kestra.List", "Kestra.List.1",
                             "Kestra.ListEntries", "Kestra.ListEntries.1"}) {
    EXPECT_FALSE(Has(kCR, progid)) << progid;
  }
  for (const char* clsid : {kClsidLookup, kClsidList, kClsidListEntries}) {
    EXPECT_FALSE(Has(kCR, ClassKey(clsid))) << clsid;
  }
  EXPECT_TRUE(Has(kCR, "CLSID"));
  // A second unregistration finds nothing and still succeeds.
  EXPECT_EQ(RunClassScripts(registry(), Mode::kUnregister, kModule), kOk);
}

TEST_F(ScriptRunnerTest, UnregisteringWhatWasNeverRegisteredSucceeds) {
  EXPECT_EQ(RunClassScripts(registry(), Mode::kUnregister, kModule), kOk);
  EXPECT_FALSE(Has(kCR, "Brevan.MX"));
  EXPECT_FALSE(Has(kCR, ClassKey(kClsidLookup)));
}

TEST_F(ScriptRunnerTest, StaleClassKeyIsReplacedWhole) {
  const std::string key = ClassKey(kClsidLookup);
  ASSERT_TRUE(registry()->CreateKey(kCR, key + "\\LocalServer32\\Old"));
  ASSERT_TRUE(registry()->CreateKey(kCR, key + "\\InprocServer32"));
  ASSERT_TRUE(registry()->SetValue(kCR, key, "Stale", S("1")));
  ASSERT_TRUE(registry()->SetValue(kCR, key + "\\InprocServer32", "ThreadingModel", S("Both")));
  ASSERT_TRUE(registry()->SetValue(kCR, key + "\\InprocServer32", "Old", S("x")));

  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  EXPECT_FALSE(Has(kCR, key + "\\LocalServer32"));
  EXPECT_FALSE(Get(kCR, key, "Stale"));
  EXPECT_FALSE(Get(kCR, key + "\\InprocServer32", "Old"));
  EXPECT_EQ(Get(kCR, key + "\\InprocServer32", "ThreadingModel"), S("Apartment"));
  EXPECT_EQ(Get(kCR, key + "\\InprocServer32"), S(kModule));
}

TEST_F(ScriptRunnerTest, ForeignSubkeySurvivesUnregistration) {
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  const std::string key = ClassKey(kClsidLookup);
  ASSERT_TRUE(registry()->CreateKey(kCR, key + "\\Implemented Categories"));
  ASSERT_TRUE(registry()->SetValue(kCR, key + "\\Implemented Categories", "Theirs", S("yes")));

  ASSERT_EQ(RunClassScripts(registry(), Mode::kUnregister, kModule), kOk);
  EXPECT_TRUE(Has(kCR, key));
  EXPECT_EQ(Get(kCR, key + "\\Implemented Categories", "Theirs"), S("yes"));
  for (const char* ours :
       {"ProgID", "VersionIndependentProgID", "Programmable", "InprocServer32", "TypeLib"}) {
    EXPECT_FALSE(Has(kCR, key + "\\" + ours)) << ours;
  }
  EXPECT_FALSE(Has(kCR, "Brevan.MX"));
  EXPECT_FALSE(Has(kCR, ClassKey(kClsidList)));
}

TEST_F(ScriptRunnerTest, LibraryPathWithQuotesIsWrittenAsItIs) {
  for (const std::string path :
       {"C:\\Bob's Components\\Kestra.dll", "C:\\''\\x'\\Kestra.dll", "C:\\100%\\Kestra.dll"}) {
    ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, path), kOk) << path;
    EXPECT_EQ(Get(kCR, ClassKey(kClsidLookup) + "\\InprocServer32"), S(path));
    EXPECT_EQ(Get(kCR, ClassKey(kClsidList) + "\\InprocServer32"), S(path));
  }
}

TEST_F(ScriptRunnerTest, ForceRemoveSparesTheSharedKeys) {
  const char* shared[] = {"AppID",    "CLSID",     "Component Categories",
                          "FileType", "Interface", "Hardware",
                          "Mime",     "SAM",       "SECURITY",
                          "SYSTEM",   "Software",  "TypeLib",
                          "clsid",    "INTERFACE"};
  for (const char* name : shared) {
    const std::string base = std::string(kTestKey) + "\\" + name;
    ASSERT_TRUE(registry()->CreateKey(kCU, base + "\\Other")) << name;
    const std::string script = std::string("HKCU { NoRemove ") + kTestKey + " { ForceRemove '" +
                               name + "' = s 'v' { Mine } Delete '" + name + "' } }";
    ASSERT_EQ(Run(script, Mode::kRegister), kOk) << name;
    EXPECT_TRUE(Has(kCU, base + "\\Other")) << name;
    EXPECT_TRUE(Has(kCU, base + "\\Mine")) << name;
    EXPECT_EQ(Get(kCU, base), S("v")) << name;
  }
  // Any other name goes whole.
  const std::string other = std::string(kTestKey) + "\\CLSIDs";
  ASSERT_TRUE(registry()->CreateKey(kCU, other + "\\Other\\Deeper"));
  ASSERT_EQ(Run(std::string("HKCU { ") + kTestKey + " { ForceRemove CLSIDs { Mine } } }",
                Mode::kRegister),
            kOk);
  EXPECT_FALSE(Has(kCU, other + "\\Other"));
  EXPECT_TRUE(Has(kCU, other + "\\Mine"));
}

TEST_F(ScriptRunnerTest, UnregisterKeepsNoRemoveAndUnlistedSubkeys) {
  const std::string t = kTestKey;
  const std::string script = "HKCU { NoRemove " + t +
                             " { A = s 'a' { val x = s '1' val y = d 2 B { C } } "
                             "NoRemove Kept { Gone } Missing { Deeper } val Top = s 't' "
                             "Delete D } }";
  ASSERT_EQ(Run(script, Mode::kRegister), kOk);
  EXPECT_EQ(Get(kCU, t + "\\A", "y"), RegValue::Dword(2));
  EXPECT_EQ(Get(kCU, t, "Top"), S("t"));
  ASSERT_TRUE(registry()->DeleteKey(kCU, t + "\\Missing\\Deeper"));
  ASSERT_TRUE(registry()->DeleteKey(kCU, t + "\\Missing"));
  ASSERT_TRUE(registry()->SetValue(kCU, t + "\\A\\B", "unlisted value", S("v")));
  ASSERT_TRUE(registry()->CreateKey(kCU, t + "\\D"));  // Delete acts on registration only

  ASSERT_EQ(Run(script, Mode::kUnregister), kOk);
  EXPECT_FALSE(Has(kCU, t + "\\A"));  // unlisted values do not keep a key
  EXPECT_TRUE(Has(kCU, t + "\\Kept"));
  EXPECT_FALSE(Has(kCU, t + "\\Kept\\Gone"));
  EXPECT_FALSE(Get(kCU, t, "Top"));
  EXPECT_TRUE(Has(kCU, t + "\\D"));
  EXPECT_TRUE(Has(kCU, t));
}

TEST_F(ScriptRunnerTest, DeleteRemovesATreeOnRegistration) {
  const std::string t = kTestKey;
  ASSERT_TRUE(registry()->CreateKey(kCU, t + "\\Old\\A\\B"));
  ASSERT_EQ(Run("HKCU { " + t + " { Delete Old New } }", Mode::kRegister), kOk);
  EXPECT_FALSE(Has(kCU, t + "\\Old"));
  EXPECT_TRUE(Has(kCU, t + "\\New"));
}

TEST_F(ScriptRunnerTest, RegisteringTwiceGivesTheSameKeysAndUnregisteringLeavesTheClsidKey) {
  MemoryRegistry once;
  ASSERT_EQ(RunClassScripts(&once, Mode::kRegister, kModule), kOk);
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  EXPECT_EQ(testbed::Dump(once), testbed::Dump(registry_));
  EXPECT_NE(testbed::Dump(once).find("HKCR\\Brevan.MX\\CurVer @ = s 'Brevan.MX.1'\n"),
            std::string::npos);
  ASSERT_EQ(RunClassScripts(registry(), Mode::kUnregister, kModule), kOk);
  EXPECT_EQ(testbed::Dump(registry_), "HKCR\\CLSID\n");
}

TEST_F(ScriptRunnerTest, SyntaxErrorWritesNothing) {
  EXPECT_EQ(Run("HKCR { A { B } C = x 'bad' }", Mode::kRegister), kDispException);
  EXPECT_EQ(Run("HKCR { A = s '%NOPE%' }", Mode::kRegister), kDispException);
  EXPECT_EQ(testbed::Dump(registry_), "");
}

TEST(ScriptRunnerFailures, ARegistryFailureEndsTheRun) {
  using Op = testbed::FailingRegistry::Operation;
  const std::string cls = ClassKey(kClsidLookup);
  struct Case {
    const char* what;
    Mode mode;
    Op op;
    std::string path;
    bool written_before;  // Brevan.MX.1 (written first) is there afterwards
    bool written_after;   // the Lookup class key (written last) is there afterwards
  } cases[] = {
      {"create a key", Mode::kRegister, Op::kCreateKey, "Brevan.MX", true, false},
      {"write a value", Mode::kRegister, Op::kSetValue, cls + "\\InprocServer32", true, true},
      {"open a key", Mode::kUnregister, Op::kOpenKey, "Brevan.MX", false, true},
      {"list subkeys", Mode::kUnregister, Op::kListSubkeys, cls + "\\InprocServer32", false, true},
      {"delete a key", Mode::kUnregister, Op::kDeleteKey, "Brevan.MX\\CurVer", false, true},
      {"delete a value", Mode::kUnregister, Op::kDeleteValue, cls + "\\InprocServer32", false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testbed::FailingRegistry registry;
    if (c.mode == Mode::kUnregister) {
      ASSERT_EQ(RunClassScripts(&registry, Mode::kRegister, kModule), kOk);
    }
    registry.Fail(c.op, c.path, kAccessDenied);
    EXPECT_EQ(RunClassScripts(&registry, c.mode, kModule), kAccessDeniedResult);
    // Read past the failures picked.
    const auto has = [&](const std::string& path) {
      return registry.MemoryRegistry::OpenKey(kCR, path, platform::RegView::kOwn).ok();
    };
    EXPECT_EQ(has("Brevan.MX.1"), c.written_before);
    EXPECT_EQ(has(cls), c.written_after);
    EXPECT_EQ(has(ClassKey(kClsidList)), c.mode == Mode::kUnregister) << "the later scripts ran";
  }
}

TEST_F(ScriptRunnerTest, FailedForceRemoveIsWrittenOver) {
  const std::string cls = ClassKey(kClsidLookup);
  ASSERT_TRUE(registry_.CreateKey(kCR, cls + "\\Old"));
  ASSERT_TRUE(registry_.SetValue(kCR, cls, "Stale", S("1")));
  registry_.Fail(testbed::FailingRegistry::Operation::kDeleteKey, cls, kAccessDenied);
  ASSERT_EQ(RunClassScripts(registry(), Mode::kRegister, kModule), kOk);
  EXPECT_EQ(Get(kCR, cls + "\\InprocServer32"), S(kModule));
  // Its subkeys went before the key itself refused to go; its values stay.
  EXPECT_FALSE(Has(kCR, cls + "\\Old"));
  EXPECT_EQ(Get(kCR, cls, "Stale"), S("1"));
}

}  // namespace
}  // namespace registrar
