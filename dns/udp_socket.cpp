#include "dns/udp_socket.h"

#include <limits>
#include <vector>

namespace dns {
namespace {
constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;

// No datagram exceeds 65,535 bytes, so the doubling ends here at the latest.
constexpr std::int32_t kMaxBufferSize = 65536;
}  // namespace

void UdpSocket::SetHost(const std::string& host) {
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
  }
}

bool UdpSocket::HasUsableAddress() const {
  return m_bHostResolved && m_address.address != 0 && m_address.address != kAddressNone;
}

std::int32_t UdpSocket::TimeoutToMs(std::int32_t seconds) {
  if (seconds <= 0) return 0;
  const std::int64_t ms = std::int64_t{seconds} * 1000;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

bool UdpSocket::Open(const std::string& host, std::uint16_t port, std::int32_t timeout_seconds) {
  m_address.port = port;
  SetHost(host);
  m_socket.Reset(platform::OpenSocket(platform::kSockDgram));
  return m_socket.Valid() && platform::Bind(m_socket.Get(), platform::Endpoint{0, 0}) &&
         platform::SetReceiveTimeoutMs(m_socket.Get(), TimeoutToMs(timeout_seconds));
}

bool UdpSocket::ReportUnreachable() {
  if (!platform::ReportUnreachable(m_socket.Get(), m_address)) {
    m_nLastError = platform::LastSocketError();
    return false;
  }
  return true;
}

int UdpSocket::Send(std::string_view bytes) {
  return platform::SendTo(m_socket.Get(), bytes.data(), bytes.size(), m_address);
}

int UdpSocket::PeekSize() {
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
    int n = platform::RecvFrom(m_socket.Get(), buffer, static_cast<std::size_t>(m_nBufferSize),
                               true, &m_sender);
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

int UdpSocket::ReadPeeked(char* dst, std::size_t n) {
  const int read = platform::RecvFrom(m_socket.Get(), dst, n, false, &m_sender);
  if (read < 0) m_nLastError = platform::LastSocketError();
  return read;
}

int UdpSocket::Receive(char* buffer, std::size_t capacity, std::string* large) {
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

}  // namespace dns
