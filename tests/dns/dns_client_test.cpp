// The query transport against scripted fake servers: what it accepts, what it drops,
// how it waits, and the TCP retry of a truncated reply.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "dns/dns_client.h"
#include "dns/mx_resolver.h"
#include "dns/udp_socket.h"
#include "fake_dns_server.h"
#include "platform/net.h"
#include "test_sockets.h"
#include "testbed.h"

namespace {

using testbed::Bytes;
using testbed::DnsReply;
using testbed::FakeDnsServer;
using testbed::FakeReply;
using Pairs = std::vector<std::pair<int, std::string>>;
using Clock = std::chrono::steady_clock;

constexpr int kBlock = 10;
const char kDomain[] = "example.test";

class FakeServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }
};

// The exchangers of the answer the client accepted, in answer order; empty when the
// query failed.
Pairs Ask(const std::string& server, const std::string& domain, std::int32_t timeout_seconds) {
  dns::Message answer;
  const bool ok = dns::Client(server).Query(domain, timeout_seconds, &answer);
  EXPECT_EQ(ok, answer.GetAnswerCount() > 0);
  Pairs out;
  for (std::size_t i = 0; i < answer.GetAnswerCount(); ++i) {
    out.emplace_back(answer.GetPreference(i), answer.GetExchange(i));
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
const Pairs kGood{{20, "mx-a.example.test"}, {10, "mx-b.example.test"}, {10, "mx-c.example.test"}};

Bytes Forged(const Bytes& q) {
  return DnsReply(q).Mx(1, "forged.attacker.test").Build();
}

std::uint16_t IdOf(const Bytes& q) {
  return static_cast<std::uint16_t>((q[0] << 8) | q[1]);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Address(int n) {
  return testbed::FakeAddress(kBlock, n);
}

TEST_F(FakeServerTest, AnswersComeBackInAnswerOrder) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(1),
                       [](const Bytes& q) { return std::vector<FakeReply>{{Good(q)}}; });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  auto queries = server.UdpQueries();
  ASSERT_EQ(queries.size(), 1u) << "one datagram, no retransmission";
  dns::Message sent;
  ASSERT_TRUE(sent.Parse(std::string(queries[0].begin(), queries[0].end())));
  EXPECT_EQ(sent.m_bRD, 1);
  EXPECT_EQ(sent.m_bQR, 0);
  EXPECT_EQ(sent.m_nQDCount, 1);
  EXPECT_EQ(sent.QuestionType(), 0) << "decoding a message does not set the asked question";
  ASSERT_EQ(sent.Questions().size(), 1u);
  EXPECT_EQ(sent.Questions()[0].m_nType, 15);
  EXPECT_EQ(sent.Questions()[0].m_nClass, 1);
}

TEST_F(FakeServerTest, EveryQueryCarriesItsOwnId) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(2),
                       [](const Bytes& q) { return std::vector<FakeReply>{{Good(q)}}; });
  ASSERT_TRUE(server.Started());
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Ask(server.Address(), kDomain, 5).size(), 3u);
  auto queries = server.UdpQueries();
  ASSERT_EQ(queries.size(), 4u);
  // Four equal random IDs happen once in 2^48 runs; a fixed ID every time.
  bool differ = false;
  for (const Bytes& q : queries) differ = differ || IdOf(q) != IdOf(queries[0]);
  EXPECT_TRUE(differ);
}

// Datagrams the transport must drop. Each is sent before the real answer; the forged
// records must never come back.
struct BadDatagram {
  const char* what;
  FakeReply (*make)(const Bytes& query);
};

