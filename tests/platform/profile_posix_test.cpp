// The POSIX profile reader behind platform/profile.h: the INI text it parses and the
// answers it gives, beyond the cases the support suite holds both platforms to.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

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
  std::string file = testbed::ScratchDir("platform-profile") + "/p.ini";
  std::ofstream(file) << "[S]\nq=\"quoted\"\nsq='x'\nhalf=\"open\nbare\n;c=1\nk=first\nk=second\n"
                         "[S]\nlater=1\n";
  platform::ProfileFile profile(file);
  for (auto [key, value] : {std::pair{"q", "quoted"},
                            {"sq", "x"},
                            {"half", "\"open"},
                            {"bare", ""},
                            {"k", "first"},
                            {"later", ""}}) {  // only the first section of a name counts
    EXPECT_EQ(profile.String(" s ", key), value) << key;
  }
  EXPECT_EQ(profile.Section("S"), std::vector<std::string>({"q=\"quoted\"", "sq='x'", "half=\"open",
                                                            "bare", "k=first", "k=second"}));
  EXPECT_TRUE(profile.Section("T").empty());
}

}  // namespace

// One decision's steps share a ProfileFile: the file is read at the first question and
// not again, and the next decision's ProfileFile sees the file as it is then.
TEST(IniFile, ProfileFileReadsItsFileOnce) {
  std::string file = testbed::ScratchDir("platform-profile-file") + "/p.ini";
  std::ofstream(file) << "[S]\nk=before\n";
  platform::ProfileFile first(file);
  ASSERT_EQ(first.String("S", "k"), "before");
  std::ofstream(file) << "[S]\nk=after\nl=1\n";
  EXPECT_EQ(first.String("S", "k"), "before");
  EXPECT_EQ(first.Section("S"), std::vector<std::string>({"k=before"}));
  platform::ProfileFile next(file);
  EXPECT_EQ(next.String("S", "k"), "after");
  platform::ProfileFile missing(file + ".absent");
  EXPECT_EQ(missing.String("S", "k"), "");
  EXPECT_TRUE(missing.Section("S").empty());
}
