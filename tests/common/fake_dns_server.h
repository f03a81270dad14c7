// A scripted DNS server for tests, for what no real server does: replies from the
// wrong place, with the wrong ID, malformed, late or never. It binds UDP (and, when
// given a TCP script, TCP) port 53 of one loopback address, hands every query it
// receives to the test's script, and sends back what the script returns. It records
// the queries, and stops (joining its thread) on every path out of the test, at the
// latest after its lifetime.
//
// Under Wine 8 a UDP socket bound to a loopback address other than 127.0.0.1 is bound
// to every address instead, so its replies leave from 127.0.0.1. Windows builds of the
// fake server therefore listen on 127.0.0.1 whatever address they are given (Address()
// tells which), and a reply "from another address" leaves from 127.0.0.1 with an
// ephemeral port. Windows test programs run one fake server at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/net.h"

namespace testbed {

using Bytes = std::vector<std::uint8_t>;

// One datagram for the fake server to send back.
struct FakeReply {
  FakeReply(Bytes b, int delay = 0) : bytes(std::move(b)), delay_ms(delay) {}  // NOLINT
  FakeReply(Bytes b, int delay, std::string address, std::uint16_t port)
      : bytes(std::move(b)), delay_ms(delay), from_address(std::move(address)), from_port(port) {}

  Bytes bytes;
  // Wait this long before sending it (after the previous reply of the same query).
  int delay_ms = 0;
  // Send it from another place: another loopback address (empty: the server's own)
  // and another port (0: an ephemeral one). By default it comes from the server.
  std::string from_address;
  std::uint16_t from_port = 53;
};

class FakeDnsServer {
 public:
  using UdpScript = std::function<std::vector<FakeReply>(const Bytes& query)>;
  // The answer to a query over TCP (sent with its two-byte length prefix), or nothing
  // to close the connection without an answer.
  using TcpScript = std::function<std::optional<Bytes>(const Bytes& query)>;

  FakeDnsServer(std::string address, UdpScript udp, TcpScript tcp = nullptr,
                std::chrono::seconds lifetime = std::chrono::seconds(60));
  ~FakeDnsServer();
  FakeDnsServer(const FakeDnsServer&) = delete;
  FakeDnsServer& operator=(const FakeDnsServer&) = delete;

  // True when its sockets are bound and it is serving.
  bool Started() const { return m_started; }
  // Where it listens: the address it was given (127.0.0.1 in Windows builds).
  const std::string& Address() const { return m_address; }
  std::vector<Bytes> UdpQueries() const;
  std::vector<Bytes> TcpQueries() const;
  void Stop();

 private:
  void Run();
  void ServeDatagram();
  void ServeConnection();
  void SleepUnlessStopped(int ms);
  void SendReply(const FakeReply& reply, platform::Endpoint to);

  std::string m_address;
  UdpScript m_udp;
  TcpScript m_tcp;
  std::chrono::steady_clock::time_point m_end;
  platform::UniqueSocket m_udpSocket;
  platform::UniqueSocket m_tcpSocket;
  bool m_started = false;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<Bytes> m_udpQueries;
  std::vector<Bytes> m_tcpQueries;
  std::thread m_thread;
};

// Builds DNS replies, for the scripts and for the reader's own tests: a reply to a query
// copies its ID and question and sets QR, AA and RD; records go to the answer section.
class DnsReply {
 public:
  explicit DnsReply(const Bytes& query);
  DnsReply& Id(std::uint16_t id);
  DnsReply& Truncated(bool tc = true);
  DnsReply& RCode(int rcode);
  // An answer record: its owner name in wire form (by default a pointer to the question's
  // name), type, class and RDATA as given.
  DnsReply& Record(std::uint16_t type, const Bytes& rdata, const Bytes& owner = {0xC0, 0x0C},
                   std::uint16_t klass = 1);
  // MX and CNAME records owned by the question's name; MxWire takes the exchange in wire
  // form, as it stands.
  DnsReply& Mx(std::uint16_t preference, const std::string& exchange);
  DnsReply& MxWire(std::uint16_t preference, const Bytes& exchange);
  DnsReply& Cname(const std::string& target);
  Bytes Build() const;

  // Dotted text to wire form, closing zero included.
  static Bytes Name(const std::string& dotted);

 private:
  Bytes m_header;  // 12 bytes
  Bytes m_question;
  Bytes m_answers;
  std::uint16_t m_count = 0;
};

}  // namespace testbed
