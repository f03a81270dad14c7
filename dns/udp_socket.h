// dns::UdpSocket: one IPv4 datagram endpoint over the platform's sockets: a peer (a host
// name or dotted address, and a port), the socket it owns, a receive time-out, and a
// receive buffer size that grows when a datagram does not fit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net.h"

namespace dns {

class UdpSocket {
 public:
  static constexpr std::int32_t kInitialBufferSize = 256;

  UdpSocket() = default;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Finds the peer's address, then opens a datagram socket bound to an ephemeral port
  // with SO_RCVTIMEO set to the time-out. The host: a text that starts with a decimal
  // digit is a dotted address (inet_addr, used as it comes); any other text is resolved
  // by name and its first address is used. Whether the host gave an address does not
  // enter the result (see HasUsableAddress). False when the socket cannot be made,
  // bound or given its time-out.
  bool Open(const std::string& host, std::uint16_t port, std::int32_t timeout_seconds);
  // Has the platform report an unreachable peer port (ICMP) instead of leaving the
  // receive to wait out its time-out (see platform::ReportUnreachable).
  bool ReportUnreachable();
  // One datagram to the peer: bytes sent, or -1.
  int Send(std::string_view bytes);
  // Receives one datagram: peeks with the buffer size, doubling it while the datagram
  // does not fit, then reads the datagram once into exactly its size: into buffer when
  // it holds up to `capacity` bytes, else into *large (replacing what it held). Returns
  // the datagram's size (0 for an empty datagram), -1 after a time-out, and 0 after any
  // other error (GetLastErrorCode tells the two 0s apart).
  int Receive(char* buffer, std::size_t capacity, std::string* large);
  // Closes the socket; later calls do nothing.
  void Close() { m_socket.Reset(); }

  // The time-out in milliseconds, worked out without overflow: a time-out above
  // 2,147,483 seconds is held at 2^31 - 1 ms (about 24.8 days); 0 or less means none.
  static std::int32_t TimeoutToMs(std::int32_t seconds);

  platform::Endpoint GetAddress() const { return m_address; }
  // The source of the last datagram received.
  platform::Endpoint GetLastSender() const { return m_sender; }
  std::int32_t GetBufferSize() const { return m_nBufferSize; }
  // The platform's code for the last failed receive, 0 after a datagram.
  int GetLastErrorCode() const { return m_nLastError; }
  platform::SocketHandle GetHandle() const { return m_socket.Get(); }
  // False when the host gave no address that a query can go to: a name that did not
  // resolve, or the unspecified (0.0.0.0) or all-ones (an invalid dotted text) address.
  bool HasUsableAddress() const;

 private:
  void SetHost(const std::string& host);
  // Peeks at the next datagram, growing the buffer size while it does not fit: its size,
  // or -1 after a time-out and -2 after any other error (m_nLastError set).
  int PeekSize();
  // Reads the peeked datagram of n bytes into dst: the bytes read, or -1 (m_nLastError set).
  int ReadPeeked(char* dst, std::size_t n);

  platform::UniqueSocket m_socket;
  platform::Endpoint m_address{};
  bool m_bHostResolved = false;
  std::int32_t m_nBufferSize = kInitialBufferSize;
  platform::Endpoint m_sender{};
  int m_nLastError = 0;
};

}  // namespace dns
