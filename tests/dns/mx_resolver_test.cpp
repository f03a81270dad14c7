// dns::ResolveMx against scripted fake servers (what it accepts, what it drops, how it
// waits, the TCP retry of a truncated reply) and against the test bed's Knot
// (tests/zones/resolver.test.zone).
#include "dns/mx_resolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "failure_of.h"
#include "fake_dns_server.h"
#include "platform/net.h"
#include "test_sockets.h"
#include "testbed.h"

namespace {

using testbed::Bytes;
using testbed::DnsReply;
using testbed::FakeDnsServer;
using testbed::FakeReply;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

constexpr int kBlock = 10;
const char kDomain[] = "example.test";

class ResolveMx : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }
};

// The exchangers handed back as "preference exchange" lines, or "failed".
Lines Ask(const std::string& server, const std::string& domain, std::int32_t timeout_seconds,
          support::Account* account = nullptr) {
  const auto result = dns::ResolveMx(domain, server, timeout_seconds, account);
  if (!result) return {"failed"};
  Lines out;
  for (const dns::MxRecord& mx : *result) {
    out.push_back(std::to_string(mx.preference) + " " + mx.exchange);
  }
  return out;
}

Bytes Good(const Bytes& q) {
  return DnsReply(q)
      .Mx(20, "mx-a.example.test")
      .Mx(10, "mx-b.example.test")
      .Mx(10, "mx-c.example.test")
      .Build();
}
const Lines kGood{"20 mx-a.example.test", "10 mx-b.example.test", "10 mx-c.example.test"};

Bytes Truncated(const Bytes& q) {
  return DnsReply(q).Truncated().Mx(20, "mx-a.example.test").Build();
}
const Lines kTruncated{"20 mx-a.example.test"};

std::uint16_t IdOf(const Bytes& q) {
  return static_cast<std::uint16_t>((q[0] << 8) | q[1]);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Address(int n) {
  return testbed::FakeAddress(kBlock, n);
}

TEST_F(ResolveMx, OneQueryDatagramAndTheExchangersInAnswerOrder) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(1),
                       [](const Bytes& q) { return std::vector<FakeReply>{{Good(q)}}; });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  const auto queries = server.UdpQueries();
  ASSERT_EQ(queries.size(), 1u) << "one datagram, no retransmission";
  const auto expected = dns::Query::Make(kDomain, IdOf(queries[0]));
  EXPECT_EQ(queries[0], Bytes(expected->Bytes().begin(), expected->Bytes().end()));
}

TEST_F(ResolveMx, EveryQueryCarriesItsOwnId) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(2),
                       [](const Bytes& q) { return std::vector<FakeReply>{{Good(q)}}; });
  ASSERT_TRUE(server.Started());
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  const auto queries = server.UdpQueries();
  ASSERT_EQ(queries.size(), 4u);
  // Four equal random IDs happen once in 2^48 runs; a fixed ID every time.
  bool differ = false;
  for (const Bytes& q : queries) differ = differ || IdOf(q) != IdOf(queries[0]);
  EXPECT_TRUE(differ);
}

// Datagrams that must be dropped while the wait goes on (what a reply must be to be
// accepted is tested in dns_message_test.cpp); the forged records never come back.
struct BadDatagram {
  const char* what;
  dns::Verdict verdict;  // why an account hears it was dropped
  FakeReply (*make)(const Bytes& query);
};

Bytes Forged(const Bytes& q) {
  return DnsReply(q).Mx(1, "forged.attacker.test").Build();
}

