// The socket layer against the real servers of the test bed, natively and under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "failure_of.h"
#include "platform/net.h"
#include "test_sockets.h"
#include "testbed.h"

#ifdef _WIN32
#include <thread>

#include "tests/common/winsock_watch.h"
#endif

namespace {

class SocketLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }
};

// A hand-made MX query for bed.test (ID 0x4242, RD 0).
std::vector<unsigned char> BedQuery() {
  return {0x42, 0x42, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
          'b',  'e',  'd',  0x04, 't',  'e',  's',  't',  0x00, 0x00, 0x0f, 0x00, 0x01};
}

TEST_F(SocketLibrary, RealDnsServerAnswersAnMxQueryOverUdp) {
  KESTRA_REQUIRE_TESTBED();
  platform::Result<platform::UniqueSocket> socket = platform::OpenSocket(platform::kSockDgram);
  ASSERT_TRUE(socket);
  const platform::SocketHandle s = socket->Get();
  ASSERT_TRUE(platform::Bind(s, {0, 0}));
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(s, 5000));
  auto query = BedQuery();
  platform::Endpoint server{platform::InetAddr(testbed::DnsServer()), 53};
  const platform::Result<std::size_t> sent =
      platform::SendTo(s, query.data(), query.size(), server);
  ASSERT_TRUE(sent);
  ASSERT_EQ(*sent, query.size());

  // A 12-byte peek buffer is too small: Winsock's WSAEMSGSIZE on both platforms, and the
  // datagram stays queued for the real read.
  std::array<unsigned char, 12> small{};
  platform::Endpoint from;
  EXPECT_EQ(testbed::FailureOf(platform::RecvFrom(s, small.data(), small.size(), true, &from)),
            platform::SocketFailure(platform::wsa::kEMSGSIZE));

  std::array<unsigned char, 512> reply{};
  const platform::Result<std::size_t> n =
      platform::RecvFrom(s, reply.data(), reply.size(), false, &from);
  ASSERT_TRUE(n);
  ASSERT_GT(*n, 12u);
  EXPECT_EQ(from, server);
  EXPECT_EQ(reply[0], 0x42);
  EXPECT_EQ(reply[1], 0x42);
  EXPECT_TRUE(reply[2] & 0x80) << "QR set";
  EXPECT_EQ((reply[6] << 8) | reply[7], 1) << "one MX answer";
}

TEST_F(SocketLibrary, ReceiveTimeOutReadsAsWsaeTimedOut) {
  platform::Result<platform::UniqueSocket> socket = platform::OpenSocket(platform::kSockDgram);
  ASSERT_TRUE(socket);
  const platform::SocketHandle s = socket->Get();
  ASSERT_TRUE(platform::Bind(s, {platform::InetAddr("127.0.0.1"), 0}));
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(s, 200));
  std::array<unsigned char, 16> buffer{};
  EXPECT_EQ(testbed::FailureOf(platform::RecvFrom(s, buffer.data(), buffer.size(), true, nullptr)),
            (platform::Failure{platform::Cause::kTimeout, platform::wsa::kETIMEDOUT}));
  EXPECT_EQ(testbed::FailureOf(platform::WaitReadable(s, 100)),
            (platform::Failure{platform::Cause::kTimeout, platform::wsa::kETIMEDOUT}));
}

TEST_F(SocketLibrary, RealSmtpServerGreetsWith220) {
  KESTRA_REQUIRE_TESTBED();
  platform::Result<platform::UniqueSocket> socket = platform::OpenSocket(platform::kSockStream);
  ASSERT_TRUE(socket);
  const platform::SocketHandle s = socket->Get();
  ASSERT_TRUE(platform::ConnectWithin(s, {platform::InetAddr(testbed::SmtpServer()), 25}, 5000));
  ASSERT_TRUE(platform::WaitReadable(s, 5000));
  std::array<char, 512> buffer{};
  const platform::Result<std::size_t> n = platform::Recv(s, buffer.data(), buffer.size());
  ASSERT_TRUE(n);
  ASSERT_GE(*n, 4u);
  EXPECT_EQ(std::string(buffer.data(), 3), "220");
}

TEST_F(SocketLibrary, ConnectToAClosedPortIsRefused) {
  platform::Result<platform::UniqueSocket> socket = platform::OpenSocket(platform::kSockStream);
  ASSERT_TRUE(socket);
  EXPECT_EQ(testbed::FailureOf(
                platform::ConnectWithin(socket->Get(), {platform::InetAddr("127.0.0.1"), 9}, 5000)),
            (platform::Failure{platform::Cause::kUnreachable, platform::wsa::kECONNREFUSED}));
}

TEST(SocketLayer, AFailedStartIsTriedAgainAtTheNextCall) {
  platform::ReleaseSocketLayer();  // whatever an earlier test started
  platform::SetSocketStartupFailureForTesting(true);
  EXPECT_EQ(testbed::FailureOf(platform::EnsureSocketLayer()),
            (platform::Failure{platform::Cause::kSystem, platform::wsa::kSYSNOTREADY}));
  EXPECT_FALSE(platform::EnsureSocketLayer());
  platform::SetSocketStartupFailureForTesting(false);
  EXPECT_TRUE(platform::EnsureSocketLayer());
  EXPECT_TRUE(platform::EnsureSocketLayer());
}

TEST(Platform, InetAddrAndTextRoundTrip) {
  EXPECT_EQ(testbed::AddressText(platform::InetAddr("200.1.2.250")), "200.1.2.250");
  EXPECT_EQ(platform::IpAddress::V4(platform::InetAddr("200.1.2.250")).Text(), "200.1.2.250");
  EXPECT_EQ(platform::InetAddr("not an address"), 0xFFFFFFFFu);
}

