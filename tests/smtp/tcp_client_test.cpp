// smtp::TcpClient over loopback: connects, one-shot send and receive,
// closing, and the failure each refusal or wait returns. Addresses are given as
// numbers here, so nothing reaches a resolver.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "failure_of.h"
#include "platform/net.h"
#include "smtp/tcp_client.h"
#include "test_sockets.h"
#include "testbed.h"

namespace {

using platform::Cause;
using platform::Failure;
namespace wsa = platform::wsa;

constexpr int kBlock = 20;

class TcpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }

  // A listening socket on 127.0.20.n, port chosen by the system; returns its endpoint.
  platform::Endpoint Listener(int n, int backlog = 4) {
    platform::Result<platform::UniqueSocket> opened = platform::OpenSocket(platform::kSockStream);
    EXPECT_TRUE(opened);
    if (!opened) return {};
    listener = opened->Get();
    m_open.push_back(std::move(*opened));
    const std::uint32_t address = platform::InetAddr(testbed::FakeAddress(kBlock, n));
    EXPECT_TRUE(platform::Bind(listener, {address, 0}));
    EXPECT_TRUE(testbed::Listen(listener, backlog));
    return testbed::LocalEndpoint(listener).value_or(platform::Endpoint{});
  }

  platform::SocketHandle AcceptOne() {
    if (!platform::WaitReadable(listener, 5000)) return platform::kInvalidSocket;
    m_open.emplace_back(testbed::Accept(listener));
    return m_open.back().Get();
  }

  // Closes a socket the fixture holds.
  void Close(platform::SocketHandle s) {
    for (platform::UniqueSocket& held : m_open) {
      if (held.Get() == s) held.Reset();
    }
  }

  platform::SocketHandle listener = platform::kInvalidSocket;

 private:
  std::vector<platform::UniqueSocket> m_open;
};

TEST_F(TcpClientTest, ARefusedConnectionIsUnreachable) {
  const platform::Endpoint server = Listener(1);
  const auto refusing =
      platform::IpAddress::V4(platform::InetAddr(testbed::FakeAddress(kBlock, 2)));
  smtp::TcpClient client;
  EXPECT_EQ(testbed::FailureOf(client.Connect(refusing, server.port, 5000)),
            (Failure{Cause::kUnreachable, wsa::kECONNREFUSED}));
  EXPECT_EQ(testbed::FailureOf(client.Connect(server.address, server.port, 5000)), std::nullopt);
}

TEST_F(TcpClientTest, SendAndReceiveAreOneCallEachAndWriteNoTerminator) {
  const platform::Endpoint server = Listener(3);
  smtp::TcpClient client;
  ASSERT_TRUE(client.Connect(server.address, server.port, 5000));
  const platform::SocketHandle peer = AcceptOne();
  ASSERT_NE(peer, platform::kInvalidSocket);

  const platform::Result<std::size_t> sent = client.Send("HELO x\r\n");
  ASSERT_TRUE(sent);
  EXPECT_EQ(*sent, 8u);
  std::array<char, 16> got{};
  ASSERT_TRUE(platform::WaitReadable(peer, 5000));
  const platform::Result<std::size_t> got_count = platform::Recv(peer, got.data(), got.size());
  ASSERT_TRUE(got_count);
  EXPECT_EQ(std::string(got.data(), *got_count), "HELO x\r\n");

  ASSERT_TRUE(platform::Send(peer, "220 hi", 6));
  std::array<char, 16> buffer;
  buffer.fill('#');
  ASSERT_TRUE(client.WaitReadable(5000));
  platform::Result<std::size_t> received = client.Receive(buffer.data(), buffer.size());
  ASSERT_TRUE(received);
  EXPECT_EQ(std::string(buffer.data(), *received), "220 hi");
  EXPECT_EQ(buffer[6], '#') << "Receive wrote past the received bytes";

  // The peer closes: Receive reads 0 and leaves the buffer alone.
  Close(peer);
  buffer.fill('#');
  ASSERT_TRUE(client.WaitReadable(5000));
  received = client.Receive(buffer.data(), buffer.size());
  ASSERT_TRUE(received);
  EXPECT_EQ(*received, 0u);
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(TcpClientTest, TheDestructorClosesTheSocket) {
  const platform::Endpoint server = Listener(4);
  auto client = std::make_unique<smtp::TcpClient>();
  ASSERT_TRUE(client->Connect(server.address, server.port, 5000));
  const platform::SocketHandle peer = AcceptOne();
  ASSERT_NE(peer, platform::kInvalidSocket);
  client.reset();
  std::array<char, 8> buffer{};
  ASSERT_TRUE(platform::WaitReadable(peer, 5000));
  const platform::Result<std::size_t> n = platform::Recv(peer, buffer.data(), buffer.size());
  ASSERT_TRUE(n);
  EXPECT_EQ(*n, 0u) << "the peer saw no close";
}

TEST_F(TcpClientTest, AWaitForBytesEndsWithWsaeTimedOut) {
  const platform::Endpoint server = Listener(5);
  smtp::TcpClient client;
  ASSERT_TRUE(client.Connect(server.address, server.port, 5000));
  EXPECT_EQ(testbed::FailureOf(client.WaitReadable(100)),
            (Failure{Cause::kTimeout, wsa::kETIMEDOUT}));
}

// A listener whose queue is full drops further connection attempts, so a bounded
// connect must give up with WSAETIMEDOUT instead of waiting for the system's retries.
TEST_F(TcpClientTest, ABoundedConnectGivesUp) {
  const platform::Endpoint server = Listener(6, 0);
  std::vector<std::unique_ptr<smtp::TcpClient>> clients;
  std::optional<Failure> failure;
  for (int i = 0; i < 8 && !failure; ++i) {
    clients.push_back(std::make_unique<smtp::TcpClient>());
    failure = testbed::FailureOf(clients.back()->Connect(server.address, server.port, 300));
  }
  EXPECT_EQ(failure, (Failure{Cause::kTimeout, wsa::kETIMEDOUT}))
      << "every connection was taken; the queue never filled";
}

}  // namespace
