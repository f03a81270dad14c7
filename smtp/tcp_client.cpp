#include "smtp/tcp_client.h"

namespace smtp {
namespace {

platform::Failure LastFailure() {
  return platform::SocketFailure(platform::LastSocketError());
}

}  // namespace

platform::Result<void> TcpClient::Connect(const platform::IpAddress& address, std::uint16_t port,
                                          int wait_ms) {
  m_socket.Reset(platform::OpenSocket(platform::kSockStream, address.family));
  if (!m_socket.Valid() ||
      !platform::Bind(m_socket.Get(), platform::Endpoint::Any(address.family))) {
    return LastFailure();
  }
  if (!platform::ConnectWithin(m_socket.Get(), {address, port}, wait_ms)) {
    return LastFailure();
  }
  return {};
}

platform::Result<std::size_t> TcpClient::Send(std::string_view bytes) {
  const int n = platform::Send(m_socket.Get(), bytes.data(), bytes.size());
  if (n < 0) return LastFailure();
  return static_cast<std::size_t>(n);
}

platform::Result<void> TcpClient::WaitReadable(int ms) {
  const int ready = platform::WaitReadable(m_socket.Get(), ms);
  if (ready < 0) return LastFailure();
  if (ready == 0) return platform::SocketFailure(platform::wsa::kETIMEDOUT);
  return {};
}

platform::Result<std::size_t> TcpClient::Receive(char* buffer, std::size_t size) {
  const int n = platform::Recv(m_socket.Get(), buffer, size);
  if (n < 0) return LastFailure();
  return static_cast<std::size_t>(n);
}

}  // namespace smtp
