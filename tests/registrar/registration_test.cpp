// Kestra.dll registered and unregistered by regsvr32 in the Wine prefix, the keys read
// back from the system registry; and the resources registration reads from the file.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "registry_scripts.h"
#include "testbed.h"

namespace registrar {
namespace {

// The built library as this program opens it (a Z: path under Wine).
std::string DllPath() {
  std::string path = KESTRA_DLL_PATH;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
  return path;
}

std::string Braced(const char* guid) {
  return "{" + std::string(guid) + "}";
}
std::string ClassKey(const char* guid) {
  return "CLSID\\" + Braced(guid);
}

const char* const kProgIds[] = {"Brevan.MX",     "Brevan.MX.1",        "Kestra.List",
                                "Kestra.List.1", "Kestra.ListEntries", "Kestra.ListEntries.1"};
const char* const kClsids[] = {kClsidLookup, kClsidList, kClsidListEntries};

#ifdef _WIN64
const char* const kTypeLibPlatform = "win64";
#else
const char* const kTypeLibPlatform = "win32";
#endif

// Runs regsvr32 silently on `dll` and returns its exit code (-1 if it could not run or
// did not end within a minute).
int Regsvr32(const std::string& dll, bool unregister) {
  std::string command =
      std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + dll + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

bool HasKey(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::optional<std::string> Text(const std::string& path, const char* name = nullptr) {
  char buffer[2048];
  DWORD size = sizeof buffer;
  if (RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(buffer);
}

void Clear() {
  for (const char* progid : kProgIds) RegDeleteTreeA(HKEY_CLASSES_ROOT, progid);
  for (const char* clsid : kClsids) RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str());
}

class Regsvr32Test : public testing::Test {
 protected:
  void SetUp() override { Clear(); }
  // The script suites that follow expect the built library to stay registered.
  static void TearDownTestSuite() { Regsvr32(DllPath(), false); }
};

TEST_F(Regsvr32Test, RegistersTheClassesAndTheTypeLibrary) {
  ASSERT_EQ(Regsvr32(DllPath(), false), 0);

  const auto cur_ver = Text("Brevan.MX\\CurVer");
  ASSERT_TRUE(cur_ver);
  EXPECT_EQ(*cur_ver, "Brevan.MX.1");
  const auto clsid = Text(*cur_ver + "\\CLSID");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(*clsid, Braced(kClsidLookup));
  EXPECT_EQ(Text("CLSID\\" + *clsid + "\\InprocServer32"), DllPath());
  EXPECT_EQ(Text("CLSID\\" + *clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Text("CLSID\\" + *clsid + "\\ProgID"), "Brevan.MX.1");
  EXPECT_TRUE(HasKey("CLSID\\" + *clsid + "\\Programmable"));
  for (const char* c : {kClsidList, kClsidListEntries}) {
    EXPECT_EQ(Text(ClassKey(c) + "\\InprocServer32"), DllPath());
    EXPECT_EQ(Text(ClassKey(c) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Text(ClassKey(c) + "\\TypeLib"), Braced(kLibid));
  }
  EXPECT_EQ(Text("Kestra.ListEntries\\CurVer"), "Kestra.ListEntries.1");

  // The type library and its interfaces, written by the platform's registration.
  const std::string lib = "TypeLib\\" + Braced(kLibid) + "\\1.0";
  EXPECT_EQ(Text(lib), "Kestra 1.0 Type Library");
  EXPECT_EQ(Text(lib + "\\0\\" + kTypeLibPlatform), DllPath());
  EXPECT_TRUE(HasKey("Interface\\" + Braced(KESTRA_IID_ILOOKUP)));
}

TEST_F(Regsvr32Test, UnregisteringRemovesItAllButTheClsidKey) {
  ASSERT_EQ(Regsvr32(DllPath(), false), 0);
  ASSERT_EQ(Regsvr32(DllPath(), true), 0);
  for (const char* progid : kProgIds) EXPECT_FALSE(HasKey(progid)) << progid;
  for (const char* clsid : kClsids) EXPECT_FALSE(HasKey(ClassKey(clsid))) << clsid;
  EXPECT_TRUE(HasKey("CLSID"));
  EXPECT_FALSE(HasKey("TypeLib\\" + Braced(kLibid)));
  EXPECT_FALSE(HasKey("Interface\\" + Braced(KESTRA_IID_ILOOKUP)));
}

TEST_F(Regsvr32Test, StaleClassKeyIsReplacedWhole) {
  const std::string key = ClassKey(kClsidLookup);
  HKEY stale;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (key + "\\LocalServer32").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, (key + "\\InprocServer32").c_str(), "ThreadingModel",
                            REG_SZ, "Free", 5),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), "AppID", REG_SZ, "{old}", 6),
            ERROR_SUCCESS);

  ASSERT_EQ(Regsvr32(DllPath(), false), 0);
  EXPECT_FALSE(HasKey(key + "\\LocalServer32"));
  EXPECT_FALSE(Text(key, "AppID"));
  EXPECT_EQ(Text(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Text(key + "\\InprocServer32"), DllPath());
}

TEST_F(Regsvr32Test, ForeignSubkeySurvivesUnregistration) {
  ASSERT_EQ(Regsvr32(DllPath(), false), 0);
  const std::string foreign =
      ClassKey(kClsidLookup) + "\\Implemented Categories\\{00000000-0000-0000-0000-000000000001}";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, foreign.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(Regsvr32(DllPath(), true), 0);
  EXPECT_TRUE(HasKey(foreign));
  EXPECT_FALSE(HasKey(ClassKey(kClsidLookup) + "\\InprocServer32"));
  EXPECT_FALSE(HasKey(ClassKey(kClsidLookup) + "\\ProgID"));
  EXPECT_FALSE(HasKey("Brevan.MX"));
  EXPECT_FALSE(HasKey(ClassKey(kClsidList)));
}

TEST_F(Regsvr32Test, PathWithAQuoteIsWrittenWithItOnce) {
  const std::string dir = testbed::ScratchDir("Bob's Components");
  const std::string copy = dir + "\\Kestra.dll";
  ASSERT_TRUE(CopyFileA(DllPath().c_str(), copy.c_str(), FALSE)) << copy;

  ASSERT_EQ(Regsvr32(copy, false), 0);
  for (const char* clsid : kClsids) {
    EXPECT_EQ(Text(ClassKey(clsid) + "\\InprocServer32"), copy);
  }
  EXPECT_EQ(Text("TypeLib\\" + Braced(kLibid) + "\\1.0\\0\\" + kTypeLibPlatform), copy);
  ASSERT_EQ(Regsvr32(copy, true), 0);
  EXPECT_FALSE(HasKey(ClassKey(kClsidLookup)));
}

// A copy of the library without its TYPELIB resource registers the type library from
// the .tlb file beside it; without that file, the scripts still run and the failure of
// the type-library step is what registration returns.
TEST_F(Regsvr32Test, TypeLibraryFallsBackToTheTlbFile) {
  const std::string dir = testbed::ScratchDir("typelib fallback");
  const std::string copy = dir + "\\Kestra.dll";
  ASSERT_TRUE(CopyFileA(DllPath().c_str(), copy.c_str(), FALSE)) << copy;
  // The copy keeps only the registry scripts of the original.
  HMODULE original = LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(original, nullptr);
  HANDLE update = BeginUpdateResourceA(copy.c_str(), TRUE);
  ASSERT_NE(update, nullptr);
  for (int id : {102, 103, 104}) {
    HRSRC found = FindResourceA(original, MAKEINTRESOURCEA(id), "REGISTRY");
    ASSERT_NE(found, nullptr);
    ASSERT_TRUE(UpdateResourceA(
        update, "REGISTRY", MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        LockResource(LoadResource(original, found)), SizeofResource(original, found)));
  }
  FreeLibrary(original);
  ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
  HMODULE data = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr);
  const bool removed = FindResourceA(data, MAKEINTRESOURCEA(1), "TYPELIB") == nullptr;
  const bool scripts_kept = FindResourceA(data, MAKEINTRESOURCEA(102), "REGISTRY") != nullptr;
  FreeLibrary(data);
  ASSERT_TRUE(removed);
  ASSERT_TRUE(scripts_kept);

  EXPECT_NE(Regsvr32(copy, false), 0);
  EXPECT_EQ(Text(ClassKey(kClsidListEntries) + "\\InprocServer32"), copy);

  std::string tlb = KESTRA_TLB_PATH;
  for (char& c : tlb) {
    if (c == '/') c = '\\';
  }
  ASSERT_TRUE(CopyFileA(("Z:" + tlb).c_str(), (dir + "\\Kestra.tlb").c_str(), FALSE));
  ASSERT_EQ(Regsvr32(copy, false), 0);
  EXPECT_EQ(Text("TypeLib\\" + Braced(kLibid) + "\\1.0\\0\\" + kTypeLibPlatform),
            dir + "\\Kestra.tlb");
  EXPECT_EQ(Regsvr32(copy, true), 0);
  EXPECT_FALSE(HasKey("TypeLib\\" + Braced(kLibid)));
}

// What registration reads from the file: the scripts, the type library, and the
// version block that tells installers the library registers itself.
class ResourcesTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << DllPath(); }

