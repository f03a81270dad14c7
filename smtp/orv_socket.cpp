#include "smtp/orv_socket.h"

namespace {

void RecordSocketError() {
  platform::SetThreadLastError(platform::LastSocketError());
}

}  // namespace

COrvSocket::COrvSocket() : m_hSocket(platform::kInvalidSocket) {}

COrvSocket::~COrvSocket() {
  if (m_hSocket != platform::kInvalidSocket) Close();
  // Release only what this object started: an unmatched release would tear down a
  // start made by someone else in the process.
  for (; m_nStartups > 0; --m_nStartups) platform::SocketCleanup();
}

bool COrvSocket::Socket(int type) {
  int rc = platform::SocketStartup(2, 2);
  if (rc != 0) {
    platform::SetThreadLastError(rc);
    return false;
  }
  ++m_nStartups;
  m_hSocket = platform::OpenSocket(type);
  if (m_hSocket == platform::kInvalidSocket) {
    RecordSocketError();
    return false;
  }
  return true;
}

int COrvSocket::Create(std::uint16_t port, const char* address) {
  if (!Socket(platform::kSockStream)) return 0;
  std::uint32_t local = 0;  // INADDR_ANY
  if (address != nullptr) {
    if (*address != '\0') local = platform::InetAddr(address);
  } else if (port == 0) {
    return 1;
  }
  if (!platform::Bind(m_hSocket, platform::Endpoint{local, port})) {
    RecordSocketError();
    return 0;
  }
  return 1;
}

std::optional<COrvHostEntry> COrvSocket::GetHostByName(const std::string& host) {
  COrvHostEntry entry;
  entry.name = host;
  int rc = platform::ResolveHost(host, &entry.addresses);
  if (rc != 0) {
    platform::SetThreadLastError(rc);
    return std::nullopt;
  }
  return entry;
}

bool COrvSocket::ConnectAddress(const COrvHostEntry& host, std::uint16_t port) {
  if (host.addresses.empty()) {
    platform::SetThreadLastError(platform::wsa::kNO_DATA);
    return false;
  }
  const platform::Endpoint peer{host.addresses.front(), port};
  bool ok = m_nConnectWaitMs < 0 ? platform::Connect(m_hSocket, peer)
                                 : platform::ConnectWithin(m_hSocket, peer, m_nConnectWaitMs);
  if (!ok) {
    RecordSocketError();
    return false;
  }
  return true;
}

int COrvSocket::Connect(const std::string& host, std::uint16_t port) {
  std::optional<COrvHostEntry> entry = GetHostByName(host);
  if (!entry) return 0;
  return ConnectAddress(*entry, port) ? 1 : 0;
}

int COrvSocket::Send(const void* data, int length) {
  if (length < 0) {
    platform::SetThreadLastError(platform::wsa::kEINVAL);
    return -1;
  }
  int n = platform::Send(m_hSocket, data, static_cast<std::size_t>(length));
  if (n < 0) RecordSocketError();
  return n;
}

int COrvSocket::Receive(void* buffer, int size) {
  if (size < 0) {
    platform::SetThreadLastError(platform::wsa::kEINVAL);
    return -1;
  }
  int n = platform::Recv(m_hSocket, buffer, static_cast<std::size_t>(size));
  if (n < 0) RecordSocketError();
  return n;
}

bool COrvSocket::Close() {
  if (!platform::CloseSocket(m_hSocket)) {
    RecordSocketError();
    return false;
  }
  m_hSocket = platform::kInvalidSocket;
  return true;
}

int COrvSocket::WaitReadable(int ms) {
  int rc = platform::WaitReadable(m_hSocket, ms);
  if (rc < 0) RecordSocketError();
  if (rc == 0) platform::SetThreadLastError(platform::wsa::kETIMEDOUT);
  return rc;
}