const BadDatagram kBad[] = {
    {"from another port",
     [](const Bytes& q) {
       return FakeReply{Forged(q), 0, "", 0};
     }},
    {"from another address",
     [](const Bytes& q) {
       return FakeReply{Forged(q), 0, "127.0.10.200", 53};
     }},
    {"with another ID",
     [](const Bytes& q) {
       return FakeReply{DnsReply(q).Id(IdOf(q) ^ 0x0100).Mx(1, "forged.attacker.test").Build()};
     }},
    {"with QR 0",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[2] &= 0x7F;
       return FakeReply{b};
     }},
    {"asking another name",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[13] ^= 0x01;  // first letter of the question
       return FakeReply{b};
     }},
    {"asking another type",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[q.size() - 3] = 1;  // QTYPE A
       return FakeReply{b};
     }},
    {"asking another class",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[q.size() - 1] = 3;  // QCLASS CH
       return FakeReply{b};
     }},
    {"with no question",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[5] = 0;
       b.erase(b.begin() + 12, b.begin() + static_cast<std::ptrdiff_t>(q.size()));
       return FakeReply{b};
     }},
    {"with two questions",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b[5] = 2;
       b.insert(b.begin() + static_cast<std::ptrdiff_t>(q.size()), q.begin() + 12, q.end());
       return FakeReply{b};
     }},
    {"empty", [](const Bytes&) { return FakeReply{Bytes{}}; }},
    {"shorter than a header",
     [](const Bytes& q) { return FakeReply{Bytes(q.begin(), q.begin() + 11)}; }},
    {"with a pointer loop",
     [](const Bytes& q) {
       Bytes b = DnsReply(q).Mx(1, "x").Build();
       // The exchange "x" becomes a pointer to itself.
       b[b.size() - 3] = static_cast<std::uint8_t>(0xC0 | ((b.size() - 3) >> 8));
       b[b.size() - 2] = static_cast<std::uint8_t>(b.size() - 3);
       b.pop_back();
       b[b.size() - 5] = static_cast<std::uint8_t>(b[b.size() - 5] - 1);  // RDLENGTH
       return FakeReply{b};
     }},
    {"cut short",
     [](const Bytes& q) {
       Bytes b = Forged(q);
       b.resize(b.size() - 1);
       return FakeReply{b};
     }},
};

TEST_F(FakeServerTest, ForgedAndBrokenDatagramsBeforeTheAnswerAreDropped) {
  KESTRA_REQUIRE_TESTBED();
  int n = 10;
  for (const BadDatagram& bad : kBad) {
    SCOPED_TRACE(bad.what);
    const std::string address = Address(n++);
    FakeDnsServer server(address, [&bad](const Bytes& q) {
      return std::vector<FakeReply>{bad.make(q), FakeReply{Good(q), 50}};
    });
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  }
}

TEST_F(FakeServerTest, OnlyForgedAndBrokenDatagramsMeanNoAnswer) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(3), [](const Bytes& q) {
    std::vector<FakeReply> replies;
    for (const BadDatagram& bad : kBad) replies.push_back(bad.make(q));
    return replies;
  });
  ASSERT_TRUE(server.Started());
  auto start = Clock::now();
  EXPECT_TRUE(Ask(server.Address(), kDomain, 1).empty());
  EXPECT_GE(SecondsSince(start), 0.9);
}

TEST_F(FakeServerTest, EveryTruncationOfAnAnswerIsDropped) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(4), [](const Bytes& q) {
    Bytes good = Good(q);
    std::vector<FakeReply> replies;
    for (std::size_t n = 0; n < good.size(); ++n)
      replies.push_back({Bytes(good.begin(), good.begin() + n)});
    replies.push_back({good});
    return replies;
  });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
}

TEST_F(FakeServerTest, QuestionNameIsComparedWithoutRegardToCase) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(5), [](const Bytes& q) {
    Bytes upper = q;
    for (std::size_t i = 12; i < upper.size() - 4; ++i) {
      if (upper[i] >= 'a' && upper[i] <= 'z') upper[i] = static_cast<std::uint8_t>(upper[i] - 32);
    }
    return std::vector<FakeReply>{{Good(upper)}};
  });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), "Example.TEST", 5), kGood);
}

TEST_F(FakeServerTest, CnameRecordsAreSkipped) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(6), [](const Bytes& q) {
    return std::vector<FakeReply>{{DnsReply(q)
                                       .Cname("target.example.test")
                                       .Mx(5, "mx1.example.test")
                                       .Mx(7, "mx2.example.test")
                                       .Build()}};
  });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5),
            (Pairs{{5, "mx1.example.test"}, {7, "mx2.example.test"}}));
}

// Enough long exchange names to pass 600 bytes.
Bytes Large(const Bytes& q, Pairs* expected) {
  DnsReply reply(q);
  for (int i = 0; i < 10; ++i) {
    std::string name = "exchanger-" + std::to_string(i) + "-with-a-long-label.provider-" +
                       std::to_string(i) + ".test";
    reply.Mx(static_cast<std::uint16_t>(i), name);
    if (expected) expected->emplace_back(i, name);
  }
  return reply.Build();
}

