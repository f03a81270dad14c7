// The sorted MX list: case-blind ordering, the order of names that compare equal, and
// the list the lookup fills from its second query.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collections/mx_list.h"
#include "lookup/lookup.h"
#include "testbed.h"

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(CompareTextNoCase, FoldsToLowerCaseAndComparesUnsigned) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"", "", 0},
      {"mail.example", "MAIL.Example", 0},
      {"a", "b", -1},
      {"B", "a", 1},
      {"ab", "abc", -1},
      {"abc", "AB", 1},
      // Folding to lower case puts '[' and '_' (0x5B, 0x5F) before letters; folding to
      // upper case would put them after.
      {"[", "a", -1},
      {"_mx", "A", -1},
      {"Z", "_", 1},
      // Bytes above 127 compare as unsigned values, after every ASCII letter.
      {"\xE9", "z", 1},
      {"mx\xC0", "mx\x7F", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(Sign(collections::CompareTextNoCase(c.a, c.b)), c.sign);
    EXPECT_EQ(Sign(collections::CompareTextNoCase(c.b, c.a)), -c.sign);
  }
}

using Strings = std::vector<std::string>;

// The list as "name/preference", in list order.
Strings Entries(const collections::CMXList& list) {
  Strings out;
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    out.push_back(list.GetEntry(i).m_strMX + "/" + list.GetEntry(i).m_strPreference);
  }
  return out;
}

std::vector<collections::CMXEntry> Records(
    const std::vector<std::pair<std::string, std::string>>& answer) {
  std::vector<collections::CMXEntry> out;
  for (const auto& [mx, preference] : answer) out.push_back(collections::CMXEntry{mx, preference});
  return out;
}

TEST(MxList, SortsByNameCaseBlindWithEqualNamesInReverseAnswerOrder) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> answer;  // in answer order
    Strings expected;
  };
  const Case cases[] = {
      {"names equal but for case come out in reverse answer order",
       {{"b", "10"}, {"A", "20"}, {"a", "30"}},
       {"a/30", "A/20", "b/10"}},
      {"preferences play no part", {{"mx2.x", "5"}, {"mx1.x", "10"}}, {"mx1.x/10", "mx2.x/5"}},
      {"repeats among other names keep the reverse of their answer order",
       {{"dup", "1"}, {"zz", "9"}, {"DUP", "2"}, {"dup", "3"}},
       {"dup/3", "DUP/2", "dup/1", "zz/9"}},
      {"case is folded down, so '_' sorts before letters",
       {{"b.x", "1"}, {"_a.x", "2"}, {"B.x", "3"}},
       {"_a.x/2", "B.x/3", "b.x/1"}},
      {"a name sorts before the longer names it begins",
       {{"mx1.x", "1"}, {"MX", "2"}},
       {"MX/2", "mx1.x/1"}},
      {"an empty name sorts first", {{"mx.x", "10"}, {"", "0"}}, {"/0", "mx.x/10"}},
      {"already sorted answer", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, {"a/1", "b/2", "c/3"}},
      {"answer in reverse", {{"c", "3"}, {"b", "2"}, {"a", "1"}}, {"a/1", "b/2", "c/3"}},
      {"one exchanger", {{"only", "0"}}, {"only/0"}},
      {"no exchangers", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    collections::CMXList list;
    list.Assign(Records(c.answer));
    EXPECT_EQ(Entries(list), c.expected);
  }
}

TEST(MxList, LongAnswerWithManyTiesKeepsBothRules) {
  // Long enough that the sort merges runs rather than only inserting. The preference is
  // the answer position, so equal names must come out with descending preferences.
  const char* const names[] = {"b.x", "A.x", "c.x", "a.X", "B.X"};
  std::vector<collections::CMXEntry> answer;
  for (int i = 0; i < 60; ++i)
    answer.push_back(collections::CMXEntry{names[(i * 7) % 5], std::to_string(i)});
  collections::CMXList list;
  list.Assign(answer);
  ASSERT_EQ(list.GetCount(), 60);
  std::set<std::string> preferences;
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    preferences.insert(list.GetEntry(i).m_strPreference);
    if (i == 0) continue;
    const collections::CMXEntry& before = list.GetEntry(i - 1);
    const collections::CMXEntry& after = list.GetEntry(i);
    const int order = collections::CompareTextNoCase(before.m_strMX, after.m_strMX);
    ASSERT_LE(order, 0) << "position " << i;
    if (order == 0) {
      EXPECT_GT(std::stoi(before.m_strPreference), std::stoi(after.m_strPreference))
          << "position " << i;
    }
  }
  EXPECT_EQ(preferences.size(), 60u) << "every record once";
}

TEST(MxList, AssignReplacesAndTakingTheEntriesEmptiesTheList) {
  collections::CMXList list;
  list.Assign(Records({{"b", "1"}, {"a", "2"}}));
  list.Assign(Records({{"c", "3"}}));
  EXPECT_EQ(Entries(list), (Strings{"c/3"}));

  list.Assign(Records({{"b", "1"}, {"a", "2"}}));
  const std::vector<collections::CMXEntry> taken = list.TakeEntries();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].m_strMX, "a");
  EXPECT_EQ(taken[1].m_strMX, "b");
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(MxEntry, ANewEntryReadsEmptyNameAndPreferenceZero) {
  collections::CMXEntry entry;
  EXPECT_EQ(entry.m_strMX, "");
  EXPECT_EQ(entry.m_strPreference, "0");
}

}  // namespace
