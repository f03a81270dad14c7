#include "dns/mx_resolver.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/net.h"
#include "support/deadline.h"

namespace dns {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;
using support::Account;
using support::Deadline;

constexpr std::uint16_t kDnsPort = 53;
// No DNS message, over UDP or TCP, is longer.
constexpr std::size_t kMaxMessage = 65535;
// The TCP retry of a truncated reply gets at most this long. A port 53 that drops the
// SYN, or a server that takes the connection and never answers, would otherwise hold the
// lookup for the whole time-out while the truncated reply's records are at hand.
constexpr std::int32_t kMaxTcpRetryMs = 5000;

// Drawn 32 at a time, to spare a system call per query.
Result<std::uint16_t> NextQueryId() {
  thread_local std::array<std::uint16_t, 32> t_pool;
  thread_local std::size_t t_left = 0;
  if (t_left == 0) {
    if (auto filled = platform::CryptoRandom(t_pool.data(), sizeof t_pool); !filled) {
      return filled.failure();
    }
    t_left = t_pool.size();
  }
  return t_pool[--t_left];
}

std::int32_t TimeoutToMs(std::int32_t seconds) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(
      std::int64_t{seconds} * 1000, std::numeric_limits<std::int32_t>::max()));
}

using support::step::Transport;
using support::step::Verdict;

void NoteQuery(Account* account, Transport transport, const Query& query) {
  support::Note(account, [&] {
    return support::step::DnsQuery{transport, std::string(query.Bytes())};
  });
}

void NoteReceived(Account* account, const platform::Endpoint& from,
                  std::span<const std::uint8_t> bytes, Verdict verdict) {
  support::Note(account, [&] {
    return support::step::DnsReceived{from, {bytes.begin(), bytes.end()}, verdict};
  });
}

// How the query under way ended.
void NoteEnd(Account* account, const Result<Reply>& result, Account::Clock::time_point start) {
  support::Note(account, [&] {
    return support::step::DnsEnd{result ? std::nullopt : std::optional(result.failure()),
                                 Account::MsSince(start)};
  });
}

// Why a lookup ended before a query went out.
Failure NothingSent(Account* account, Failure failure, support::step::NotSent why) {
  support::Note(account, [&] { return support::step::DnsNotSent{why, failure}; });
  return failure;
}

// The bytes read as the reply to `query`; an account hears them and the verdict.
std::optional<Reply> Take(std::span<const std::uint8_t> bytes, const platform::Endpoint& from,
                          const Query& query, Account* account) {
  ReplyReading reading = ReadReply(bytes, query);
  NoteReceived(account, from, bytes, reading.verdict);
  if (reading.verdict != Verdict::kTaken) return std::nullopt;
  return std::move(reading.reply);
}

// Waits for the accepted reply; each pass takes one datagram, or fails, or (where the
// platform needs it) waits one slice of time, so the loop ends with an accepted reply,
// a failure or the deadline.
//
// Where the receive reports an unreachable port itself (POSIX), the receive blocks on
// the socket's receive time-out, which after a dropped datagram becomes what is left of
// the time-out. Elsewhere (Windows builds, for Wine, which shows an unreachable port only
// in the socket's pending error) the wait goes in slices growing from 1 ms to 100 ms
// with a look at that error between them, so such a query fails within milliseconds.
Result<Reply> AwaitReply(platform::SocketHandle s, platform::Endpoint server, const Query& query,
                         const Deadline& deadline, Account* account) {
  constexpr std::int32_t kMaxSliceMs = 100;
  const bool look_for_errors = !platform::ReceiveReportsUnreachable();
  std::int32_t slice = 1;
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kMaxMessage);
  for (;;) {
    if (look_for_errors) {
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0) return Failure{Cause::kTimeout};
      const Result<void> ready =
          platform::WaitReadable(s, left < 0 ? slice : std::min(left, slice));
      if (!ready && ready.failure().cause != Cause::kTimeout) return ready.failure();
      if (!ready) {
        if (auto pending = platform::PendingSocketError(s); !pending) return pending.failure();
        slice = std::min(slice * 2, kMaxSliceMs);
        continue;
      }
    }
    platform::Endpoint from;
    const Result<std::size_t> n = platform::RecvFrom(s, buffer.get(), kMaxMessage, false, &from);
    if (!n) return n.failure();
    const std::span<const std::uint8_t> bytes{buffer.get(), *n};
    if (from == server) {
      if (std::optional<Reply> reply = Take(bytes, from, query, account)) return std::move(*reply);
    } else {
      NoteReceived(account, from, bytes,
                   from.address == server.address ? Verdict::kWrongSourcePort
                                                  : Verdict::kWrongSourceAddress);
    }
    if (!look_for_errors) {
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0) return Failure{Cause::kTimeout};
      if (left > 0) {
        if (auto set = platform::SetReceiveTimeoutMs(s, left); !set) return set.failure();
      }
    }
  }
}

Result<Reply> AskOverUdp(platform::Endpoint server, const Query& query, std::int32_t timeout_ms,
                         const Deadline& deadline, Account* account) {
  const Result<platform::UniqueSocket> socket =
      platform::OpenSocket(platform::kSockDgram, server.address.family);
  if (!socket) return socket.failure();
  const platform::SocketHandle s = socket->Get();
  Result<void> ready = platform::Bind(s, platform::Endpoint::Any(server.address.family));
  if (ready) ready = platform::SetReceiveTimeoutMs(s, timeout_ms);
  if (ready) ready = platform::ReportUnreachable(s, server);
  if (!ready) return ready.failure();
  const std::string_view bytes = query.Bytes();
  const Result<std::size_t> sent = platform::SendTo(s, bytes.data(), bytes.size(), server);
  if (!sent) return sent.failure();
  // A datagram sent in part is a query the server cannot read.
  if (*sent != bytes.size()) return Failure{Cause::kSystem};
  NoteQuery(account, Transport::kUdp, query);
  return AwaitReply(s, server, query, deadline, account);
}

