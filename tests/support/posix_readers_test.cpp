// The POSIX stand-ins for the registry and the profile functions: the file formats
// they read, beyond the cases the shared suite holds them to.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/errors.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "testbed.h"

namespace {

using platform::RegFileKey;

std::vector<RegFileKey> Parse(const std::string& text, std::size_t* skipped = nullptr) {
  std::vector<RegFileKey> keys;
  EXPECT_TRUE(platform::ParseRegFile(text, &keys, skipped)) << text;
  return keys;
}

std::vector<unsigned char> Bytes(std::initializer_list<int> b) {
  std::vector<unsigned char> v;
  for (int x : b) v.push_back(static_cast<unsigned char>(x));
  return v;
}

TEST(RegFile, ValueNotations) {
  auto keys = Parse(
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
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick");
  const auto& v = keys[0].values;
  ASSERT_EQ(v.size(), 7u);
  std::string path = "C:\\Gate \"house\"";
  std::vector<unsigned char> sz(path.begin(), path.end());
  sz.push_back(0);
  EXPECT_EQ(v[0].first, "InstallationPath");
  EXPECT_EQ(v[0].second.type, platform::kRegSz);
  EXPECT_EQ(v[0].second.data, sz);
  EXPECT_EQ(v[1].second.type, platform::kRegDword);
  EXPECT_EQ(v[1].second.data, Bytes({0x01, 0x00, 0x01, 0x00}));
  EXPECT_EQ(v[2].first, "");
  EXPECT_EQ(v[3].second.type, platform::kRegBinary);
  EXPECT_EQ(v[3].second.data, Bytes({0x01, 0xff, 0x0a}));
  EXPECT_EQ(v[4].second.type, platform::kRegExpandSz);
  EXPECT_EQ(v[4].second.data, Bytes({0x25, 0x00}));
  EXPECT_EQ(v[5].second.data, Bytes({1, 2, 3}));
  EXPECT_EQ(v[6].second.data, Bytes({1, 0, 0, 0}));
}

TEST(RegFile, MalformedLinesAreSkippedAndCounted) {
  std::size_t skipped = 0;
  auto keys = Parse(
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
      "; a comment\n",
      &skipped);
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].first, "Good");
  EXPECT_EQ(skipped, 9u);
}

TEST(RegFile, LaterLinesReplaceAndDelete) {
  auto keys = Parse(
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
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].second.data, Bytes({'2', 0}));
}

TEST(RegFile, HeaderIsRequired) {
  std::vector<RegFileKey> keys;
  EXPECT_FALSE(platform::ParseRegFile("[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"1\"\n", &keys));
  EXPECT_TRUE(keys.empty());
  EXPECT_FALSE(platform::ParseRegFile("", &keys));
  EXPECT_TRUE(platform::ParseRegFile("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n", &keys));
}

TEST(RegStore, KeysExistWhenListedOrBelowAListedKey) {
  std::string dir = testbed::ScratchDir("support-regstore");
  std::string file = dir + "/store.reg";
  std::ofstream(file) << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\n\"V\"=\"x\"\n";
  setenv("KESTRA_REGISTRY_FILE", file.c_str(), 1);
  const platform::RegKey hklm = platform::PredefinedRegKey(0x80000002u);
  struct Case {
    const char* subkey;
    int rc;
  } cases[] = {{"SOFTWARE\\A\\B", 0},
               {"software\\a", 0},
               {"SOFTWARE\\A\\B\\", 0},
               {"", 0},
               {"SOFTWARE\\A\\BC", platform::syserr::kFileNotFound},
               {"SOFTWARE\\A\\B\\C", platform::syserr::kFileNotFound},
               {"\\SOFTWARE\\A", platform::syserr::kBadPathname}};
  for (const Case& c : cases) {
    platform::RegKey key = platform::kNullRegKey;
    EXPECT_EQ(platform::RegOpenForRead(hklm, c.subkey, &key), c.rc) << c.subkey;
    EXPECT_EQ(key == platform::kNullRegKey, c.rc != 0) << c.subkey;
    platform::RegClose(key);
  }
  platform::RegKey key = platform::kNullRegKey;
  ASSERT_EQ(platform::RegOpenForRead(hklm, "SOFTWARE\\A\\B", &key), 0);
  // A too-small buffer gets the size needed and kMoreData.
  char small[1];
  std::uint32_t type = 0;
  std::uint32_t size = sizeof small;
  EXPECT_EQ(platform::RegQueryValueData(key, "V", &type, small, &size),
            platform::syserr::kMoreData);
  EXPECT_EQ(size, 2u);
  platform::RegClose(key);
  // A closed handle is no handle.
  EXPECT_EQ(platform::RegQueryValueInfo(key, "V", &type, &size), platform::syserr::kInvalidHandle);
  EXPECT_EQ(platform::RegOpenForRead(platform::PredefinedRegKey(0x80000007u), "", &key),
            platform::syserr::kInvalidHandle);

  setenv("KESTRA_REGISTRY_FILE", (dir + "/absent.reg").c_str(), 1);
  EXPECT_EQ(platform::RegOpenForRead(hklm, "SOFTWARE\\A", &key), platform::syserr::kFileNotFound);
  unsetenv("KESTRA_REGISTRY_FILE");
  EXPECT_EQ(platform::RegistryFilePath(), "/etc/kestra/registry.reg");
}

