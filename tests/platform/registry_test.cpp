// The registry interface's portable half: root names, the case-blind comparison names
// go through, the REGEDIT4 parser, the in-memory registry and, on POSIX, the store that
// OpenSystemRegistry reads. The system registry behind the same interface is held to
// the registrar's and the support library's suites under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/mbcs.h"
#include "platform/memory_registry.h"
#include "platform/reg_file.h"
#include "platform/registry.h"
#include "registry_support.h"
#include "testbed.h"

namespace {

using platform::MemoryRegistry;
using platform::RegFile;
using platform::RegRoot;
using platform::RegRootForms;
using platform::RegValue;
using platform::RegView;
namespace syserr = platform::syserr;

constexpr RegRoot kLM = RegRoot::kLocalMachine;

std::vector<unsigned char> Bytes(std::initializer_list<int> b) {
  std::vector<unsigned char> v;
  for (int x : b) v.push_back(static_cast<unsigned char>(x));
  return v;
}

// What a registry call answered: 0, or the system's code of its failure.
template <class T>
int Code(const platform::Result<T>& result) {
  return result ? 0 : result.failure().code;
}

RegFile Parse(const std::string& text) {
  std::optional<RegFile> file = platform::ParseRegFile(text);
  EXPECT_TRUE(file) << text;
  return file.value_or(RegFile{});
}

TEST(RegistryNames, RootsByNameWithoutRegardToCase) {
  struct Case {
    const char* name;
    std::optional<RegRoot> long_only;
    std::optional<RegRoot> with_short;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", RegRoot::kClassesRoot, RegRoot::kClassesRoot},
      {"hkey_local_machine", kLM, kLM},
      {"Hkey_Dyn_Data", RegRoot::kDynData, RegRoot::kDynData},
      {"HKEY_CURRENT_CONFIG", RegRoot::kCurrentConfig, RegRoot::kCurrentConfig},
      {"HKLM", std::nullopt, kLM},
      {"hkcu", std::nullopt, RegRoot::kCurrentUser},
      {"HKU", std::nullopt, RegRoot::kUsers},
      {"", std::nullopt, std::nullopt},
      {"HKEY_LOCAL_MACHINE\\", std::nullopt, std::nullopt},
      {"HKEY_LOCAL_MACHINEX", std::nullopt, std::nullopt},
      {"HKL", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::FindRegRoot(c.name, RegRootForms::kLong), c.long_only) << c.name;
    EXPECT_EQ(platform::FindRegRoot(c.name, RegRootForms::kLongOrShort), c.with_short) << c.name;
  }
}

TEST(RegistryNames, CaseBlindComparisonOrdersAsItMatches) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"Software", "SOFTWARE", 0}, {"a", "B", -1},    {"B", "a", 1}, {"", "", 0},
      {"ab", "ABC", -1},           {"ABD", "abc", 1}, {"a", "", 1},
  };
  for (const Case& c : cases) {
    const int order = platform::CompareNoCase(c.a, c.b);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(platform::EqualNoCase(c.a, c.b), c.order == 0) << c.a << " / " << c.b;
  }
}

TEST(RegistryValues, TextAndNumber) {
  EXPECT_EQ(RegValue::String("ab").data, Bytes({'a', 'b', 0}));
  EXPECT_EQ(RegValue::Dword(0x01020304u).data, Bytes({4, 3, 2, 1}));
  EXPECT_EQ((RegValue{platform::kRegSz, Bytes({'x', 0, 'y'})}).Text(), "x");
  EXPECT_EQ((RegValue{platform::kRegSz, Bytes({'x', 'y'})}).Text(), "xy");
  EXPECT_EQ((RegValue{platform::kRegSz, {}}).Text(), "");
  EXPECT_EQ(RegValue::Dword(4294967295u).Number(), 4294967295u);
  EXPECT_EQ((RegValue{platform::kRegDword, Bytes({1, 0})}).Number(), std::nullopt);
  EXPECT_EQ((RegValue{platform::kRegDword, Bytes({1, 0, 0, 0, 0})}).Number(), std::nullopt);
}

TEST(RegistryFailures, CauseFollowsTheSystemCode) {
  using platform::Cause;
  struct Case {
    int code;
    Cause cause;
  } cases[] = {
      {syserr::kFileNotFound, Cause::kNotFound},
      {syserr::kPathNotFound, Cause::kNotFound},
      {syserr::kBadPathname, Cause::kInvalidInput},
      {syserr::kInvalidParameter, Cause::kInvalidInput},
      {syserr::kNotEnoughMemory, Cause::kNoMemory},
      {syserr::kAccessDenied, Cause::kSystem},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::RegFailure(c.code), (platform::Failure{c.cause, c.code})) << c.code;
  }
}