const BadDatagram kBad[] = {
    {"from another port", dns::Verdict::kWrongSourcePort,
     [](const Bytes& q) {
       return FakeReply{Forged(q), 0, "", 0};
     }},
    {"from another address", dns::Verdict::kWrongSourceAddress,
     [](const Bytes& q) {
       return FakeReply{Forged(q), 0, "127.0.10.200", 53};
     }},
    {"with another ID", dns::Verdict::kWrongId,
     [](const Bytes& q) {
       return FakeReply{DnsReply(q).Id(IdOf(q) ^ 0x0100).Mx(1, "forged.attacker.test").Build()};
     }},
    {"with a pointer loop", dns::Verdict::kUnreadable,
     [](const Bytes& q) {
       // The exchange is a pointer to itself.
       const std::size_t at = q.size() + 12 + 2;
       return FakeReply{DnsReply(q)
                            .MxWire(1, {static_cast<std::uint8_t>(0xC0 | (at >> 8)),
                                        static_cast<std::uint8_t>(at)})
                            .Build()};
     }},
    {"cut short", dns::Verdict::kUnreadable,
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b.pop_back();
       return FakeReply{b};
     }},
    {"empty", dns::Verdict::kTooShort, [](const Bytes&) { return FakeReply{Bytes{}}; }},
};

TEST_F(ResolveMx, DatagramsBeforeTheReplyThatAreNotItAreDropped) {
  KESTRA_REQUIRE_TESTBED();
  int n = 10;
  for (const BadDatagram& bad : kBad) {
    SCOPED_TRACE(bad.what);
    FakeDnsServer server(Address(n++), [&bad](const Bytes& q) {
      return std::vector<FakeReply>{bad.make(q), FakeReply{Good(q), 50}};
    });
    ASSERT_TRUE(server.Started());
    support::Account account;
    EXPECT_EQ(Ask(server.Address(), kDomain, 5, &account), kGood);
    const auto verdict = std::ranges::find_if(account.Steps(), [](const support::Step& s) {
      return std::holds_alternative<support::step::DnsReceived>(s);
    });
    ASSERT_NE(verdict, account.Steps().end());
    dns::Verdict expected = bad.verdict;
#ifdef _WIN32
    // Windows builds connect the socket to the server (ReportUnreachable): the system
    // drops datagrams from elsewhere before the resolver hears of them.
    if (expected == dns::Verdict::kWrongSourcePort ||
        expected == dns::Verdict::kWrongSourceAddress) {
      expected = dns::Verdict::kTaken;
    }
#endif
    EXPECT_EQ(std::get<support::step::DnsReceived>(*verdict).verdict, expected);
  }
}

TEST_F(ResolveMx, OnlyDroppedDatagramsMeanNoReply) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(3), [](const Bytes& q) {
    std::vector<FakeReply> replies;
    for (const BadDatagram& bad : kBad) replies.push_back(bad.make(q));
    return replies;
  });
  ASSERT_TRUE(server.Started());
  const auto start = Clock::now();
  const auto result = dns::ResolveMx(kDomain, server.Address(), 1);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure().cause, platform::Cause::kTimeout);
  EXPECT_GE(SecondsSince(start), 0.9);
}

TEST_F(ResolveMx, ADatagramOfMoreThan600BytesIsAccepted) {
  KESTRA_REQUIRE_TESTBED();
  auto large = [](const Bytes& q, Lines* expected) {
    DnsReply reply(q);
    for (int i = 0; i < 10; ++i) {
      const std::string name = "exchanger-" + std::to_string(i) + "-with-a-long-label.provider-" +
                               std::to_string(i) + ".test";
      reply.Mx(static_cast<std::uint16_t>(i), name);
      if (expected) expected->push_back(std::to_string(i) + " " + name);
    }
    return reply.Build();
  };
  FakeDnsServer server(
      Address(8), [&large](const Bytes& q) { return std::vector<FakeReply>{{large(q, nullptr)}}; });
  ASSERT_TRUE(server.Started());
  Lines expected;
  EXPECT_GT(large(Bytes(29, 0), &expected).size(), 600u);
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), expected);
}

TEST_F(ResolveMx, SilenceEndsAfterTheTimeOut) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(9), [](const Bytes&) { return std::vector<FakeReply>{}; });
  ASSERT_TRUE(server.Started());
  const auto start = Clock::now();
  EXPECT_EQ(Ask(server.Address(), kDomain, 1), Lines{"failed"});
  const double took = SecondsSince(start);
  EXPECT_GE(took, 0.95);
  EXPECT_LT(took, 5.0);
  EXPECT_EQ(server.UdpQueries().size(), 1u);
}

