// MX lookups against a scripted DNS server, for answers Knot would never give: names
// that differ only in case, a second query that goes unanswered, an empty first
// exchange.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fake_dns_server.h"
#include "lookup/lookup.h"
#include "lookup_calls.h"
#include "platform/net.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 30;

using testbed::DnsReply;
using testbed::FakeDnsServer;
using testbed::FakeReply;

// The one datagram a script sends back.
std::vector<FakeReply> Answer(testbed::Bytes bytes) {
  return {FakeReply(std::move(bytes))};
}

std::vector<std::string> Entries(const calls::MxList& list) {
  std::vector<std::string> out;
  for (std::int32_t i = 0; i < std::ssize(list); ++i) {
    out.push_back(std::to_string(list[i].preference) + " " + list[i].exchange);
  }
  return out;
}

// Where a client reaches the fake. Wine binds a UDP socket given a loopback address to
// every address of the loopback interface instead, so the fake's replies leave from
// 127.0.0.1, and the resolver rightly drops replies from any other address than the one
// it asked.
std::string ClientAddress(const FakeDnsServer& server) {
#ifdef _WIN32
  (void)server;
  return "127.0.0.1";
#else
  return server.Address();
#endif
}

class FakeDnsLookup : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::SocketStartup(2, 2), 0); }
  void TearDown() override { platform::SocketCleanup(); }

  // A Lookup object aimed at `server` for "fake.test", time-out one second.
  static void Aim(lookup::CLookup& lookup, const FakeDnsServer& server) {
    lookup.PutDNSServer(ClientAddress(server));
    lookup.PutDomainName("fake.test");
    lookup.PutTimeout(1);
  }
};

TEST_F(FakeDnsLookup, ListIsOrderedByNameWithCaseTwinsInReverseAnswerOrder) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 20), [](const testbed::Bytes& query) {
    return Answer(
        DnsReply(query).Mx(10, "b.fake.test").Mx(20, "A.fake.test").Mx(30, "a.fake.test").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);

  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  EXPECT_EQ(count, 3);

  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(Entries(list),
            (std::vector<std::string>{"30 a.fake.test", "20 A.fake.test", "10 b.fake.test"}));
  EXPECT_EQ(server.UdpQueries().size(), 3u) << "MXRecords asks once, GetMXRecord twice";
}

TEST_F(FakeDnsLookup, UnansweredSecondQueryGivesAnEmptyListAndNoError) {
  std::atomic<int> seen{0};
  FakeDnsServer server(testbed::FakeAddress(kBlock, 21), [&seen](const testbed::Bytes& query) {
    if (seen.fetch_add(1) > 0) return std::vector<FakeReply>{};
    return Answer(DnsReply(query).Mx(10, "mx.fake.test").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(std::ssize(list), 0);
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "");
  EXPECT_EQ(server.UdpQueries().size(), 2u);
}

TEST_F(FakeDnsLookup, EmptyFirstExchangeIsCountedButEmptiesTheList) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 22), [](const testbed::Bytes& query) {
    return Answer(DnsReply(query).Mx(0, "").Mx(10, "mx.fake.test").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);
  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  EXPECT_EQ(count, 2);
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(std::ssize(list), 0);
  EXPECT_EQ(lookup.GetIsError(), 0);
}

TEST_F(FakeDnsLookup, EmptyExchangeAfterTheFirstIsKeptAndSortsFirst) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 23), [](const testbed::Bytes& query) {
    return Answer(DnsReply(query).Mx(10, "mx.fake.test").Mx(0, "").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"0 ", "10 mx.fake.test"}));
}

TEST_F(FakeDnsLookup, DomainNeverSetSendsNoQuery) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 24), [](const testbed::Bytes& query) {
    return Answer(DnsReply(query).Mx(10, "mx.fake.test").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  lookup.PutDNSServer(ClientAddress(server));
  std::int16_t count = -7;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  calls::MxList list;
  bool has_list = true;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_FALSE(has_list);
  EXPECT_EQ(count, -7);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");
  server.Stop();
  EXPECT_TRUE(server.UdpQueries().empty());
}

TEST_F(FakeDnsLookup, BlankDomainIsAskedForAsItIs) {
  // Only an empty name is refused before the network; blanks are a name like any other,
  // and the server's "no such name" is the resolver's failure.
  FakeDnsServer server(testbed::FakeAddress(kBlock, 26), [](const testbed::Bytes& query) {
    return Answer(DnsReply(query).RCode(3).Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);
  lookup.PutDomainName("   ");

  std::int16_t count = -7;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  EXPECT_EQ(count, -7);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");

  calls::MxList list;
  bool has_list = true;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_FALSE(has_list);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");

  const std::vector<testbed::Bytes> queries = server.UdpQueries();
  ASSERT_EQ(queries.size(), 2u) << "one query per call";
  const testbed::Bytes blanks = DnsReply::Name("   ");
  for (const testbed::Bytes& query : queries) {
    ASSERT_GE(query.size(), 12 + blanks.size());
    EXPECT_EQ(testbed::Bytes(query.begin() + 12, query.begin() + 12 + blanks.size()), blanks);
  }
}

TEST_F(FakeDnsLookup, PreferencesComeThroughAsDecimalText) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 25), [](const testbed::Bytes& query) {
    return Answer(DnsReply(query).Mx(65535, "b.fake.test").Mx(0, "a.fake.test").Build());
  });
  ASSERT_TRUE(server.Started());
  lookup::CLookup lookup;
  Aim(lookup, server);
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup, &list, &has_list));
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"0 a.fake.test", "65535 b.fake.test"}));
}

}  // namespace