TEST(RegFile, ValueNotations) {
  RegFile file = Parse(
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick]\r\n"
      "\"InstallationPath\"=\"C:\\\\Gate \\\"house\\\"\"\r\n"
      "\"EnableGatehouse\"=dword:00010001\r\n"
      "@=\"default\"\r\n"
      "\"Bin\"=hex:01,ff, 0A\r\n"
      "\"Expand\"=hex(2):25,00\r\n"
      "\"Cont\"=hex:01,02,\\\r\n"
      "  03\r\n"
      "\"Short\"=dword:1\r\n");
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick");
  const auto& v = file.keys[0].values;
  ASSERT_EQ(v.size(), 7u);
  EXPECT_EQ(v[0].first, "InstallationPath");
  EXPECT_EQ(v[0].second, RegValue::String("C:\\Gate \"house\""));
  EXPECT_EQ(v[1].second, RegValue::Dword(0x00010001));
  EXPECT_EQ(v[2].first, "");
  EXPECT_EQ(v[3].second, (RegValue{platform::kRegBinary, Bytes({0x01, 0xff, 0x0a})}));
  EXPECT_EQ(v[4].second, (RegValue{platform::kRegExpandSz, Bytes({0x25, 0x00})}));
  EXPECT_EQ(v[5].second.data, Bytes({1, 2, 3}));
  EXPECT_EQ(v[6].second, RegValue::Dword(1));
}

TEST(RegFile, MalformedLinesAreSkipped) {
  RegFile file = Parse(
      "REGEDIT4\n"
      "\"Orphan\"=\"before any key\"\n"
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Good\"=\"yes\"\n"
      "\"Unclosed=\"x\"\n"
      "\"Nine\"=dword:123456789\n"
      "\"BadHex\"=hex:1g\n"
      "\"Trailing\"=\"x\" junk\n"
      "\"NoEquals\" \"x\"\n"
      "junk line\n"
      "[unclosed\n"
      "\"AfterBadKey\"=\"x\"\n"
      "; a comment\n");
  ASSERT_EQ(file.keys.size(), 1u);
  ASSERT_EQ(file.keys[0].values.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].first, "Good");
}

TEST(RegFile, LaterLinesReplaceAndDelete) {
  RegFile file = Parse(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"V\"=\"1\"\n"
      "\"W\"=\"1\"\n"
      "[hkey_local_machine\\a]\n"
      "\"v\"=\"2\"\n"
      "\"W\"=-\n"
      "[HKEY_LOCAL_MACHINE\\B\\C]\n"
      "\"X\"=\"1\"\n"
      "[-HKEY_LOCAL_MACHINE\\B]\n");
  ASSERT_EQ(file.keys.size(), 1u);
  ASSERT_EQ(file.keys[0].values.size(), 1u);
  EXPECT_EQ(file.keys[0].values[0].second, RegValue::String("2"));
}

TEST(RegFile, HeaderIsRequired) {
  EXPECT_FALSE(platform::ParseRegFile("[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"1\"\n"));
  EXPECT_FALSE(platform::ParseRegFile(""));
  EXPECT_TRUE(platform::ParseRegFile("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"));
  MemoryRegistry registry;
  EXPECT_FALSE(registry.Load("[HKEY_LOCAL_MACHINE\\A]\n"));
  EXPECT_EQ(testbed::Dump(registry), "");
}

