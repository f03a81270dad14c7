#include "fake_dns_server.h"

#include <algorithm>

#include "test_sockets.h"

namespace testbed {
namespace {
constexpr int kPollMs = 10;
// A connection that sends nothing is given up after this long.
constexpr int kConnectionMs = 2000;

bool ReadExactly(platform::SocketHandle s, std::uint8_t* buffer, std::size_t size) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectionMs);
  std::size_t got = 0;
  while (got < size && std::chrono::steady_clock::now() < end) {
    if (!platform::WaitReadable(s, kPollMs)) continue;
    const platform::Result<std::size_t> n = platform::Recv(s, buffer + got, size - got);
    if (!n || *n == 0) return false;
    got += *n;
  }
  return got == size;
}
std::string ListenAddress(std::string requested) {
#ifdef _WIN32
  (void)requested;
  return "127.0.0.1";
#else
  return requested;
#endif
}
}  // namespace

FakeDnsServer::FakeDnsServer(std::string address, UdpScript udp, TcpScript tcp,
                             std::chrono::seconds lifetime)
    : m_address(ListenAddress(std::move(address))),
      m_udp(std::move(udp)),
      m_tcp(std::move(tcp)),
      m_end(std::chrono::steady_clock::now() + lifetime) {
  const platform::Endpoint here{platform::InetAddr(m_address), 53};
  platform::Result<platform::UniqueSocket> datagram = platform::OpenSocket(platform::kSockDgram);
  if (!datagram) return;
  m_udpSocket = std::move(*datagram);
  testbed::SetReuseAddress(m_udpSocket.Get());
  if (!platform::Bind(m_udpSocket.Get(), here)) return;
  if (m_tcp) {
    platform::Result<platform::UniqueSocket> stream = platform::OpenSocket(platform::kSockStream);
    if (!stream) return;
    m_tcpSocket = std::move(*stream);
    testbed::SetReuseAddress(m_tcpSocket.Get());
    if (!platform::Bind(m_tcpSocket.Get(), here) || !testbed::Listen(m_tcpSocket.Get(), 4)) return;
  }
  m_started = true;
  m_thread = std::thread([this] { Run(); });
}

FakeDnsServer::~FakeDnsServer() {
  Stop();
}

void FakeDnsServer::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

std::vector<Bytes> FakeDnsServer::UdpQueries() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_udpQueries;
}

std::vector<Bytes> FakeDnsServer::TcpQueries() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_tcpQueries;
}

void FakeDnsServer::Run() {
  while (!m_stop && std::chrono::steady_clock::now() < m_end) {
    if (platform::WaitReadable(m_udpSocket.Get(), kPollMs)) ServeDatagram();
    if (m_tcpSocket.Get() != platform::kInvalidSocket &&
        platform::WaitReadable(m_tcpSocket.Get(), 0)) {
      ServeConnection();
    }
  }
}

void FakeDnsServer::SleepUnlessStopped(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!m_stop && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, kPollMs)));
  }
}

void FakeDnsServer::SendReply(const FakeReply& reply, platform::Endpoint to) {
  if (reply.from_address.empty() && reply.from_port == 53) {
    (void)platform::SendTo(m_udpSocket.Get(), reply.bytes.data(), reply.bytes.size(), to);
    return;
  }
  std::string address = reply.from_address.empty() ? m_address : reply.from_address;
  std::uint16_t port = reply.from_port;
#ifdef _WIN32
  if (address != m_address) {
    address = m_address;
    if (port == 53) port = 0;
  }
#endif
  const platform::Result<platform::UniqueSocket> s = platform::OpenSocket(platform::kSockDgram);
  if (!s) return;
  testbed::SetReuseAddress(s->Get());
  if (platform::Bind(s->Get(), {platform::InetAddr(address), port})) {
    (void)platform::SendTo(s->Get(), reply.bytes.data(), reply.bytes.size(), to);
  }
}

void FakeDnsServer::ServeDatagram() {
  Bytes query(65536);
  platform::Endpoint from;
  const platform::Result<std::size_t> n =
      platform::RecvFrom(m_udpSocket.Get(), query.data(), query.size(), false, &from);
  if (!n) return;
  query.resize(*n);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_udpQueries.push_back(query);
  }
  for (const FakeReply& reply : m_udp(query)) {
    if (reply.delay_ms > 0) SleepUnlessStopped(reply.delay_ms);
    if (m_stop) return;
    SendReply(reply, from);
  }
}

