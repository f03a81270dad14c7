#include "dns/mx_resolver.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/net.h"
#include "support/deadline.h"

namespace dns {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;
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
                         const Deadline& deadline) {
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
    if (from == server) {
      std::optional<Reply> reply = ReadReply({buffer.get(), *n}, query);
      if (reply) return std::move(*reply);
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
                         const Deadline& deadline) {
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
  return AwaitReply(s, server, query, deadline);
}

// The same query over TCP, framed by its two-byte length, and its reply if one comes in
// time. Why it did not come is of no interest: the truncated reply stands then.
std::optional<Reply> AskOverTcp(platform::Endpoint server, const Query& query,
                                const Deadline& deadline) {
  const Result<platform::UniqueSocket> socket =
      platform::OpenSocket(platform::kSockStream, server.address.family);
  const std::int32_t ms = deadline.RemainingMs();
  if (ms == 0 || !socket || !platform::ConnectWithin(socket->Get(), server, ms)) {
    return std::nullopt;
  }
  const platform::SocketHandle s = socket->Get();
  const std::string_view bytes = query.Bytes();
  std::string framed{static_cast<char>(bytes.size() >> 8), static_cast<char>(bytes.size() & 0xFF)};
  framed += bytes;
  for (std::string_view left = framed; !left.empty();) {  // each pass sends a byte or more
    const Result<std::size_t> n = platform::Send(s, left.data(), left.size());
    if (!n || *n == 0) return std::nullopt;
    left.remove_prefix(*n);
  }
  const auto read = [&](std::span<std::uint8_t> out) {
    while (!out.empty()) {  // each pass reads a byte or more, or gives up
      const std::int32_t left = deadline.RemainingMs();
      if (left == 0 || !platform::WaitReadable(s, left)) return false;
      const Result<std::size_t> n = platform::Recv(s, out.data(), out.size());
      if (!n || *n == 0) return false;
      out = out.subspan(*n);
    }
    return true;
  };
  std::uint8_t prefix[2];
  if (!read(prefix)) return std::nullopt;
  std::vector<std::uint8_t> reply((std::size_t{prefix[0]} << 8) | prefix[1]);
  if (!read(reply)) return std::nullopt;
  return ReadReply(reply, query);
}

Result<std::vector<MxRecord>> Resolve(const std::string& domain, std::string server,
                                      std::int32_t timeout_seconds) {
  if (timeout_seconds < 0) return Failure{Cause::kInvalidInput};
  const Result<std::uint16_t> id = NextQueryId();
  if (!id) return id.failure();
  const Result<Query> query = Query::Make(domain, *id);
  if (!query) return query.failure();
  if (server.empty()) server = platform::SystemDnsServer();
  if (server.empty()) return Failure{Cause::kNotFound};  // nobody to ask
  const Result<platform::IpAddress> address =
      platform::AddressOf(server, platform::AddressText::kNumericOrName);
  if (!address) return address.failure();
  if (address->Unroutable()) return Failure{Cause::kInvalidInput};
  const platform::Endpoint endpoint{*address, kDnsPort};

  const std::int32_t timeout_ms = TimeoutToMs(timeout_seconds);
  const Deadline deadline = timeout_ms > 0 ? Deadline::In(timeout_ms) : Deadline::None();
  Result<Reply> reply = AskOverUdp(endpoint, *query, timeout_ms, deadline);
  if (!reply) return reply.failure();
  if (reply->truncated) {
    std::optional<Reply> full = AskOverTcp(endpoint, *query, deadline.Within(kMaxTcpRetryMs));
    if (full) return std::move(full->exchangers);
  }
  return std::move(reply->exchangers);
}

}  // namespace

Result<std::vector<MxRecord>> ResolveMx(const std::string& domain, const std::string& server,
                                        std::int32_t timeout_seconds) {
  // Nothing may leave as an exception: the caller is a page's call.
  try {
    return Resolve(domain, server, timeout_seconds);
  } catch (const std::bad_alloc&) {
    return Failure{Cause::kNoMemory};
  } catch (...) {
    return Failure{Cause::kSystem};
  }
}

}  // namespace dns