// A loaded file: keys exist when they or a key below them are listed, under the root
// their long name gives; paths are taken as the system registry takes them.
TEST(MemoryRegistry, LoadedKeysAndPaths) {
  MemoryRegistry registry;
  ASSERT_TRUE(
      registry.Load("REGEDIT4\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\n\"V\"=\"x\"\n"
                    "[HKEY_LOCAL_MACHINE]\n\"Top\"=dword:00000002\n"
                    "[HKLM\\SOFTWARE\\Short]\n"
                    "[HKEY_NOWHERE\\X]\n"));
  struct Case {
    const char* path;
    int rc;
  } cases[] = {
      {"SOFTWARE\\A\\B", 0},
      {"software\\a", 0},
      {"SOFTWARE\\A\\B\\", 0},
      {"SOFTWARE\\\\A", 0},
      {"", 0},
      {"SOFTWARE\\A\\BC", syserr::kFileNotFound},
      {"SOFTWARE\\A\\B\\C", syserr::kFileNotFound},
      {"SOFTWARE\\Short", syserr::kFileNotFound},
      {"\\SOFTWARE\\A", syserr::kBadPathname},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Code(registry.OpenKey(kLM, c.path, RegView::k32)), c.rc) << c.path;
  const auto value = registry.QueryValue(kLM, "software\\A\\b", "v", RegView::kOwn);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, RegValue::String("x"));
  const auto top = registry.QueryValue(kLM, "", "Top", RegView::kOwn);
  ASSERT_TRUE(top);
  EXPECT_EQ(*top, RegValue::Dword(2));
  const platform::Failure missing{platform::Cause::kNotFound, syserr::kFileNotFound};
  EXPECT_EQ(registry.QueryValue(kLM, "SOFTWARE\\A", "V", RegView::kOwn).failure(), missing);
  EXPECT_EQ(registry.QueryValue(kLM, "SOFTWARE\\Absent", "V", RegView::kOwn).failure(), missing);
  EXPECT_EQ(Code(registry.OpenKey(RegRoot::kCurrentUser, "SOFTWARE", RegView::kOwn)),
            syserr::kFileNotFound);
}

TEST(MemoryRegistry, WritesKeepTheFirstSpellingAndRefuseWhatTheSystemRefuses) {
  MemoryRegistry registry;
  ASSERT_TRUE(registry.CreateKey(kLM, "Software\\Vendor\\"));
  ASSERT_TRUE(registry.SetValue(kLM, "SOFTWARE\\VENDOR", "Name", RegValue::String("one")));
  ASSERT_TRUE(registry.SetValue(kLM, "software\\vendor", "NAME", RegValue::String("two")));
  EXPECT_EQ(testbed::Dump(registry),
            "HKLM\\Software\nHKLM\\Software\\Vendor\nHKLM\\Software\\Vendor "
            "Name = s 'two'\n");
  EXPECT_EQ(Code(registry.CreateKey(kLM, "\\Other")), syserr::kBadPathname);
  EXPECT_EQ(Code(registry.SetValue(kLM, "Absent", "x", RegValue::Dword(1))), syserr::kFileNotFound);
  EXPECT_EQ(Code(registry.DeleteKey(kLM, "Software")), syserr::kAccessDenied);  // has a subkey
  EXPECT_EQ(Code(registry.DeleteKey(kLM, "")), syserr::kAccessDenied);
  EXPECT_EQ(Code(registry.DeleteValue(kLM, "Software\\Vendor", "Other")), syserr::kFileNotFound);
  EXPECT_EQ(Code(registry.DeleteKey(kLM, "software\\VENDOR")), 0);
  EXPECT_EQ(Code(registry.DeleteKey(kLM, "Software\\Vendor")), syserr::kFileNotFound);
  const auto names = registry.ListSubkeys(kLM, "");
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"Software"});
}

#ifndef _WIN32
// The POSIX store is read afresh by every OpenSystemRegistry; a missing file is an
// empty registry.
TEST(RegistryStore, ReadsTheFileAtEveryOpen) {
  const std::string file = testbed::ScratchDir("platform-regstore") + "/store.reg";
  setenv("KESTRA_REGISTRY_FILE", file.c_str(), 1);
  EXPECT_EQ(Code(platform::OpenSystemRegistry()->OpenKey(kLM, "SOFTWARE\\A", RegView::k32)),
            syserr::kFileNotFound);
  std::ofstream(file) << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"V\"=\"x\"\n";
  const auto registry = platform::OpenSystemRegistry();
  std::ofstream(file) << "REGEDIT4\n";
  const auto value = registry->QueryValue(kLM, "SOFTWARE\\A", "V", RegView::k64);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, RegValue::String("x"));
  EXPECT_EQ(Code(platform::OpenSystemRegistry()->OpenKey(kLM, "SOFTWARE\\A", RegView::kOwn)),
            syserr::kFileNotFound);
  unsetenv("KESTRA_REGISTRY_FILE");
  EXPECT_EQ(platform::RegistryFilePath(), "/etc/kestra/registry.reg");
  setenv("KESTRA_REGISTRY_FILE", "", 1);
  EXPECT_EQ(platform::RegistryFilePath(), "/etc/kestra/registry.reg");
  unsetenv("KESTRA_REGISTRY_FILE");
}
#endif

}  // namespace