TEST_F(ResolveMx, ATimeOutOfMoreThan2To32MillisecondsStillWaits) {
  KESTRA_REQUIRE_TESTBED();
  // 4294968 s in milliseconds is 2^32 + 704: taken modulo 2^32 it would end after 0.7 s.
  FakeDnsServer server(Address(62), [](const Bytes& q) {
    return std::vector<FakeReply>{{Good(q), 2000}};
  });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 4294968), kGood);
}

TEST_F(ResolveMx, DroppedDatagramsDoNotExtendTheTimeOut) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(40), [](const Bytes& q) {
    std::vector<FakeReply> junk;
    for (int i = 0; i < 20; ++i) junk.push_back({DnsReply(q).Id(IdOf(q) ^ 1).Build(), 150});
    return junk;
  });
  ASSERT_TRUE(server.Started());
  const auto start = Clock::now();
  EXPECT_EQ(Ask(server.Address(), kDomain, 1), Lines{"failed"});
  EXPECT_LT(SecondsSince(start), 2.0) << "twenty junk datagrams over three seconds";
}

TEST_F(ResolveMx, UnreachablePortFailsAtOnce) {
  KESTRA_REQUIRE_TESTBED();
  // Nothing listens here: the platform answers with ICMP port unreachable.
  for (const std::string& server : {Address(41), testbed::ClosedIpv6()}) {
    const auto start = Clock::now();
    EXPECT_EQ(Ask(server, kDomain, 10), Lines{"failed"}) << server;
    EXPECT_LT(SecondsSince(start), 3.0) << server;
  }
}

TEST_F(ResolveMx, TruncatedReplyIsAskedAgainOverTcp) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(
      Address(42), [](const Bytes& q) { return std::vector<FakeReply>{{Truncated(q)}}; },
      [](const Bytes& q) -> std::optional<Bytes> { return Good(q); });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  const auto udp = server.UdpQueries();
  const auto tcp = server.TcpQueries();
  ASSERT_EQ(udp.size(), 1u);
  ASSERT_EQ(tcp.size(), 1u);
  EXPECT_EQ(tcp[0], udp[0]) << "the same question, once";
}

TEST_F(ResolveMx, WhenTcpFailsTheTruncatedRecordsAreUsed) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* what;
    FakeDnsServer::TcpScript tcp;
  } cases[] = {
      {"no TCP listener", nullptr},
      {"connection closed unanswered",
       [](const Bytes&) -> std::optional<Bytes> { return std::nullopt; }},
      {"answer with another ID",
       [](const Bytes& q) -> std::optional<Bytes> {
         return DnsReply(q).Id(IdOf(q) ^ 1).Mx(1, "forged.attacker.test").Build();
       }},
      {"malformed answer",
       [](const Bytes& q) -> std::optional<Bytes> { return Bytes(q.begin(), q.begin() + 7); }},
  };
  int n = 43;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDnsServer server(
        Address(n++), [](const Bytes& q) { return std::vector<FakeReply>{{Truncated(q)}}; }, c.tcp);
    ASSERT_TRUE(server.Started());
    const auto start = Clock::now();
    EXPECT_EQ(Ask(server.Address(), kDomain, 5), kTruncated);
    EXPECT_LT(SecondsSince(start), 4.0);
  }
}

// A TCP port 53 that never answers: a listener that accepts no connection. With room in
// its queue the platform completes the handshake and the query waits unread; with the
// queue filled first (a backlog of 0 and one connection), further SYNs are dropped, as
// at a filtered port.
class SilentTcpPort {
 public:
  SilentTcpPort(const std::string& address, bool drop_syn) {
    const platform::Endpoint here{platform::InetAddr(address), 53};
    platform::Result<platform::UniqueSocket> listener = platform::OpenSocket(platform::kSockStream);
    if (!listener) return;
    m_listener = std::move(*listener);
    testbed::SetReuseAddress(m_listener.Get());
    if (!platform::Bind(m_listener.Get(), here) ||
        !testbed::Listen(m_listener.Get(), drop_syn ? 0 : 4)) {
      return;
    }
    if (drop_syn) {
      platform::Result<platform::UniqueSocket> filler = platform::OpenSocket(platform::kSockStream);
      if (!filler || !platform::ConnectWithin(filler->Get(), here, 1000)) return;
      m_filler = std::move(*filler);
    }
    m_ready = true;
  }
  bool Ready() const { return m_ready; }

