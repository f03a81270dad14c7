// The socket layer against the real servers of the test bed, natively and under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/net.h"
#include "testbed.h"

#ifdef _WIN32
#include <thread>

#include "tests/common/winsock_watch.h"
#endif

namespace {

class SocketLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::SocketStartup(2, 2), 0); }
  void TearDown() override { platform::SocketCleanup(); }
};

// A hand-made MX query for bed.test (ID 0x4242, RD 0).
std::vector<unsigned char> BedQuery() {
  return {0x42, 0x42, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
          'b',  'e',  'd',  0x04, 't',  'e',  's',  't',  0x00, 0x00, 0x0f, 0x00, 0x01};
}

TEST_F(SocketLibrary, RealDnsServerAnswersAnMxQueryOverUdp) {
  KESTRA_REQUIRE_TESTBED();
  platform::SocketHandle s = platform::OpenSocket(platform::kSockDgram);
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::Bind(s, {0, 0}));
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(s, 5000));
  auto query = BedQuery();
  platform::Endpoint server{platform::InetAddr(testbed::DnsServer()), 53};
  ASSERT_EQ(platform::SendTo(s, query.data(), query.size(), server),
            static_cast<int>(query.size()));

  // A 12-byte peek buffer is too small: Winsock's WSAEMSGSIZE on both platforms, and the
  // datagram stays queued for the real read.
  std::array<unsigned char, 12> small{};
  platform::Endpoint from;
  EXPECT_EQ(platform::RecvFrom(s, small.data(), small.size(), true, &from), -1);
  EXPECT_EQ(platform::LastSocketError(), platform::wsa::kEMSGSIZE);

  std::array<unsigned char, 512> reply{};
  int n = platform::RecvFrom(s, reply.data(), reply.size(), false, &from);
  ASSERT_GT(n, 12);
  EXPECT_EQ(from, server);
  EXPECT_EQ(reply[0], 0x42);
  EXPECT_EQ(reply[1], 0x42);
  EXPECT_TRUE(reply[2] & 0x80) << "QR set";
  EXPECT_EQ((reply[6] << 8) | reply[7], 1) << "one MX answer";
  EXPECT_TRUE(platform::CloseSocket(s));
}

TEST_F(SocketLibrary, ReceiveTimeOutReadsAsWsaeTimedOut) {
  platform::SocketHandle s = platform::OpenSocket(platform::kSockDgram);
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::Bind(s, {platform::InetAddr("127.0.0.1"), 0}));
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(s, 200));
  std::array<unsigned char, 16> buffer{};
  EXPECT_EQ(platform::RecvFrom(s, buffer.data(), buffer.size(), true, nullptr), -1);
  EXPECT_EQ(platform::LastSocketError(), platform::wsa::kETIMEDOUT);
  platform::CloseSocket(s);
}

TEST_F(SocketLibrary, RealSmtpServerGreetsWith220) {
  KESTRA_REQUIRE_TESTBED();
  platform::SocketHandle s = platform::OpenSocket(platform::kSockStream);
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::ConnectWithin(s, {platform::InetAddr(testbed::SmtpServer()), 25}, 5000));
  ASSERT_EQ(platform::WaitReadable(s, 5000), 1);
  std::array<char, 512> buffer{};
  int n = platform::Recv(s, buffer.data(), buffer.size());
  ASSERT_GE(n, 4);
  EXPECT_EQ(std::string(buffer.data(), 3), "220");
  platform::CloseSocket(s);
}

TEST_F(SocketLibrary, ConnectToAClosedPortIsRefused) {
  platform::SocketHandle s = platform::OpenSocket(platform::kSockStream);
  ASSERT_NE(s, platform::kInvalidSocket);
  EXPECT_FALSE(platform::ConnectWithin(s, {platform::InetAddr("127.0.0.1"), 9}, 5000));
  EXPECT_EQ(platform::LastSocketError(), platform::wsa::kECONNREFUSED);
  platform::CloseSocket(s);
}

TEST(Platform, InetAddrAndTextRoundTrip) {
  EXPECT_EQ(platform::AddressToText(platform::InetAddr("200.1.2.250")), "200.1.2.250");
  EXPECT_EQ(platform::InetAddr("not an address"), 0xFFFFFFFFu);
}

TEST(Platform, CryptoRandomFillsTheBuffer) {
  std::array<unsigned char, 64> a{}, b{};
  ASSERT_TRUE(platform::CryptoRandom(a.data(), a.size()));
  ASSERT_TRUE(platform::CryptoRandom(b.data(), b.size()));
  EXPECT_NE(a, b);
}

#ifdef _WIN32
// Starts and stops of the socket library take turns, or Wine's start count goes wrong
// and closes the sockets of a start that is still held.
TEST(SocketLibraryStart, StartsAndStopsTakeTurnsAndAHeldSocketStaysUsable) {
  const platform::SocketLibrary start;
  ASSERT_TRUE(start.Started());
  platform::UniqueSocket held(platform::OpenSocket(platform::kSockDgram));
  platform::Endpoint here{platform::InetAddr("127.0.0.1"), 0};
  ASSERT_TRUE(held.Valid());
  ASSERT_TRUE(platform::Bind(held.Get(), here) && platform::LocalEndpoint(held.Get(), &here));
  ASSERT_TRUE(platform::SetReceiveTimeoutMs(held.Get(), 5000));
  {
    testbed::WinsockWatch watch;
    ASSERT_TRUE(watch.Watching());
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([] {
        for (int i = 0; i < 2; ++i) platform::SocketLibrary library;
      });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(watch.Seen().starts, 6);
    EXPECT_EQ(watch.Seen().most_inside, 1) << "a start and a stop ran at once";
  }
  char byte = 'k';
  EXPECT_EQ(platform::SendTo(held.Get(), &byte, 1, here), 1);
  byte = 0;
  EXPECT_EQ(platform::RecvFrom(held.Get(), &byte, 1, false, nullptr), 1);
  EXPECT_EQ(byte, 'k');
}
#endif

}  // namespace