TEST_F(FakeServerTest, A600ByteDatagramGrowsTheBufferTwiceAndIsReadOnce) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(7),
                       [](const Bytes&) { return std::vector<FakeReply>{{Bytes(600, 0xAB)}}; });
  ASSERT_TRUE(server.Started());
  dns::UdpSocket socket;
  ASSERT_TRUE(socket.Open(server.Address(), 53, 1));
  EXPECT_EQ(socket.GetBufferSize(), 256);
  ASSERT_EQ(socket.Send("query"), 5);
  char small[512];
  std::string large = "replaced";
  EXPECT_EQ(socket.Receive(small, sizeof small, &large), 600);
  EXPECT_EQ(socket.GetBufferSize(), 1024);
  EXPECT_EQ(large, std::string(600, '\xAB'));
  EXPECT_EQ(socket.GetLastSender(), (platform::Endpoint{platform::InetAddr(server.Address()), 53}));
  // Read once: nothing is left queued.
  large.clear();
  EXPECT_EQ(socket.Receive(small, sizeof small, &large), -1);
  EXPECT_EQ(socket.GetLastErrorCode(), platform::wsa::kETIMEDOUT);
  EXPECT_TRUE(large.empty());
}

TEST_F(FakeServerTest, ALargeAnswerIsAccepted) {
  KESTRA_REQUIRE_TESTBED();
  Pairs expected;
  FakeDnsServer dns(Address(8),
                    [](const Bytes& q) { return std::vector<FakeReply>{{Large(q, nullptr)}}; });
  ASSERT_TRUE(dns.Started());
  Large(Bytes(29, 0), &expected);
  EXPECT_GT(Large(Bytes(29, 0), nullptr).size(), 600u);
  EXPECT_EQ(Ask(dns.Address(), kDomain, 5), expected);
}

TEST_F(FakeServerTest, SilenceEndsAfterTheTimeOut) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(9), [](const Bytes&) { return std::vector<FakeReply>{}; });
  ASSERT_TRUE(server.Started());
  auto start = Clock::now();
  EXPECT_TRUE(Ask(server.Address(), kDomain, 1).empty());
  const double took = SecondsSince(start);
  EXPECT_GE(took, 0.95);
  EXPECT_LT(took, 5.0);
  EXPECT_EQ(server.UdpQueries().size(), 1u);
}

TEST_F(FakeServerTest, DroppedDatagramsDoNotExtendTheTimeOut) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(40), [](const Bytes& q) {
    std::vector<FakeReply> junk;
    for (int i = 0; i < 20; ++i) junk.push_back({DnsReply(q).Id(IdOf(q) ^ 1).Build(), 150});
    return junk;
  });
  ASSERT_TRUE(server.Started());
  auto start = Clock::now();
  EXPECT_TRUE(Ask(server.Address(), kDomain, 1).empty());
  EXPECT_LT(SecondsSince(start), 2.0) << "twenty junk datagrams over three seconds";
}

TEST_F(FakeServerTest, UnreachablePortFailsAtOnce) {
  KESTRA_REQUIRE_TESTBED();
  // Nothing listens here: the platform answers with ICMP port unreachable.
  auto start = Clock::now();
  EXPECT_TRUE(Ask(Address(41), kDomain, 10).empty());
  EXPECT_LT(SecondsSince(start), 3.0);
}

TEST_F(FakeServerTest, TruncatedAnswerIsAskedAgainOverTcp) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(
      Address(42),
      [](const Bytes& q) {
        return std::vector<FakeReply>{
            {DnsReply(q).Truncated().Mx(20, "mx-a.example.test").Build()}};
      },
      [](const Bytes& q) -> std::optional<Bytes> { return Good(q); });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Ask(server.Address(), kDomain, 5), kGood);
  auto udp = server.UdpQueries();
  auto tcp = server.TcpQueries();
  ASSERT_EQ(udp.size(), 1u);
  ASSERT_EQ(tcp.size(), 1u);
  EXPECT_EQ(tcp[0], udp[0]) << "the same question, once";
}

TEST_F(FakeServerTest, WhenTcpFailsTheTruncatedRecordsAreUsed) {
  KESTRA_REQUIRE_TESTBED();
  auto truncated = [](const Bytes& q) {
    return std::vector<FakeReply>{{DnsReply(q).Truncated().Mx(20, "mx-a.example.test").Build()}};
  };
  const Pairs kTruncated{{20, "mx-a.example.test"}};
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
    const std::string address = Address(n++);
    FakeDnsServer server(address, truncated, c.tcp);
    ASSERT_TRUE(server.Started());
    auto start = Clock::now();
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
    m_listener = platform::OpenSocket(platform::kSockStream);
    if (m_listener == platform::kInvalidSocket) return;
    testbed::SetReuseAddress(m_listener);
    if (!platform::Bind(m_listener, here) || !testbed::Listen(m_listener, drop_syn ? 0 : 4)) {
      return;
    }
    if (drop_syn) {
      m_filler = platform::OpenSocket(platform::kSockStream);
      if (m_filler == platform::kInvalidSocket || !platform::ConnectWithin(m_filler, here, 1000)) {
        return;
      }
    }
    m_ready = true;
  }
  ~SilentTcpPort() {
    if (m_filler != platform::kInvalidSocket) platform::CloseSocket(m_filler);
    if (m_listener != platform::kInvalidSocket) platform::CloseSocket(m_listener);
  }
  SilentTcpPort(const SilentTcpPort&) = delete;
  SilentTcpPort& operator=(const SilentTcpPort&) = delete;
  bool Ready() const { return m_ready; }

 private:
  platform::SocketHandle m_listener = platform::kInvalidSocket;
  platform::SocketHandle m_filler = platform::kInvalidSocket;
  bool m_ready = false;
};