TEST(IniFile, ParsesSectionsEntriesAndOddLines) {
  auto sections = platform::ParseIni(
      "\xEF\xBB\xBF"
      "top=1\r\n"
      "[ A ]\r\n"
      "; comment=x\r\n"
      "\r\n"
      "  k  =  v = w  \r\n"
      "bare\r\n"
      "[B]junk\r\n"
      "nul=ab" +
      std::string(1, '\0') +
      "cd\n"
      "[no close\n");
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].name, "");
  EXPECT_EQ(sections[1].name, " A ");
  ASSERT_EQ(sections[1].entries.size(), 3u);
  EXPECT_EQ(sections[1].entries[0].key, "; comment");
  EXPECT_EQ(sections[1].entries[1].key, "k");
  EXPECT_EQ(sections[1].entries[1].value, "v = w");
  EXPECT_FALSE(sections[1].entries[2].has_value);
  EXPECT_EQ(sections[2].name, "B");
  ASSERT_EQ(sections[2].entries.size(), 2u);
  EXPECT_EQ(sections[2].entries[0].value, "ab");
  EXPECT_EQ(sections[2].entries[1].key, "[no close");
}

TEST(IniFile, ProfileAnswersLikeTheSystemFunctions) {
  std::string dir = testbed::ScratchDir("support-profile");
  std::string file = dir + "/p.ini";
  std::ofstream(file) << "[S]\nq=\"quoted\"\nsq='x'\nhalf=\"open\nbare\n;c=1\nk=first\nk=second\n"
                         "[S]\nlater=1\n";
  char buffer[64];
  auto value = [&](const char* key) {
    std::memset(buffer, 'z', sizeof buffer);
    std::uint32_t n = platform::ProfileString("S", key, buffer, sizeof buffer, file);
    return std::string(buffer, n);
  };
  EXPECT_EQ(value("q"), "quoted");
  EXPECT_EQ(value("sq"), "x");
  EXPECT_EQ(value("half"), "\"open");
  EXPECT_EQ(value("bare"), "");
  EXPECT_EQ(value("k"), "first");
  EXPECT_EQ(value("later"), "");  // only the first section of a name counts
  // Truncation: size - 1 bytes and a NUL.
  EXPECT_EQ(platform::ProfileString("S", "k", buffer, 4, file), 3u);
  EXPECT_STREQ(buffer, "fir");
  // A section that does not fit: size - 2 and two NULs.
  EXPECT_EQ(platform::ProfileSection("S", buffer, 8, file), 6u);
  EXPECT_EQ(buffer[6], '\0');
  EXPECT_EQ(buffer[7], '\0');
  std::uint32_t n = platform::ProfileSection("S", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, n),
            std::string("q=\"quoted\"\0sq='x'\0half=\"open\0bare\0k=first\0k=second\0", 51));
  EXPECT_EQ(platform::ProfileSection("S", buffer, 2, file), 0u);
}

}  // namespace
