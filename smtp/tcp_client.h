// smtp::TcpClient: a thin blocking IPv4 client socket over platform/net.h, as the SMTP
// probe uses it. Each operation is one platform call plus error bookkeeping: a failing
// call leaves the platform's error code as the thread's last error and returns its
// failure value. The object keeps no error of its own, no buffer and no line handling.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/net.h"

namespace smtp {

// What a host name resolves to: the name as asked and its IPv4 addresses (network byte
// order) in the resolver's order. Owned by the caller, unlike the platform's hostent.
struct HostEntry {
  std::string name;
  std::vector<std::uint32_t> addresses;
};

class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Starts the socket library and opens an AF_INET socket of the given type, closing
  // the one held before. A start that succeeded counts even when the socket does not
  // open: the destructor releases it.
  bool Socket(int type);
  // A stream socket, bound as asked: an address text (empty = any local address) binds
  // to it and `port`; no address text binds to any local address only for a non-zero
  // port. Returns 1 or 0; a failed bind leaves the handle open for Close or the
  // destructor.
  int Create(std::uint16_t port = 0, const char* address = nullptr);
  // Resolves a host name (or dotted IPv4 text); none when it does not resolve.
  std::optional<HostEntry> GetHostByName(const std::string& host);
  // Connects to the first address of the entry only.
  bool ConnectAddress(const HostEntry& host, std::uint16_t port);
  // GetHostByName then ConnectAddress; 1 = connected, 0 = failure.
  int Connect(const std::string& host, std::uint16_t port);
  // One send: the count the platform took (a partial count is not retried), or -1.
  int Send(const void* data, int length);
  // One receive: bytes received, 0 when the peer has closed, or -1. No terminator.
  int Receive(void* buffer, int size);
  // On success the handle becomes invalid; on failure it stays for another try.
  bool Close();

  // Bounded waits. The platform's own calls would block for as long as the peer
  // likes; the probe sets a bound for connecting and waits before each receive.
  // A negative wait connects the plain blocking way.
  void SetConnectWait(int ms) { m_nConnectWaitMs = ms; }
  // 1 readable (data or the peer's close), 0 time-out (last error WSAETIMEDOUT), -1 error.
  int WaitReadable(int ms);

  platform::SocketHandle Handle() const { return m_socket.Get(); }

 private:
  platform::UniqueSocket m_socket;
  // One start of the socket library per Socket() call that got one; each is released
  // once when the client goes, after the socket.
  std::vector<platform::SocketLibrary> m_libraries;
  int m_nConnectWaitMs = -1;
};

}  // namespace smtp
