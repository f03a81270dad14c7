// dns::MxResolver against the real DNS server of the test bed (tests/zones/resolver.test.zone).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "dns/dns_message.h"
#include "dns/mx_resolver.h"
#include "fake_dns_server.h"
#include "platform/net.h"
#include "testbed.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;  // preference, exchange

class KnotTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }
};

// Walks the results the way the MX list does: both cursors side by side.
Pairs Walk(dns::MxResolver& r) {
  Pairs out;
  const std::string* e = r.GetFirstExchange();
  const std::string* p = r.GetFirstPreference();
  for (int i = 0; e && p && i < 1000; ++i) {
    out.emplace_back(*p, *e);
    e = r.GetNextExchange();
    p = r.GetNextPreference();
  }
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(p, nullptr);
  return out;
}

// Knot keeps the records of one name in canonical order.
const Pairs kThree{
    {"10", "mx-b.resolver.test"}, {"10", "mx-c.resolver.test"}, {"20", "mx-a.resolver.test"}};

TEST_F(KnotTest, Domains) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* domain;
    bool ok;
    Pairs exchangers;
  } cases[] = {
      {"three.resolver.test", true, kThree},
      // Knot compresses the exchanges against the question, so they take its case.
      {"THREE.Resolver.Test.",
       true,
       {{"10", "mx-b.Resolver.Test"}, {"10", "mx-c.Resolver.Test"}, {"20", "mx-a.Resolver.Test"}}},
      {"alias.resolver.test", true, kThree},  // the CNAME is skipped
      {"nomail.resolver.test", true, {{"0", ""}}},
      {"aonly.resolver.test", false, {}},
      {"missing.resolver.test", false, {}},
  };
  for (const auto& c : cases) {
    dns::MxResolver r;
    EXPECT_EQ(r.Resolve(c.domain, testbed::DnsServer(), 5), c.ok) << c.domain;
    EXPECT_EQ(r.GetCount(), static_cast<int>(c.exchangers.size())) << c.domain;
    EXPECT_EQ(Walk(r), c.exchangers) << c.domain;
  }
}