TEST_F(FakeServerTest, ASilentTcpPortHoldsTheRetryForAtMostFiveSeconds) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* what;
    bool drop_syn;
  } cases[] = {
      {"connection taken, never answered", false},
      {"SYN dropped", true},
  };
  int n = 52;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDnsServer server(Address(n++), [](const Bytes& q) {
      return std::vector<FakeReply>{{DnsReply(q).Truncated().Mx(20, "mx-a.example.test").Build()}};
    });
    ASSERT_TRUE(server.Started());
    SilentTcpPort tcp(server.Address(), c.drop_syn);
    ASSERT_TRUE(tcp.Ready());
    auto start = Clock::now();
    EXPECT_EQ(Ask(server.Address(), kDomain, 20), (Pairs{{20, "mx-a.example.test"}}));
    const double took = SecondsSince(start);
    EXPECT_GE(took, 4.0) << "the retry did not wait on TCP at all";
    EXPECT_LT(took, 10.0) << "the retry waited past its bound";
  }
}

TEST_F(FakeServerTest, QueriesThatCannotBeSentFailWithoutSending) {
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
    EXPECT_TRUE(Ask(server.Address(), c.domain, c.timeout).empty()) << c.what;
  }
  EXPECT_TRUE(server.UdpQueries().empty());
}

TEST_F(FakeServerTest, ServersWithoutAnAddressFailAtOnce) {
  KESTRA_REQUIRE_TESTBED();
  for (const char* server :
       {"no-such-host.bed.test", "0.0.0.0", "255.255.255.255", "300.1.2.3", " 127.0.0.2"}) {
    auto start = Clock::now();
    EXPECT_TRUE(Ask(server, kDomain, 10).empty()) << server;
    EXPECT_LT(SecondsSince(start), 5.0) << server;
  }
}

TEST_F(FakeServerTest, ResolveKeepsAnswerOrderAndWritesDecimalPreferences) {
  KESTRA_REQUIRE_TESTBED();
  FakeDnsServer server(Address(51), [](const Bytes& q) {
    return std::vector<FakeReply>{{DnsReply(q)
                                       .Mx(20, "b.test")
                                       .Mx(10, "a.test")
                                       .Mx(10, "a.test")
                                       .Mx(0, "z.test")
                                       .Mx(65535, "y.test")
                                       .Build()}};
  });
  ASSERT_TRUE(server.Started());
  dns::MxResolver r;
  EXPECT_EQ(r.GetNextExchange(), nullptr) << "before any first";
  EXPECT_EQ(r.GetFirstPreference(), nullptr);
  ASSERT_TRUE(r.Resolve(kDomain, server.Address(), 5));
  EXPECT_EQ(r.GetCount(), 5);
  std::vector<std::string> exchanges, preferences;
  for (const std::string* p = r.GetFirstExchange(); p; p = r.GetNextExchange())
    exchanges.push_back(*p);
  for (const std::string* p = r.GetFirstPreference(); p; p = r.GetNextPreference())
    preferences.push_back(*p);
  EXPECT_EQ(exchanges,
            (std::vector<std::string>{"b.test", "a.test", "a.test", "z.test", "y.test"}));
  EXPECT_EQ(preferences, (std::vector<std::string>{"20", "10", "10", "0", "65535"}));
  EXPECT_EQ(r.GetNextExchange(), nullptr) << "stays at the end";
  // The texts stay put while the object lives; a second resolve appends.
  const std::string* first = r.GetFirstExchange();
  ASSERT_TRUE(r.Resolve(kDomain, server.Address(), 5));
  EXPECT_EQ(r.GetCount(), 10);
  EXPECT_EQ(*first, "b.test");
}

}  // namespace