// "::" for the longest run of two or more zero groups (the first on a tie).
TEST(Platform, Ipv6TextIsTheShortestForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"1:0:0:0:0:0:0:0", "1::"},
      {"FE80:0:0:0:0:0:0:ABCD", "fe80::abcd"},
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"}};
  for (const auto& [text, shown] : cases) {
    EXPECT_EQ(platform::ParseIpv6(text).value().Text(), shown) << text;
  }
}

// Where the kinds of address text part, with texts no name server is asked about.
TEST_F(SocketLibrary, AddressTextKinds) {
  using platform::AddressText;
  const auto v4 = [](const char* text) {
    return platform::IpAddress::V4(platform::InetAddr(text));
  };
  const auto loopback6 = platform::ParseIpv6("::1").value();
  const struct {
    const char* text;
    AddressText kind;
    std::optional<platform::IpAddress> address;  // nothing: it fails
  } cases[] = {
      {"[::1]", AddressText::kNumeric, loopback6},
      {"::1", AddressText::kNumericOrName, loopback6},
      {"[::1]", AddressText::kName, loopback6},
      {"127.0.0.1", AddressText::kNumeric, v4("127.0.0.1")},
      {"127.0.0.1", AddressText::kNumericOrName, v4("127.0.0.1")},
      {"127.0.0.1", AddressText::kName, v4("127.0.0.1")},
      // A leading digit is a dotted address to kNumericOrName, right or wrong.
      {"300.1.2.3", AddressText::kNumeric, v4("300.1.2.3")},
      {"300.1.2.3", AddressText::kNumericOrName, v4("300.1.2.3")},
      {"not an address", AddressText::kNumeric, platform::IpAddress::V4(0xFFFFFFFFu)},
      {"", AddressText::kNumeric, platform::IpAddress::V4(0xFFFFFFFFu)},
  };
  for (const auto& c : cases) {
    const auto got = platform::AddressesOf(c.text, c.kind);
    ASSERT_EQ(got.ok(), c.address.has_value()) << c.text;
    if (got) {
      EXPECT_EQ(got->front(), *c.address) << c.text;
    }
  }
}

TEST_F(SocketLibrary, AddressTextKindsOfANameWithOnlyAnIpv6Address) {
  KESTRA_REQUIRE_TESTBED();
  const auto address = [](platform::AddressText kind) -> std::optional<platform::IpAddress> {
    const auto got = platform::AddressesOf("loopback6.bed.test", kind);
    if (!got) return std::nullopt;
    return got->front();
  };
  EXPECT_EQ(address(platform::AddressText::kName), platform::ParseIpv6("::1"));
  EXPECT_EQ(address(platform::AddressText::kNumericOrName), std::nullopt) << "IPv4 only";
  EXPECT_EQ(address(platform::AddressText::kNumeric), platform::IpAddress::V4(0xFFFFFFFFu));
}

TEST(Platform, CryptoRandomFillsTheBuffer) {
  std::array<unsigned char, 64> a{}, b{};
  ASSERT_TRUE(platform::CryptoRandom(a.data(), a.size()));
  ASSERT_TRUE(platform::CryptoRandom(b.data(), b.size()));
  EXPECT_NE(a, b);
}

#ifdef _WIN32
// The first of the threads asking at once starts the layer; the others find it started.
TEST(SocketLayer, ThreadsAskingAtOnceStartItOnce) {
  platform::ReleaseSocketLayer();
  testbed::WinsockWatch watch;
  ASSERT_TRUE(watch.Watching());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] { EXPECT_TRUE(platform::EnsureSocketLayer()); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(watch.Seen().starts, 1);
  EXPECT_EQ(watch.Seen().most_inside, 1);
  platform::ReleaseSocketLayer();
}

// Starts and stops of the socket library take turns, or Wine's start count goes wrong
// and closes the sockets of a start that is still held.
TEST(SocketLayer, StartsAndStopsTakeTurnsAndAHeldSocketStaysUsable) {
  platform::ReleaseSocketLayer();
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);  // held by the test throughout
  platform::Result<platform::UniqueSocket> opened = platform::OpenSocket(platform::kSockDgram);
  ASSERT_TRUE(opened);
  platform::UniqueSocket held = std::move(*opened);
  platform::Endpoint here{platform::InetAddr("127.0.0.1"), 0};
  ASSERT_TRUE(platform::Bind(held.Get(), here));
  const auto bound = testbed::LocalEndpoint(held.Get());
  ASSERT_TRUE(bound);
  here = *bound;
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(held.Get(), 5000));
  {
    testbed::WinsockWatch watch;
    ASSERT_TRUE(watch.Watching());
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([] {
        for (int i = 0; i < 2; ++i) {
          EXPECT_TRUE(platform::EnsureSocketLayer());
          platform::ReleaseSocketLayer();
        }
      });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_GE(watch.Seen().starts, 1);
    EXPECT_EQ(watch.Seen().most_inside, 1) << "a start and a stop ran at once";
  }
  char byte = 'k';
  EXPECT_TRUE(platform::SendTo(held.Get(), &byte, 1, here));
  byte = 0;
  EXPECT_TRUE(platform::RecvFrom(held.Get(), &byte, 1, false, nullptr));
  EXPECT_EQ(byte, 'k');
  held.Reset();
  WSACleanup();
}
#endif

}  // namespace