void FakeDnsServer::ServeConnection() {
  const platform::UniqueSocket connection(testbed::Accept(m_tcpSocket.Get()));
  if (connection.Get() == platform::kInvalidSocket) return;
  const platform::SocketHandle c = connection.Get();
  std::uint8_t prefix[2];
  if (ReadExactly(c, prefix, 2)) {
    Bytes query((std::size_t{prefix[0]} << 8) | prefix[1]);
    if (ReadExactly(c, query.data(), query.size())) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tcpQueries.push_back(query);
      }
      if (std::optional<Bytes> answer = m_tcp(query)) {
        Bytes framed{static_cast<std::uint8_t>(answer->size() >> 8),
                     static_cast<std::uint8_t>(answer->size() & 0xFF)};
        framed.insert(framed.end(), answer->begin(), answer->end());
        (void)platform::Send(c, framed.data(), framed.size());
      }
    }
  }
}

DnsReply::DnsReply(const Bytes& query) {
  m_header.assign(12, 0);
  if (query.size() >= 12) std::copy(query.begin(), query.begin() + 12, m_header.begin());
  m_header[2] = static_cast<std::uint8_t>(0x80 | 0x04 | (m_header[2] & 0x01));  // QR, AA, RD
  m_header[3] = 0;
  m_header[4] = 0;
  m_header[5] = 1;
  // The question: the query's bytes from offset 12 up to and including type and class.
  std::size_t pos = 12;
  while (pos < query.size() && query[pos] != 0) pos += 1 + query[pos];
  const std::size_t end = std::min(query.size(), pos + 5);
  if (query.size() > 12) m_question.assign(query.begin() + 12, query.begin() + end);
}

DnsReply& DnsReply::Id(std::uint16_t id) {
  m_header[0] = static_cast<std::uint8_t>(id >> 8);
  m_header[1] = static_cast<std::uint8_t>(id & 0xFF);
  return *this;
}

DnsReply& DnsReply::Truncated(bool tc) {
  m_header[2] = static_cast<std::uint8_t>(tc ? (m_header[2] | 0x02) : (m_header[2] & ~0x02));
  return *this;
}

DnsReply& DnsReply::RCode(int rcode) {
  m_header[3] = static_cast<std::uint8_t>((m_header[3] & 0xF0) | (rcode & 0x0F));
  return *this;
}

Bytes DnsReply::Name(const std::string& dotted) {
  Bytes out;
  std::size_t start = 0;
  while (start < dotted.size()) {
    std::size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    out.push_back(static_cast<std::uint8_t>(dot - start));
    out.insert(out.end(), dotted.begin() + static_cast<std::ptrdiff_t>(start),
               dotted.begin() + static_cast<std::ptrdiff_t>(dot));
    start = dot + 1;
  }
  out.push_back(0);
  return out;
}

DnsReply& DnsReply::Record(std::uint16_t type, const Bytes& rdata, const Bytes& owner,
                           std::uint16_t klass) {
  m_answers.insert(m_answers.end(), owner.begin(), owner.end());
  const Bytes fields{static_cast<std::uint8_t>(type >> 8),
                     static_cast<std::uint8_t>(type),
                     static_cast<std::uint8_t>(klass >> 8),
                     static_cast<std::uint8_t>(klass),
                     0,
                     0,
                     0x0E,
                     0x10,  // TTL 3600
                     static_cast<std::uint8_t>(rdata.size() >> 8),
                     static_cast<std::uint8_t>(rdata.size())};
  m_answers.insert(m_answers.end(), fields.begin(), fields.end());
  m_answers.insert(m_answers.end(), rdata.begin(), rdata.end());
  ++m_count;
  return *this;
}

DnsReply& DnsReply::MxWire(std::uint16_t preference, const Bytes& exchange) {
  Bytes rdata{static_cast<std::uint8_t>(preference >> 8), static_cast<std::uint8_t>(preference)};
  rdata.insert(rdata.end(), exchange.begin(), exchange.end());
  return Record(15, rdata);
}

DnsReply& DnsReply::Mx(std::uint16_t preference, const std::string& exchange) {
  return MxWire(preference, Name(exchange));
}

DnsReply& DnsReply::Cname(const std::string& target) {
  return Record(5, Name(target));
}

Bytes DnsReply::Build() const {
  Bytes out = m_header;
  out[6] = static_cast<std::uint8_t>(m_count >> 8);
  out[7] = static_cast<std::uint8_t>(m_count & 0xFF);
  out.insert(out.end(), m_question.begin(), m_question.end());
  out.insert(out.end(), m_answers.begin(), m_answers.end());
  return out;
}

}  // namespace testbed