  static std::optional<std::string> Resource(const char* type, LPCSTR name) {
    HRSRC found =
        FindResourceExA(module_, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) return std::nullopt;
    HGLOBAL data = LoadResource(module_, found);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return std::nullopt;
    return std::string(static_cast<const char*>(bytes), SizeofResource(module_, found));
  }

  static HMODULE module_;
};
HMODULE ResourcesTest::module_ = nullptr;

TEST_F(ResourcesTest, RegistryScriptsAreTheGeneratedOnes) {
  const struct {
    int id;
    const char* name;
  } scripts[] = {{102, "Lookup"}, {103, "List"}, {104, "ListEntries"}};
  for (const auto& s : scripts) {
    const std::optional<std::string> expected = ReadRegistryScript(s.name);
    ASSERT_TRUE(expected) << s.name;
    EXPECT_EQ(Resource("REGISTRY", MAKEINTRESOURCEA(s.id)), *expected) << s.name;
  }
}

TEST_F(ResourcesTest, TypeLibraryStringAndManifest) {
  const auto typelib = Resource("TYPELIB", MAKEINTRESOURCEA(1));
  ASSERT_TRUE(typelib);
  EXPECT_EQ(typelib->substr(0, 4), "MSFT");

  char name[32] = {};
  EXPECT_EQ(LoadStringA(module_, 100, name, sizeof name), 6);
  EXPECT_STREQ(name, "Kestra");

  const auto manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2));
  ASSERT_TRUE(manifest);
  EXPECT_NE(manifest->find("<assembly"), std::string::npos);
  EXPECT_EQ(manifest->find("<dependency"), std::string::npos);
}

TEST_F(ResourcesTest, VersionBlock) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(DllPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(DllPath().c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

  const struct {
    const char* name;
    const char* value;
  } strings[] = {
      {"FileDescription", "Brevan Module"},
      {"FileVersion", "1.0"},
      {"InternalName", "Brevan"},
      {"OriginalFilename", "Brevan.DLL"},
      {"ProductName", "Brevan Module"},
      {"ProductVersion", "1.0"},
      {"OLESelfRegister", ""},
  };
  for (const auto& s : strings) {
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + s.name;
    char* text = nullptr;
    ASSERT_TRUE(
        VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
        << s.name;
    EXPECT_EQ(std::string(text, length ? length - 1 : 0), s.value) << s.name;
  }
}

}  // namespace
}  // namespace registrar
