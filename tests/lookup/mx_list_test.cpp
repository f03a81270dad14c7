// The portable half of the MX list: case-blind ordering, the pending chain's insertion
// sort, and Fill against the test bed's DNS server.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "collections/mx_list.h"
#include "lookup/socket_layer.h"
#include "silent_udp_listener.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 30;

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
    EXPECT_EQ(Sign(CompareTextNoCase(c.a, c.b)), c.sign);
    EXPECT_EQ(Sign(CompareTextNoCase(c.b, c.a)), -c.sign);
  }
}

// Reaches the list's pending chain.
class ChainList : public CMXList {
 public:
  using CMXList::SortKey;
  using CMXList::SortOrder;
  void Add(const std::string& mx, const std::string& preference) { AddNode(mx, preference); }
  void Sort(SortKey key, SortOrder order) { SortPending(key, order); }
  // The chain from its head, as "name/preference".
  std::vector<std::string> Chain() const {
    std::vector<std::string> out;
    for (const CEntryNode* n = m_pPending; n; n = n->m_pNext) {
      out.push_back(n->m_strMX + "/" + n->m_strPreference);
    }
    return out;
  }
};

using Strings = std::vector<std::string>;

TEST(SortPending, NodesGoInAtTheHead) {
  ChainList list;
  list.Add("b", "1");
  list.Add("a", "2");
  EXPECT_EQ(list.Chain(), (Strings{"a/2", "b/1"}));
}

TEST(SortPending, SortsByNameCaseBlindKeepingEqualNamesInChainOrder) {
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
      {"repeats keep the reverse of their answer order",
       {{"dup", "1"}, {"zz", "9"}, {"DUP", "2"}, {"dup", "3"}},
       {"dup/3", "DUP/2", "dup/1", "zz/9"}},
      {"already sorted answer", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, {"a/1", "b/2", "c/3"}},
      {"one node", {{"only", "0"}}, {"only/0"}},
      {"no nodes", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChainList list;
    for (const auto& [mx, preference] : c.answer) list.Add(mx, preference);
    list.Sort(ChainList::SortKey::kExchange, ChainList::SortOrder::kAscending);
    EXPECT_EQ(list.Chain(), c.expected);
  }
}

TEST(SortPending, PreferenceKeyComparesTextAndDescendingIsStableToo) {
  ChainList list;
  for (auto [mx, pref] : {std::pair{"a", "5"}, {"b", "10"}, {"c", "5"}, {"d", "20"}}) {
    list.Add(mx, pref);
  }
  list.Sort(ChainList::SortKey::kPreference, ChainList::SortOrder::kAscending);
  // Text order: "10" < "20" < "5"; the two "5"s keep their chain order (c before a).
  EXPECT_EQ(list.Chain(), (Strings{"b/10", "d/20", "c/5", "a/5"}));

  list.Sort(ChainList::SortKey::kExchange, ChainList::SortOrder::kDescending);
  EXPECT_EQ(list.Chain(), (Strings{"d/20", "c/5", "b/10", "a/5"}));

  ChainList equal;
  for (auto [mx, pref] : {std::pair{"X", "1"}, {"x", "2"}, {"y", "3"}}) equal.Add(mx, pref);
  equal.Sort(ChainList::SortKey::kExchange, ChainList::SortOrder::kDescending);
  EXPECT_EQ(equal.Chain(), (Strings{"y/3", "x/2", "X/1"}));
}

TEST(MxEntry, ANewEntryReadsEmptyNameAndPreferenceZero) {
  CMXEntry entry;
  EXPECT_EQ(entry.m_strMX, "");
  EXPECT_EQ(entry.m_strPreference, "0");
}

Strings Entries(const CMXList& list) {
  Strings out;
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    out.push_back(list.GetEntry(i).m_strPreference + " " + list.GetEntry(i).m_strMX);
  }
  return out;
}

class MxListFill : public ::testing::Test {
 protected:
  void SetUp() override { lookup::EnsureSocketLayer(); }
};

TEST_F(MxListFill, OrdersByNameNotPreference) {
  KESTRA_REQUIRE_TESTBED();
  CMXList list;
  list.Fill("three.lookup.test", testbed::DnsServer(), 5);
  EXPECT_EQ(Entries(list),
            (Strings{"20 alpha.lookup.test", "10 mid.lookup.test", "5 zeta.lookup.test"}));
}

TEST_F(MxListFill, RefillReplacesAndFailureEmpties) {
  KESTRA_REQUIRE_TESTBED();
  CMXList list;
  list.Fill("three.lookup.test", testbed::DnsServer(), 5);
  ASSERT_EQ(list.GetCount(), 3);
  list.Fill("three.lookup.test", testbed::DnsServer(), 5);
  EXPECT_EQ(list.GetCount(), 3) << "a second fill does not append";
  list.Fill("absent.lookup.test", testbed::DnsServer(), 5);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(MxListFill, NullMxLeavesTheListEmpty) {
  KESTRA_REQUIRE_TESTBED();
  CMXList list;
  list.Fill("nullmx.lookup.test", testbed::DnsServer(), 5);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(MxListFill, SilentServerLeavesTheListEmpty) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 10));
  ASSERT_TRUE(listener.Ready());
  CMXList list;
  list.Fill("three.lookup.test", testbed::FakeAddress(kBlock, 10), 1);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(listener.DatagramsWithin(100), 1);
}

}  // namespace
