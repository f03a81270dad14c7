#include "smtp/tcp_client.h"

#include <utility>

namespace smtp {
namespace {

void RecordSocketError() {
  platform::SetThreadLastError(platform::LastSocketError());
}

}  // namespace

TcpClient::~TcpClient() {
  // The socket goes before the library it was made with.
  m_socket.Reset();
  m_libraries.clear();
}

bool TcpClient::Socket(int type) {
  platform::SocketLibrary library;
  if (!library.Started()) {
    platform::SetThreadLastError(library.Error());
    return false;
  }
  m_libraries.push_back(std::move(library));
  m_socket.Reset(platform::OpenSocket(type));
  if (!m_socket.Valid()) {
    RecordSocketError();
    return false;
  }
  return true;
}

int TcpClient::Create(std::uint16_t port, const char* address) {
  if (!Socket(platform::kSockStream)) return 0;
  std::uint32_t local = 0;  // INADDR_ANY
  if (address != nullptr) {
    if (*address != '\0') local = platform::InetAddr(address);
  } else if (port == 0) {
    return 1;
  }
  if (!platform::Bind(m_socket.Get(), platform::Endpoint{local, port})) {
    RecordSocketError();
    return 0;
  }
  return 1;
}

std::optional<HostEntry> TcpClient::GetHostByName(const std::string& host) {
  HostEntry entry;
  entry.name = host;
  int rc = platform::ResolveHost(host, &entry.addresses);
  if (rc != 0) {
    platform::SetThreadLastError(rc);
    return std::nullopt;
  }
  return entry;
}

bool TcpClient::ConnectAddress(const HostEntry& host, std::uint16_t port) {
  if (host.addresses.empty()) {
    platform::SetThreadLastError(platform::wsa::kNO_DATA);
    return false;
  }
  const platform::Endpoint peer{host.addresses.front(), port};
  bool ok = m_nConnectWaitMs < 0 ? platform::Connect(m_socket.Get(), peer)
                                 : platform::ConnectWithin(m_socket.Get(), peer, m_nConnectWaitMs);
  if (!ok) {
    RecordSocketError();
    return false;
  }
  return true;
}

int TcpClient::Connect(const std::string& host, std::uint16_t port) {
  std::optional<HostEntry> entry = GetHostByName(host);
  if (!entry) return 0;
  return ConnectAddress(*entry, port) ? 1 : 0;
}

int TcpClient::Send(const void* data, int length) {
  if (length < 0) {
    platform::SetThreadLastError(platform::wsa::kEINVAL);
    return -1;
  }
  int n = platform::Send(m_socket.Get(), data, static_cast<std::size_t>(length));
  if (n < 0) RecordSocketError();
  return n;
}

int TcpClient::Receive(void* buffer, int size) {
  if (size < 0) {
    platform::SetThreadLastError(platform::wsa::kEINVAL);
    return -1;
  }
  int n = platform::Recv(m_socket.Get(), buffer, static_cast<std::size_t>(size));
  if (n < 0) RecordSocketError();
  return n;
}

bool TcpClient::Close() {
  if (!m_socket.Close()) {
    RecordSocketError();
    return false;
  }
  return true;
}

int TcpClient::WaitReadable(int ms) {
  int rc = platform::WaitReadable(m_socket.Get(), ms);
  if (rc < 0) RecordSocketError();
  if (rc == 0) platform::SetThreadLastError(platform::wsa::kETIMEDOUT);
  return rc;
}

}  // namespace smtp
