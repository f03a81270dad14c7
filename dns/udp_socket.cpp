#include "dns/udp_socket.h"

#include <limits>
#include <vector>

namespace {
constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;

// No datagram exceeds 65,535 bytes, so the doubling ends here at the latest.
constexpr std::int32_t kMaxBufferSize = 65536;
}  // namespace

void CUDPSocket::SetHost(const std::string& host) {
  m_strHost = host;
  m_bHostResolved = false;
  if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
    m_address.address = platform::InetAddr(host);
    m_bHostResolved = true;
    return;
  }
  std::vector<std::uint32_t> addresses;
  if (!host.empty() && platform::ResolveHost(host, &addresses) == 0 && !addresses.empty()) {
    m_address.address = addresses.front();
    m_bHostResolved = true;
    return;
  }
  m_strError = "invalid host name.";
}

bool CUDPSocket::HasUsableAddress() const {
  return m_bHostResolved && m_address.address != 0 && m_address.address != kAddressNone;
}

std::int32_t CUDPSocket::TimeoutToMs(std::int32_t seconds) {
  if (seconds <= 0) return 0;
  const std::int64_t ms = std::int64_t{seconds} * 1000;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

bool CUDPSocket::Create() {
  m_hSocket = platform::OpenSocket(m_nType);
  if (m_hSocket == platform::kInvalidSocket) {
    m_strError = "Failure to initalize the socket.";
    return false;
  }
  if (!platform::Bind(m_hSocket, platform::Endpoint{0, 0})) {
    m_strError = "Failure to bind.";
    return false;
  }
  if (!platform::SetReceiveTimeoutMs(m_hSocket, TimeoutToMs(m_nTimeout))) {
    m_strError = "Failure to setsockopt.";
    return false;
  }
  return true;
}

bool CUDPSocket::Open(std::int32_t type, std::uint16_t port, const std::string& host,
                      std::int32_t timeout) {
  SetTimeout(timeout);
  SetType(type);
  SetPort(port);
  SetHost(host);
  return Create();
}

bool CUDPSocket::ReportUnreachable() {
  if (!platform::ReportUnreachable(m_hSocket, m_address)) {
    m_nLastError = platform::LastSocketError();
    return false;
  }
  return true;
}

int CUDPSocket::Send(std::string_view bytes) {
  return platform::SendTo(m_hSocket, bytes.data(), bytes.size(), m_address);
}

int CUDPSocket::PeekSize() {
  m_nLastError = 0;
  // Most replies fit the first peek; it needs no allocation.
  char small[kInitialBufferSize];
  std::vector<char> large;
  for (;;) {
    char* buffer = small;
    if (m_nBufferSize > kInitialBufferSize) {
      large.resize(static_cast<std::size_t>(m_nBufferSize));
      buffer = large.data();
    }
    int n = platform::RecvFrom(m_hSocket, buffer, static_cast<std::size_t>(m_nBufferSize), true,
                               &m_sender);
    if (n >= 0) return n;
    const int error = platform::LastSocketError();
    if (error == platform::wsa::kEMSGSIZE && m_nBufferSize < kMaxBufferSize) {
      m_nBufferSize *= 2;
      continue;
    }
    m_nLastError = error;
    return error == platform::wsa::kETIMEDOUT ? -1 : -2;
  }
}

int CUDPSocket::ReadPeeked(char* dst, std::size_t n) {
  const int read = platform::RecvFrom(m_hSocket, dst, n, false, &m_sender);
  if (read < 0) m_nLastError = platform::LastSocketError();
  return read;
}

int CUDPSocket::Receive(std::string* out) {
  const int n = PeekSize();
  if (n < 0) return n == -1 ? -1 : 0;
  const std::size_t old_size = out->size();
  out->resize(old_size + static_cast<std::size_t>(n));
  const int read = ReadPeeked(out->data() + old_size, static_cast<std::size_t>(n));
  if (read < 0) {
    out->resize(old_size);
    return 0;
  }
  out->resize(old_size + static_cast<std::size_t>(read));
  return read;
}

int CUDPSocket::Receive(char* buffer, std::size_t capacity, std::string* large) {
  const int n = PeekSize();
  if (n < 0) return n == -1 ? -1 : 0;
  const auto size = static_cast<std::size_t>(n);
  if (size > capacity) {
    large->resize(size);
    buffer = large->data();
  }
  const int read = ReadPeeked(buffer, size);
  if (read < 0) return 0;
  if (size > capacity) large->resize(static_cast<std::size_t>(read));
  return read;
}

void CUDPSocket::Close() {
  if (m_hSocket == platform::kInvalidSocket) return;
  platform::CloseSocket(m_hSocket);
  m_hSocket = platform::kInvalidSocket;
}

CMXServer::CMXServer() {
  m_nType = platform::kSockStream;
  m_address.port = 25;
}
