// The POSIX profile reader behind platform/profile.h: the INI text it parses and the
// answers it gives, beyond the cases the support suite holds both platforms to.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/profile.h"
#include "testbed.h"

namespace {

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
  std::string dir = testbed::ScratchDir("platform-profile");
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

// One decision's steps share a ProfileFile: the file is read at the first question and
// not again, and the next decision's ProfileFile sees the file as it is then.
TEST(IniFile, ProfileFileReadsItsFileOnce) {
  std::string file = testbed::ScratchDir("platform-profile-file") + "/p.ini";
  std::ofstream(file) << "[S]\nk=before\n";
  char buffer[64];
  platform::ProfileFile first(file);
  ASSERT_EQ(first.String("S", "k", buffer, sizeof buffer), 6u);
  std::ofstream(file) << "[S]\nk=after\nl=1\n";
  EXPECT_EQ(first.String("S", "k", buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "before");
  EXPECT_EQ(first.Section("S", buffer, sizeof buffer), 9u);  // "k=before" and its NUL
  platform::ProfileFile next(file);
  EXPECT_EQ(next.String("S", "k", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "after");
  platform::ProfileFile missing(file + ".absent");
  EXPECT_EQ(missing.String("S", "k", buffer, sizeof buffer), 0u);
  EXPECT_EQ(missing.Section("S", buffer, sizeof buffer), 0u);
}
