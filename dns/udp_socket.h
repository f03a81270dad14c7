// CUDPSocket: one IPv4 datagram endpoint over the platform's sockets: a host (name or
// dotted address) with its address and port, a socket handle, a receive time-out, a
// receive buffer that grows when a datagram does not fit, and a last-error text.
// CMXServer: the record of one mail exchanger (stream type, port 25, a preference).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net.h"

class CUDPSocket {
 public:
  static constexpr std::int32_t kInitialBufferSize = 256;

  CUDPSocket() = default;
  // Copies share the handle value. The destructor releases the strings only: whoever
  // opened the socket calls Close on every path.
  CUDPSocket(const CUDPSocket&) = default;
  CUDPSocket& operator=(const CUDPSocket&) = default;
  virtual ~CUDPSocket() = default;

  void SetTimeout(std::int32_t seconds) { m_nTimeout = seconds; }
  void SetType(std::int32_t type) { m_nType = type; }
  void SetPort(std::uint16_t port) { m_address.port = port; }
  // Stores the host and finds its address: a text that starts with a decimal digit is
  // a dotted address (inet_addr, used as it comes); any other text is resolved by
  // name and its first address is used. A name that does not resolve leaves the error
  // text "invalid host name." and the address as it was.
  void SetHost(const std::string& host);

  // socket, bind to an ephemeral port, SO_RCVTIMEO of the time-out in milliseconds.
  // The milliseconds are worked out without overflow: a time-out above 2,147,483
  // seconds is held at 2^31 - 1 ms (about 24.8 days); 0 or less means no time limit.
  bool Create();
  // SetTimeout, SetType, SetPort, SetHost, Create; the outcome of SetHost does not
  // enter the result (see HasUsableAddress).
  bool Open(std::int32_t type, std::uint16_t port, const std::string& host, std::int32_t timeout);
  // Has the platform report an unreachable peer port (ICMP) instead of leaving the
  // receive to wait out its time-out (see platform::ReportUnreachable).
  bool ReportUnreachable();
  // One datagram to the peer: bytes sent, or -1.
  int Send(std::string_view bytes);
  // Receives one datagram and appends it to *out: peeks with the buffer size, doubling
  // it while the datagram does not fit, then reads the datagram once into exactly its
  // size. Returns the bytes appended (0 for an empty datagram), -1 after a time-out,
  // and 0 after any other error (GetLastErrorCode tells the two 0s apart).
  int Receive(std::string* out);
  // The same, receiving a datagram of up to `capacity` bytes into buffer and a larger one
  // into *large (replacing what it held); the result tells which.
  int Receive(char* buffer, std::size_t capacity, std::string* large);
  // Closes the handle if there is one; later calls do nothing.
  void Close();

  static std::int32_t TimeoutToMs(std::int32_t seconds);

  std::int32_t GetTimeout() const { return m_nTimeout; }
  std::int32_t GetType() const { return m_nType; }
  const std::string& GetHost() const { return m_strHost; }
  const std::string& GetError() const { return m_strError; }
  platform::Endpoint GetAddress() const { return m_address; }
  std::uint16_t GetPort() const { return m_address.port; }
  // The source of the last datagram received.
  platform::Endpoint GetLastSender() const { return m_sender; }
  std::int32_t GetBufferSize() const { return m_nBufferSize; }
  // The platform's code for the last failed receive, 0 after a datagram.
  int GetLastErrorCode() const { return m_nLastError; }
  platform::SocketHandle GetHandle() const { return m_hSocket; }
  // False when the host gave no address that a query can go to: a name that did not
  // resolve, or the unspecified (0.0.0.0) or all-ones (an invalid dotted text) address.
  bool HasUsableAddress() const;

 protected:
  // Peeks at the next datagram, growing the buffer size while it does not fit: its size,
  // or -1 after a time-out and -2 after any other error (m_nLastError set).
  int PeekSize();
  // Reads the peeked datagram of n bytes into dst: the bytes read, or -1 (m_nLastError set).
  int ReadPeeked(char* dst, std::size_t n);

  std::int32_t m_nTimeout = 1;
  std::int32_t m_nType = 0;
  std::string m_strHost;
  platform::SocketHandle m_hSocket = platform::kInvalidSocket;
  std::string m_strError;
  platform::Endpoint m_address{};
  std::int32_t m_nBufferSize = kInitialBufferSize;
  platform::Endpoint m_sender{};
  int m_nLastError = 0;
  bool m_bHostResolved = false;
};

class CMXServer : public CUDPSocket {
 public:
  CMXServer();
  void SetPreference(std::uint16_t preference) { m_nPreference = preference; }
  std::uint16_t GetPreference() const { return m_nPreference; }
  // The exchange name as this record's host. It is not resolved: nothing reads the
  // address of an exchanger, so resolving it would only cost a blocking lookup.
  void SetExchange(std::string name) { m_strHost = std::move(name); }
  // Moves the exchange name out (the record's host is empty afterwards).
  std::string TakeExchange() { return std::move(m_strHost); }

 private:
  std::uint16_t m_nPreference = 0;
};
