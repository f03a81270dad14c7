#include "smtp/tcp_client.h"

namespace smtp {

platform::Result<void> TcpClient::Connect(const platform::IpAddress& address, std::uint16_t port,
                                          int wait_ms) {
  platform::Result<platform::UniqueSocket> socket =
      platform::OpenSocket(platform::kSockStream, address.family);
  if (!socket) return socket.failure();
  m_socket = std::move(*socket);
  if (auto bound = platform::Bind(m_socket.Get(), platform::Endpoint::Any(address.family));
      !bound) {
    return bound;
  }
  return platform::ConnectWithin(m_socket.Get(), {address, port}, wait_ms);
}

platform::Result<std::size_t> TcpClient::Send(std::string_view bytes) {
  return platform::Send(m_socket.Get(), bytes.data(), bytes.size());
}

platform::Result<void> TcpClient::WaitReadable(int ms) {
  return platform::WaitReadable(m_socket.Get(), ms);
}

platform::Result<std::size_t> TcpClient::Receive(char* buffer, std::size_t size) {
  return platform::Recv(m_socket.Get(), buffer, size);
}

}  // namespace smtp
