// The order of the MX list: the case-blind comparison it sorts by, and the order of names
// that compare equal.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "lookup/mx_list.h"
#include "platform/mbcs.h"

#ifdef _WIN32
#include <mbctype.h>
#endif

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(CompareNoCase, FoldsToLowerCaseAndComparesUnsigned) {
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
    EXPECT_EQ(Sign(platform::CompareNoCase(c.a, c.b)), c.sign);
    EXPECT_EQ(Sign(platform::CompareNoCase(c.b, c.a)), -c.sign);
  }
}

using Strings = std::vector<std::string>;
using Records = std::vector<dns::MxRecord>;

// The records as "name/preference", in list order.
Strings Entries(const Records& list) {
  Strings out;
  for (const dns::MxRecord& r : list)
    out.push_back(r.exchange + "/" + std::to_string(r.preference));
  return out;
}

TEST(MxList, SortsByNameCaseBlindWithEqualNamesInReverseAnswerOrder) {
  struct Case {
    const char* what;
    Records answer;  // in answer order
    Strings expected;
  };
  const Case cases[] = {
      {"names equal but for case come out in reverse answer order",
       {{10, "b"}, {20, "A"}, {30, "a"}},
       {"a/30", "A/20", "b/10"}},
      {"preferences play no part", {{5, "mx2.x"}, {10, "mx1.x"}}, {"mx1.x/10", "mx2.x/5"}},
      {"repeats among other names keep the reverse of their answer order",
       {{1, "dup"}, {9, "zz"}, {2, "DUP"}, {3, "dup"}},
       {"dup/3", "DUP/2", "dup/1", "zz/9"}},
      {"case is folded down, so '_' sorts before letters",
       {{1, "b.x"}, {2, "_a.x"}, {3, "B.x"}},
       {"_a.x/2", "B.x/3", "b.x/1"}},
      {"a name sorts before the longer names it begins",
       {{1, "mx1.x"}, {2, "MX"}},
       {"MX/2", "mx1.x/1"}},
      {"an empty name sorts first", {{10, "mx.x"}, {0, ""}}, {"/0", "mx.x/10"}},
      {"already sorted answer", {{1, "a"}, {2, "b"}, {3, "c"}}, {"a/1", "b/2", "c/3"}},
      {"answer in reverse", {{3, "c"}, {2, "b"}, {1, "a"}}, {"a/1", "b/2", "c/3"}},
      {"one exchanger", {{0, "only"}}, {"only/0"}},
      {"no exchangers", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Records list = c.answer;
    lookup::SortMxList(&list);
    EXPECT_EQ(Entries(list), c.expected);
  }
}

TEST(MxList, LongAnswerWithManyTiesKeepsBothRules) {
  // Long enough that the sort merges runs rather than only inserting. The preference is
  // the answer position, so equal names must come out with descending preferences.
  const char* const names[] = {"b.x", "A.x", "c.x", "a.X", "B.X"};
  Records list;
  for (int i = 0; i < 60; ++i) {
    list.push_back(dns::MxRecord{static_cast<std::uint16_t>(i), names[(i * 7) % 5]});
  }
  lookup::SortMxList(&list);
  ASSERT_EQ(list.size(), 60u);
  std::set<int> preferences;
  for (std::size_t i = 0; i < list.size(); ++i) {
    preferences.insert(list[i].preference);
    if (i == 0) continue;
    const int order = platform::CompareNoCase(list[i - 1].exchange, list[i].exchange);
    ASSERT_LE(order, 0) << "position " << i;
    if (order == 0) {
      EXPECT_GT(list[i - 1].preference, list[i].preference) << "position " << i;
    }
  }
  EXPECT_EQ(preferences.size(), 60u) << "every record once";
}

#ifdef _WIN32
// In a code page with two-byte characters a lead byte before a NUL is a character of its
// own, as where a C string ends: in code page 932, 0x81 then NUL sorts before the
// one-byte character 0xA1, where the two read as one character would sort after it.
TEST(MxList, ALeadByteBeforeANulStandsAlone) {
  const int previous = _getmbcp();
  if (_setmbcp(932) != 0) GTEST_SKIP() << "code page 932 is not available";
  Records list{{1, "\xA1"}, {2, std::string("\x81\0", 2)}, {3, "\x81\x40"}};
  lookup::SortMxList(&list);
  _setmbcp(previous);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].preference, 2);
  EXPECT_EQ(list[1].preference, 1);
  EXPECT_EQ(list[2].preference, 3);
}
#endif

}  // namespace