 private:
  platform::UniqueSocket m_listener;
  platform::UniqueSocket m_filler;
  bool m_ready = false;
};

TEST_F(ResolveMx, ASilentTcpPortHoldsTheRetryForAtMostFiveSeconds) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* what;
    bool drop_syn;
    std::int32_t timeout;
    double at_least, below;  // seconds
  } cases[] = {
      {"connection taken, never answered", false, 20, 4.0, 10.0},
      {"SYN dropped", true, 20, 4.0, 10.0},
      // The retry gets what is left of the time-out when that is less.
      {"connection taken, time-out 2", false, 2, 1.5, 3.0},
  };
  int n = 52;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDnsServer server(Address(n++),
                         [](const Bytes& q) { return std::vector<FakeReply>{{Truncated(q)}}; });
    ASSERT_TRUE(server.Started());
    SilentTcpPort tcp(server.Address(), c.drop_syn);
    ASSERT_TRUE(tcp.Ready());
    const auto start = Clock::now();
    EXPECT_EQ(Ask(server.Address(), kDomain, c.timeout), kTruncated);
    const double took = SecondsSince(start);
    EXPECT_GE(took, c.at_least) << "the retry did not wait on TCP at all";
    EXPECT_LT(took, c.below) << "the retry waited past its bound";
  }
}

TEST_F(ResolveMx, QueriesThatCannotBeMadeFailWithoutSending) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(50),
                       [](const Bytes& q) { return std::vector<FakeReply>{{Good(q)}}; });
  ASSERT_TRUE(server.Started());
  const struct {
    const char* what;
    std::string domain;
    std::int32_t timeout;
  } cases[] = {
      {"a 64-byte label", std::string(64, 'a') + ".test", 5},
      {"a name of 256 bytes in wire form",
       std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
           std::string(62, 'd'),
       5},
      {"a negative time-out", kDomain, -1},
  };
  for (const auto& c : cases) {
    const auto result = dns::ResolveMx(c.domain, server.Address(), c.timeout);
    ASSERT_FALSE(result.ok()) << c.what;
    EXPECT_EQ(result.failure().cause, platform::Cause::kInvalidInput) << c.what;
  }
  EXPECT_TRUE(server.UdpQueries().empty());
}

TEST_F(ResolveMx, ServersWithoutAnAddressFailAtOnce) {
  KESTRA_REQUIRE_TESTBED();
  for (const char* server :
       {"no-such-host.bed.test", "0.0.0.0", "255.255.255.255", "300.1.2.3", " 127.0.0.2", "::"}) {
    const auto start = Clock::now();
    EXPECT_EQ(Ask(server, kDomain, 10), Lines{"failed"}) << server;
    EXPECT_LT(SecondsSince(start), 5.0) << server;
  }
}

// Knot keeps the records of one name in canonical order.
const Lines kThree{"10 mx-b.resolver.test", "10 mx-c.resolver.test", "20 mx-a.resolver.test"};

TEST_F(ResolveMx, KnotAnswers) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* domain;
    Lines exchangers;
  } cases[] = {
      {"three.resolver.test", kThree},
      // Knot compresses the exchanges against the question, so they take its case.
      {"THREE.Resolver.Test.",
       {"10 mx-b.Resolver.Test", "10 mx-c.Resolver.Test", "20 mx-a.Resolver.Test"}},
      {"alias.resolver.test", kThree},  // the CNAME is skipped
      {"nomail.resolver.test", {"0 "}},
      // A reply without exchangers is a reply: what an empty answer means is not the
      // resolver's to say.
      {"aonly.resolver.test", {}},
      {"missing.resolver.test", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Ask(testbed::DnsServer(), c.domain, 5), c.exchangers) << c.domain;
  }
}

