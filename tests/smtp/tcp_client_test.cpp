// smtp::TcpClient over loopback: bind rules, first-address-only connects, one-shot send and
// receive, closing, and the last error each failure leaves. Addresses are given as
// host entries here, so nothing reaches a resolver.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/net.h"
#include "smtp/tcp_client.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 20;

class TcpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::SocketStartup(2, 2), 0); }
  void TearDown() override {
    for (platform::SocketHandle s : m_open) platform::CloseSocket(s);
    platform::SetSocketStartupFailureForTesting(false);
    platform::SocketCleanup();
  }

  // A listening socket on 127.0.20.n, port chosen by the system; returns its endpoint.
  platform::Endpoint Listener(int n, int backlog = 4) {
    platform::SocketHandle s = platform::OpenSocket(platform::kSockStream);
    EXPECT_NE(s, platform::kInvalidSocket);
    platform::Endpoint local{platform::InetAddr(testbed::FakeAddress(kBlock, n)), 0};
    EXPECT_TRUE(platform::Bind(s, local));
    EXPECT_TRUE(platform::Listen(s, backlog));
    EXPECT_TRUE(platform::LocalEndpoint(s, &local));
    m_open.push_back(s);
    listener = s;
    return local;
  }

  platform::SocketHandle AcceptOne() {
    if (platform::WaitReadable(listener, 5000) != 1) return platform::kInvalidSocket;
    platform::SocketHandle s = platform::Accept(listener, nullptr);
    if (s != platform::kInvalidSocket) m_open.push_back(s);
    return s;
  }

  platform::SocketHandle listener = platform::kInvalidSocket;

 private:
  std::vector<platform::SocketHandle> m_open;
};

smtp::HostEntry Entry(std::vector<std::string> addresses) {
  smtp::HostEntry entry;
  for (const std::string& a : addresses) entry.addresses.push_back(platform::InetAddr(a));
  return entry;
}

TEST_F(TcpClientTest, CreateBindsAsAsked) {
  // A port that is free right now, for the case that binds a given port.
  std::uint16_t free_port = 0;
  {
    smtp::TcpClient probe;
    ASSERT_EQ(probe.Create(0, ""), 1);
    platform::Endpoint local;
    ASSERT_TRUE(platform::LocalEndpoint(probe.Handle(), &local));
    free_port = local.port;
  }
  const std::string own = testbed::FakeAddress(kBlock, 9);
  const struct {
    const char* name;
    std::uint16_t port;
    const char* address;
    bool bound;                // the system gave it a local port
    std::uint32_t local;       // expected local address when bound
    std::uint16_t local_port;  // expected local port, 0 = any ephemeral one
  } cases[] = {
      {"no address, port 0: not bound", 0, nullptr, false, 0, 0},
      {"empty address: any address, ephemeral port", 0, "", true, 0, 0},
      {"given address", 0, own.c_str(), true, platform::InetAddr(own), 0},
      {"no address, given port", free_port, nullptr, true, 0, free_port},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    smtp::TcpClient socket;
    ASSERT_EQ(socket.Create(c.port, c.address), 1);
    ASSERT_NE(socket.Handle(), platform::kInvalidSocket);
    platform::Endpoint local;
    bool named = platform::LocalEndpoint(socket.Handle(), &local);
    if (c.bound) {
      ASSERT_TRUE(named);
      EXPECT_EQ(local.address, c.local);
      if (c.local_port != 0) {
        EXPECT_EQ(local.port, c.local_port);
      } else {
        EXPECT_NE(local.port, 0);
      }
    } else {
      // Unbound: either no name at all (Winsock) or the zero endpoint (BSD).
      if (named) {
        EXPECT_EQ(local, (platform::Endpoint{0, 0}));
      }
    }
  }
}

TEST_F(TcpClientTest, AFailedBindLeavesTheHandleOpenAndTheErrorSet) {
  smtp::TcpClient socket;
  platform::SetThreadLastError(0);
  // 192.0.2.1 is no address of this machine, so binding to it fails.
  EXPECT_EQ(socket.Create(0, "192.0.2.1"), 0);
  EXPECT_NE(socket.Handle(), platform::kInvalidSocket);
  EXPECT_NE(platform::ThreadLastError(), 0);
  EXPECT_TRUE(socket.Close());
  EXPECT_EQ(socket.Handle(), platform::kInvalidSocket);
}

TEST_F(TcpClientTest, ASocketLibraryThatWillNotStartLeavesItsError) {
  platform::SetSocketStartupFailureForTesting(true);
  smtp::TcpClient socket;
  EXPECT_FALSE(socket.Socket(platform::kSockStream));
  EXPECT_EQ(socket.Handle(), platform::kInvalidSocket);
  EXPECT_EQ(platform::ThreadLastError(), 10091);  // WSASYSNOTREADY
  EXPECT_EQ(socket.Create(), 0);
}

TEST_F(TcpClientTest, ANewSocketClosesTheOneHeld) {
  smtp::TcpClient client;
  ASSERT_TRUE(client.Socket(platform::kSockStream));
  const platform::SocketHandle first = client.Handle();
  ASSERT_TRUE(client.Socket(platform::kSockStream));
  EXPECT_NE(client.Handle(), first);
  // Nothing else has opened a socket since, so the first handle's number is still free.
  EXPECT_FALSE(platform::CloseSocket(first)) << "the first socket was left open";
}

