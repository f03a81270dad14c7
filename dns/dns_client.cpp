#include "dns/dns_client.h"

#include <algorithm>
#include <array>
#include <utility>

#include "dns/udp_socket.h"
#include "platform/net.h"
#include "support/deadline.h"

namespace dns {
namespace {

using support::Deadline;

// The TCP retry of a truncated reply gets at most this long. A port 53 that drops the
// SYN, or a server that takes the connection and never answers, would otherwise hold the
// lookup for the whole time-out while the truncated reply's records are at hand.
constexpr std::int32_t kMaxTcpRetryMs = 5000;

bool SendAll(platform::SocketHandle s, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {  // each pass sends at least one byte or ends the loop
    int n = platform::Send(s, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadExactly(platform::SocketHandle s, char* buffer, std::size_t size,
                 const Deadline& deadline) {
  std::size_t got = 0;
  while (got < size) {  // each pass reads at least one byte, or fails, or runs out of time
    const std::int32_t ms = deadline.RemainingMs();
    if (ms == 0 || platform::WaitReadable(s, ms) != 1) return false;
    int n = platform::Recv(s, buffer + got, size - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// The same query over TCP with its two-byte length prefix; the answer's bytes in *reply.
bool QueryOverTcp(platform::Endpoint server, const std::string& query, const Deadline& deadline,
                  std::string* reply) {
  const std::int32_t ms = deadline.RemainingMs();
  if (ms == 0) return false;
  const platform::UniqueSocket socket(platform::OpenSocket(platform::kSockStream));
  const platform::SocketHandle s = socket.Get();
  if (!socket.Valid() || !platform::ConnectWithin(s, server, ms)) return false;
  std::string framed;
  framed.reserve(query.size() + 2);
  framed.push_back(static_cast<char>(query.size() >> 8));
  framed.push_back(static_cast<char>(query.size() & 0xFF));
  framed += query;
  unsigned char prefix[2];
  if (!SendAll(s, framed) || !ReadExactly(s, reinterpret_cast<char*>(prefix), 2, deadline)) {
    return false;
  }
  reply->resize((std::size_t{prefix[0]} << 8) | prefix[1]);
  return ReadExactly(s, reply->data(), reply->size(), deadline);
}

// Query IDs come from the platform's cryptographic random source, drawn 32 at a time
// to spare a system call per query.
bool NextQueryId(std::uint16_t* id) {
  thread_local std::array<std::uint16_t, 32> t_pool;
  thread_local std::size_t t_left = 0;
  if (t_left == 0) {
    if (!platform::CryptoRandom(t_pool.data(), sizeof t_pool)) return false;
    t_left = t_pool.size();
  }
  *id = t_pool[--t_left];
  return true;
}

// Waits for the accepted reply; each pass takes one datagram, or fails, or (where the
// platform needs it) waits one slice of time, so the loop ends with an accepted reply,
// an error or the deadline.
//
// Where the receive reports an unreachable port itself (POSIX), the receive blocks on
// the socket's receive time-out, which after a dropped datagram becomes what is left
// of the time-out. Elsewhere (Windows builds, for Wine, which shows an unreachable
// port only in the socket's pending error) the wait goes in slices growing from 1 ms
// to 100 ms with a look at that error between them, so such a query fails within
// milliseconds instead of after the whole time-out.
bool AwaitAnswer(UdpSocket* socket, const Deadline& deadline, std::uint16_t id,
                 std::string_view question_labels, Message* reply) {
  constexpr std::int32_t kMaxSliceMs = 100;
  const bool look_for_errors = !platform::ReceiveReportsUnreachable();
  const platform::SocketHandle handle = socket->GetHandle();
  std::int32_t slice = 1;
  // Replies that fit are received here; a larger one goes to `large`.
  char small[Message::kInlineReply];
  std::string large;
  for (;;) {
    if (look_for_errors) {
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0) return false;
      const int ready = platform::WaitReadable(handle, left < 0 ? slice : std::min(left, slice));
      if (ready < 0) return false;
      if (ready == 0) {
        if (platform::PendingSocketError(handle) != 0) return false;
        slice = std::min(slice * 2, kMaxSliceMs);
        continue;
      }
    }
    const int n = socket->Receive(small, sizeof small, &large);
    if (n < 0 || (n == 0 && socket->GetLastErrorCode() != 0)) return false;
    const std::string_view datagram = static_cast<std::size_t>(n) <= sizeof small
                                          ? std::string_view(small, static_cast<std::size_t>(n))
                                          : std::string_view(large);
    if (socket->GetLastSender() == socket->GetAddress() && reply->Parse(datagram) &&
        Client::IsAnswerTo(*reply, id, question_labels)) {
      return true;
    }
    if (!look_for_errors) {
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0 || (left > 0 && !platform::SetReceiveTimeoutMs(handle, left))) return false;
    }
  }
}

}  // namespace

bool Client::IsAnswerTo(const Message& reply, std::uint16_t id, std::string_view question_labels) {
  if (reply.m_nID != id || reply.m_bQR != 1 || reply.m_nQDCount != 1) return false;
  const auto& questions = reply.Questions();
  if (questions.size() != 1) return false;
  const Record& q = questions.front();
  if (q.m_nType != Message::kTypeMX || q.m_nClass != Message::kClassIN) return false;
  return reply.NameMatches(q.m_nNameOffset, question_labels);
}

bool Client::Query(const std::string& domain, std::int32_t timeout_seconds, Message* answer) {
  answer->Parse({});  // holds nothing until a reply is accepted
  if (timeout_seconds < 0 || !FitsInQuery(domain)) return false;

  Message query;
  query.SetQuestion(domain);
  std::uint16_t id = 0;
  if (!NextQueryId(&id)) return false;
  query.m_nID = id;
  query.m_bRD = 1;
  const std::string_view query_bytes = query.WriteQuery();

  UdpSocket socket;
  if (!socket.Open(m_strServer, kDnsPort, timeout_seconds) || !socket.HasUsableAddress() ||
      !socket.ReportUnreachable()) {
    return false;
  }
  const std::int32_t timeout_ms = UdpSocket::TimeoutToMs(timeout_seconds);
  const Deadline deadline = timeout_ms > 0 ? Deadline::In(timeout_ms) : Deadline::None();
  if (socket.Send(query_bytes) != static_cast<int>(query_bytes.size())) return false;

  if (!AwaitAnswer(&socket, deadline, id, query.QuestionName(), answer)) {
    answer->Parse({});
    return false;
  }
  socket.Close();

  // The TCP answer, when there is one, replaces the truncated reply.
  if (answer->m_bTC) {
    std::string tcp_bytes;
    Message full;
    if (QueryOverTcp(socket.GetAddress(), std::string(query_bytes), deadline.Within(kMaxTcpRetryMs),
                     &tcp_bytes) &&
        full.Parse(tcp_bytes) && IsAnswerTo(full, id, query.QuestionName())) {
      answer->Parse(tcp_bytes);
    }
  }
  return answer->GetAnswerCount() > 0;
}

}  // namespace dns