TEST_F(ResolveMx, TwentyExchangersComeOverTcpAfterATruncatedReply) {
  KESTRA_REQUIRE_TESTBED();
  const Lines got = Ask(testbed::DnsServer(), "many.resolver.test", 5);
  ASSERT_EQ(got.size(), 20u);
  for (int i = 1; i <= 20; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    EXPECT_EQ(got[static_cast<std::size_t>(i - 1)],
              std::to_string(i * 5) + " exchanger-" + n +
                  "-with-a-deliberately-long-first-label.mail-relay-" + n + ".far-away-provider-" +
                  n + ".example");
  }
}

TEST_F(ResolveMx, ServerByNameAndTheSystemServer) {
  KESTRA_REQUIRE_TESTBED();
  // Inside the test bed the machine's configuration names the test server.
  const platform::Result<platform::SystemServer> system = platform::SystemDnsServer();
  ASSERT_TRUE(system);
  EXPECT_EQ(system->address, testbed::DnsServer());
#ifdef _WIN32
  EXPECT_STREQ(system->source, "GetNetworkParams");
#else
  EXPECT_STREQ(system->source, "/etc/resolv.conf");
#endif
  for (const char* server : {"", "ns.bed.test", "::1", "[::1]"}) {
    EXPECT_EQ(Ask(server, "three.resolver.test", 5), kThree) << server;
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

// The machine's DNS server as address text, "" when it names none.
std::string SystemServerAddress() {
  const platform::Result<platform::SystemServer> server = platform::SystemDnsServer();
  return server ? server->address : "";
}

TEST(SystemServer, NoServerAnywhereFailsAtOnce) {
  ResolvConf conf("dns-no-server", "# no nameserver line\nsearch example\n");
  ASSERT_TRUE(conf.Set());
  EXPECT_EQ(testbed::FailureOf(platform::SystemDnsServer()),
            platform::Failure{platform::Cause::kNotFound});
  const auto start = Clock::now();
  EXPECT_EQ(Ask("", "three.resolver.test", 30), Lines{"failed"});
  EXPECT_LT(SecondsSince(start), 5.0);
}

TEST(SystemServer, AnIpv6ServerIsTakenOnlyWhenThereIsNoIpv4One) {
  KESTRA_REQUIRE_TESTBED();
  {
    ResolvConf conf("dns-v6-then-v4", "nameserver ::1\nnameserver 127.0.0.9\n");
    ASSERT_TRUE(conf.Set());
    EXPECT_EQ(SystemServerAddress(), "127.0.0.9");
  }
  ResolvConf conf("dns-v6-only", "nameserver fe80::zz\nnameserver ::1\nnameserver " +
                                     testbed::ClosedIpv6() + "\n");
  ASSERT_TRUE(conf.Set());
  EXPECT_EQ(SystemServerAddress(), "::1");
  EXPECT_EQ(Ask("", "three.resolver.test", 5), kThree);
}

TEST(SystemServer, OfTwoNameserverLinesOnlyTheFirstIsAsked) {
  KESTRA_REQUIRE_TESTBED();
  // The first server is silent, so that neither a later line nor a second try at the
  // next server can pass unseen.
  FakeDnsServer first(Address(60), [](const Bytes&) { return std::vector<FakeReply>{}; });
  FakeDnsServer second(Address(61), [](const Bytes& q) {
    return std::vector<FakeReply>{{DnsReply(q).Mx(1, "second.example.test").Build()}};
  });
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(second.Started());
  ResolvConf conf("dns-two-servers", "search example\nnameserver " + first.Address() +
                                         "\nnameserver " + second.Address() + "\n");
  ASSERT_TRUE(conf.Set());
  EXPECT_EQ(SystemServerAddress(), first.Address());
  EXPECT_EQ(Ask("", "two.example.test", 1), Lines{"failed"});
  EXPECT_EQ(first.UdpQueries().size(), 1u);
  EXPECT_TRUE(second.UdpQueries().empty());
}
#endif

}  // namespace