TEST_F(TcpClientTest, ConnectsToTheFirstAddressOnly) {
  platform::Endpoint server = Listener(1);
  const std::string listening = platform::AddressToText(server.address);
  const std::string refusing = testbed::FakeAddress(kBlock, 2);  // nothing listens there
  {
    smtp::TcpClient socket;
    ASSERT_EQ(socket.Create(0, ""), 1);
    EXPECT_FALSE(socket.ConnectAddress(Entry({refusing, listening}), server.port));
    EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kECONNREFUSED);
  }
  {
    smtp::TcpClient socket;
    ASSERT_EQ(socket.Create(0, ""), 1);
    EXPECT_TRUE(socket.ConnectAddress(Entry({listening, refusing}), server.port));
  }
  {
    smtp::TcpClient socket;
    ASSERT_EQ(socket.Create(0, ""), 1);
    EXPECT_FALSE(socket.ConnectAddress(Entry({}), server.port));
    EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kNO_DATA);
  }
}

TEST_F(TcpClientTest, SendAndReceiveAreOneCallEachAndWriteNoTerminator) {
  platform::Endpoint server = Listener(3);
  smtp::TcpClient socket;
  ASSERT_EQ(socket.Create(0, ""), 1);
  socket.SetConnectWait(5000);
  ASSERT_TRUE(socket.ConnectAddress(Entry({platform::AddressToText(server.address)}), server.port));
  platform::SocketHandle peer = AcceptOne();
  ASSERT_NE(peer, platform::kInvalidSocket);

  EXPECT_EQ(socket.Send("HELO x\r\n", 8), 8);
  std::array<char, 16> got{};
  ASSERT_EQ(platform::WaitReadable(peer, 5000), 1);
  EXPECT_EQ(platform::Recv(peer, got.data(), got.size()), 8);
  EXPECT_EQ(std::string(got.data(), 8), "HELO x\r\n");

  ASSERT_EQ(platform::Send(peer, "220 hi", 6), 6);
  std::array<char, 16> buffer;
  buffer.fill('#');
  ASSERT_EQ(socket.WaitReadable(5000), 1);
  ASSERT_EQ(socket.Receive(buffer.data(), static_cast<int>(buffer.size())), 6);
  EXPECT_EQ(std::string(buffer.data(), 6), "220 hi");
  EXPECT_EQ(buffer[6], '#') << "Receive wrote past the received bytes";

  // The peer closes: Receive reads 0 and leaves the buffer alone.
  ASSERT_TRUE(platform::CloseSocket(peer));
  buffer.fill('#');
  ASSERT_EQ(socket.WaitReadable(5000), 1);
  EXPECT_EQ(socket.Receive(buffer.data(), static_cast<int>(buffer.size())), 0);
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(TcpClientTest, FailuresReturnTheirValueAndLeaveTheError) {
  smtp::TcpClient socket;
  ASSERT_EQ(socket.Create(0, ""), 1);
  std::array<char, 8> buffer{};
  platform::SetThreadLastError(0);
  EXPECT_EQ(socket.Receive(buffer.data(), static_cast<int>(buffer.size())), -1);
  EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kENOTCONN);
  platform::SetThreadLastError(0);
  EXPECT_EQ(socket.Send("x", 1), -1);
  EXPECT_NE(platform::ThreadLastError(), 0);

  ASSERT_TRUE(socket.Close());
  platform::SetThreadLastError(0);
  EXPECT_FALSE(socket.Close()) << "closing twice";
  EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kENOTSOCK);
}

TEST_F(TcpClientTest, TheDestructorClosesAnOpenHandle) {
  platform::Endpoint server = Listener(4);
  auto socket = std::make_unique<smtp::TcpClient>();
  ASSERT_EQ(socket->Create(0, ""), 1);
  ASSERT_EQ(socket->Connect(platform::AddressToText(server.address), server.port), 1);
  platform::SocketHandle peer = AcceptOne();
  ASSERT_NE(peer, platform::kInvalidSocket);
  socket.reset();
  std::array<char, 8> buffer{};
  ASSERT_EQ(platform::WaitReadable(peer, 5000), 1);
  EXPECT_EQ(platform::Recv(peer, buffer.data(), buffer.size()), 0) << "the peer saw no close";
}

TEST_F(TcpClientTest, AWaitForBytesEndsWithWsaeTimedOut) {
  platform::Endpoint server = Listener(5);
  smtp::TcpClient socket;
  ASSERT_EQ(socket.Create(0, ""), 1);
  ASSERT_EQ(socket.Connect(platform::AddressToText(server.address), server.port), 1);
  platform::SetThreadLastError(0);
  EXPECT_EQ(socket.WaitReadable(100), 0);
  EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kETIMEDOUT);
}

// A listener whose queue is full drops further connection attempts, so a bounded
// connect must give up with WSAETIMEDOUT instead of waiting for the system's retries.
TEST_F(TcpClientTest, ABoundedConnectGivesUp) {
  platform::Endpoint server = Listener(6, 0);
  const smtp::HostEntry entry = Entry({platform::AddressToText(server.address)});
  std::vector<std::unique_ptr<smtp::TcpClient>> clients;
  bool timed_out = false;
  for (int i = 0; i < 8 && !timed_out; ++i) {
    auto client = std::make_unique<smtp::TcpClient>();
    ASSERT_EQ(client->Create(0, ""), 1);
    client->SetConnectWait(300);
    if (!client->ConnectAddress(entry, server.port)) {
      EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kETIMEDOUT);
      timed_out = true;
    }
    clients.push_back(std::move(client));
  }
  EXPECT_TRUE(timed_out) << "every connection was taken; the queue never filled";
}

}  // namespace