// The same query over TCP, framed by its two-byte length, and its reply if one comes in
// time; the caller keeps the truncated reply when it does not.
Result<Reply> AskOverTcp(platform::Endpoint server, const Query& query, const Deadline& deadline,
                         Account* account) {
  NoteQuery(account, Transport::kTcp, query);
  const Result<platform::UniqueSocket> socket =
      platform::OpenSocket(platform::kSockStream, server.address.family);
  if (!socket) return socket.failure();
  const std::int32_t ms = deadline.RemainingMs();
  if (ms == 0) return platform::SocketFailure(platform::wsa::kETIMEDOUT);
  const platform::SocketHandle s = socket->Get();
  if (auto connected = platform::ConnectWithin(s, server, ms); !connected) {
    return connected.failure();
  }
  const std::string_view bytes = query.Bytes();
  std::string framed{static_cast<char>(bytes.size() >> 8), static_cast<char>(bytes.size() & 0xFF)};
  framed += bytes;
  for (std::string_view left = framed; !left.empty();) {  // each pass sends a byte or more
    const Result<std::size_t> n = platform::Send(s, left.data(), left.size());
    if (!n) return n.failure();
    if (*n == 0) return Failure{Cause::kBadReply};
    left.remove_prefix(*n);
  }
  const auto read = [&](std::span<std::uint8_t> out) -> Result<void> {
    while (!out.empty()) {  // each pass reads a byte or more, or gives up
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0) return platform::SocketFailure(platform::wsa::kETIMEDOUT);
      if (auto ready = platform::WaitReadable(s, left); !ready) return ready;
      const Result<std::size_t> n = platform::Recv(s, out.data(), out.size());
      if (!n) return n.failure();
      if (*n == 0) return Failure{Cause::kBadReply};  // closed before the reply was whole
      out = out.subspan(*n);
    }
    return {};
  };
  std::uint8_t prefix[2];
  if (auto got = read(prefix); !got) return got.failure();
  std::vector<std::uint8_t> reply((std::size_t{prefix[0]} << 8) | prefix[1]);
  if (auto got = read(reply); !got) return got.failure();
  if (std::optional<Reply> taken = Take(reply, server, query, account)) return std::move(*taken);
  return Failure{Cause::kBadReply};
}

Result<std::vector<MxRecord>> Resolve(const std::string& domain, std::string server,
                                      std::int32_t timeout_seconds, Account* account) {
  using support::step::NotSent;
  if (timeout_seconds < 0) {
    return NothingSent(account, Failure{Cause::kInvalidInput}, NotSent::kNegativeTimeout);
  }
  const Result<std::uint16_t> id = NextQueryId();
  if (!id) return NothingSent(account, id.failure(), NotSent::kNoRandomId);
  const Result<Query> query = Query::Make(domain, *id);
  if (!query) return NothingSent(account, query.failure(), NotSent::kNameTooLong);
  const bool from_system = server.empty();
  const char* source = "";
  if (from_system) {
    Result<platform::SystemServer> system = platform::SystemDnsServer();
    if (!system) return NothingSent(account, system.failure(), NotSent::kNoServer);
    server = std::move(system->address);
    source = system->source;
  }
  const Result<std::vector<platform::IpAddress>> addresses =
      platform::AddressesOf(server, platform::AddressText::kNumericOrName);
  const std::optional<platform::IpAddress> address =
      addresses ? std::optional(addresses->front()) : std::nullopt;
  support::Note(account, [&] {
    return support::step::DnsServer{server, address, kDnsPort, from_system, source};
  });
  if (!address || address->Unroutable()) {
    return NothingSent(account, address ? Failure{Cause::kInvalidInput} : addresses.failure(),
                       NotSent::kServerUnusable);
  }
  const platform::Endpoint endpoint{*address, kDnsPort};

  const std::int32_t timeout_ms = TimeoutToMs(timeout_seconds);
  const Deadline deadline = timeout_ms > 0 ? Deadline::In(timeout_ms) : Deadline::None();
  const Account::Clock::time_point start = Account::Start(account);
  Result<Reply> reply = AskOverUdp(endpoint, *query, timeout_ms, deadline, account);
  NoteEnd(account, reply, start);
  if (!reply) return reply.failure();
  if (reply->truncated) {
    const Account::Clock::time_point tcp_start = Account::Start(account);
    Result<Reply> full = AskOverTcp(endpoint, *query, deadline.Within(kMaxTcpRetryMs), account);
    NoteEnd(account, full, tcp_start);
    if (full) return std::move(full->exchangers);
  }
  return std::move(reply->exchangers);
}

}  // namespace

Result<std::vector<MxRecord>> ResolveMx(const std::string& domain, const std::string& server,
                                        std::int32_t timeout_seconds, Account* account) {
  // Nothing may leave as an exception: the caller is a page's call.
  try {
    return Resolve(domain, server, timeout_seconds, account);
  } catch (const std::bad_alloc&) {
    return Failure{Cause::kNoMemory};
  } catch (...) {
    return Failure{Cause::kSystem};
  }
}

}  // namespace dns