std::string ReadData(const std::string& name) {
  std::ifstream in(testbed::SourcePath("tests/dns/data/" + name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The texts of several accepted replies: in answer order across the replies, the ones
// handed out staying where they are while later replies are added.
TEST(ResolveTexts, RepliesAppendAndHandedOutTextsStay) {
  dns::Message three, twenty, empty;
  ASSERT_TRUE(three.Parse(ReadData("three_mx.bin")));
  ASSERT_TRUE(twenty.Parse(ReadData("twenty_mx.bin")));
  EXPECT_FALSE(empty.Parse(ReadData("three_mx.bin").substr(0, 12)));  // holds no exchanger
  dns::MxResolver r;
  EXPECT_EQ(r.GetFirstExchange(), nullptr);
  r.TakeAnswer(empty);
  EXPECT_EQ(r.GetCount(), 0);
  EXPECT_EQ(r.GetFirstPreference(), nullptr);
  r.TakeAnswer(three);
  ASSERT_EQ(r.GetCount(), 3);
  // Only the exchange cursor moves here; the preference cursor reads the same places later.
  const std::string* first = r.GetFirstExchange();
  const std::string* second = r.GetNextExchange();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(*first, "mx-b.resolver.test");
  r.TakeAnswer(twenty);
  r.TakeAnswer(three);
  ASSERT_EQ(r.GetCount(), 26);
  EXPECT_EQ(*first, "mx-b.resolver.test");
  EXPECT_EQ(*second, "mx-c.resolver.test");
  EXPECT_EQ(r.GetFirstExchange(), first);
  Pairs got = Walk(r);
  ASSERT_EQ(got.size(), 26u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i], kThree[i]);
    EXPECT_EQ(got[23 + i], kThree[i]);
  }
  for (int i = 1; i <= 20; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    EXPECT_EQ(got[2 + i].first, std::to_string(i * 5));
    EXPECT_EQ(got[2 + i].second, "exchanger-" + n +
                                     "-with-a-deliberately-long-first-label.mail-relay-" + n +
                                     ".far-away-provider-" + n + ".example");
  }
  EXPECT_EQ(r.GetFirstExchange(), first);
  EXPECT_EQ(*r.GetFirstPreference(), "10");
}

TEST_F(KnotTest, TwentyExchangersComeOverTcpAfterATruncatedReply) {
  KESTRA_REQUIRE_TESTBED();
  dns::MxResolver r;
  ASSERT_TRUE(r.Resolve("many.resolver.test", testbed::DnsServer(), 5));
  Pairs got = Walk(r);
  ASSERT_EQ(got.size(), 20u);
  for (int i = 1; i <= 20; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    EXPECT_EQ(got[i - 1].first, std::to_string(i * 5));
    EXPECT_EQ(got[i - 1].second, "exchanger-" + n +
                                     "-with-a-deliberately-long-first-label.mail-relay-" + n +
                                     ".far-away-provider-" + n + ".example");
  }
}

TEST_F(KnotTest, ServerByNameAndTheSystemServer) {
  KESTRA_REQUIRE_TESTBED();
  // Inside the test bed the machine's configuration names the test server.
  EXPECT_EQ(platform::SystemDnsServer(), testbed::DnsServer());
  for (const char* server : {"", "ns.bed.test"}) {
    dns::MxResolver r;
    EXPECT_TRUE(r.Resolve("three.resolver.test", server, 5)) << server;
    EXPECT_EQ(Walk(r), kThree) << server;
  }
}

#ifndef _WIN32
// KESTRA_RESOLV_CONF naming a file of the given text, for one test; unset on every path out.
class ResolvConf {
 public:
  ResolvConf(const std::string& name, const std::string& text) {
    const std::string path = testbed::ScratchDir(name) + "/resolv.conf";
    std::ofstream(path) << text;
    m_set = setenv("KESTRA_RESOLV_CONF", path.c_str(), 1) == 0;
  }
  ~ResolvConf() { unsetenv("KESTRA_RESOLV_CONF"); }
  ResolvConf(const ResolvConf&) = delete;
  ResolvConf& operator=(const ResolvConf&) = delete;
  bool Set() const { return m_set; }

 private:
  bool m_set = false;
};

TEST(SystemServer, NoServerAnywhereFailsAtOnce) {
  ResolvConf conf("dns-no-server", "# no nameserver line\nsearch example\n");
  ASSERT_TRUE(conf.Set());
  EXPECT_EQ(platform::SystemDnsServer(), "");
  dns::MxResolver r;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(r.Resolve("three.resolver.test", "", 30));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(r.GetFirstExchange(), nullptr);
}

TEST(SystemServer, OfTwoNameserverLinesOnlyTheFirstIsAsked) {
  KESTRA_REQUIRE_TESTBED();
  using testbed::Bytes;
  using testbed::FakeReply;
  // The first server is silent, so that neither a later line nor a second try at the
  // next server can pass unseen.
  testbed::FakeDnsServer first(testbed::FakeAddress(10, 60),
                               [](const Bytes&) { return std::vector<FakeReply>{}; });
  testbed::FakeDnsServer second(testbed::FakeAddress(10, 61), [](const Bytes& q) {
    return std::vector<FakeReply>{{testbed::DnsReply(q).Mx(1, "second.example.test").Build()}};
  });
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(second.Started());
  ResolvConf conf("dns-two-servers", "search example\nnameserver " + first.Address() +
                                         "\nnameserver " + second.Address() + "\n");
  ASSERT_TRUE(conf.Set());
  EXPECT_EQ(platform::SystemDnsServer(), first.Address());
  dns::MxResolver r;
  EXPECT_FALSE(r.Resolve("two.example.test", "", 1));
  EXPECT_EQ(r.GetCount(), 0);
  EXPECT_EQ(first.UdpQueries().size(), 1u);
  EXPECT_TRUE(second.UdpQueries().empty());
}
#endif

}  // namespace
