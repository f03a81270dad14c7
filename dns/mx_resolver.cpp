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

#include "dns/reply_account.h"
#include "platform/net.h"
#include "support/deadline.h"

namespace dns {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;
using support::Account;
using support::Deadline;
namespace steps = support::steps;

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

void NoteQuery(Account* account, const char* transport, const Query& query) {
  if (!account) return;
  account->Add(steps::kDnsQuery, {{"transport", std::string(transport)},
                                  {"id", query.Id()},
                                  {"flags", std::string("rd")},
                                  {"sent_bytes", static_cast<std::int64_t>(query.Bytes().size())}});
}

void NoteReceived(Account* account, const platform::Endpoint& from, std::size_t bytes) {
  if (!account) return;
  account->Add(steps::kDnsReceived, {{"from", from.address.Text()},
                                     {"port", from.port},
                                     {"bytes", static_cast<std::int64_t>(bytes)}});
}

// How a query ended: "reply", "timeout" or "error" (with the failure's code).
template <class T>
void NoteEnd(Account* account, const T& result, Account::Clock::time_point start) {
  if (!account) return;
  std::string outcome = "reply", detail;
  if constexpr (std::is_same_v<T, Result<Reply>>) {
    if (!result) {
      const Failure& f = result.failure();
      outcome = f.cause == Cause::kTimeout ? "timeout" : "error";
      if (f.code != 0) detail = "system code " + std::to_string(f.code);
    }
  } else if (!result) {
    outcome = "error";
    detail = "no usable reply over TCP; the truncated one stands";
  }
  account->Add(steps::kDnsEnd,
               {{"outcome", outcome}, {"detail", detail}, {"elapsed_ms", Account::MsSince(start)}});
}

// Why a lookup ended before a query went out.
Failure NotAsked(Account* account, Failure failure, const char* why) {
  if (account) {
    account->Add(steps::kDnsEnd, {{"outcome", std::string("error")}, {"detail", std::string(why)}});
  }
  return failure;
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
    NoteReceived(account, from, *n);
    if (from == server) {
      std::optional<Reply> reply = ReadReply({buffer.get(), *n}, query, account);
      if (reply && account) AccountReply({buffer.get(), *n}, *account);
      if (reply) return std::move(*reply);
    } else if (account) {
      const bool same_address = from.address == server.address;
      account->Add(
          steps::kDnsVerdict,
          {{"verdict", std::string(same_address ? "wrong source port" : "wrong source address")}});
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
  NoteQuery(account, "udp", query);
  return AwaitReply(s, server, query, deadline, account);
}

// The same query over TCP, framed by its two-byte length, and its reply if one comes in
// time. Why it did not come is of no interest: the truncated reply stands then.
std::optional<Reply> AskOverTcp(platform::Endpoint server, const Query& query,
                                const Deadline& deadline, Account* account) {
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
  NoteQuery(account, "tcp", query);
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
  NoteReceived(account, server, reply.size());
  std::optional<Reply> taken = ReadReply(reply, query, account);
  if (taken && account) AccountReply(reply, *account);
  return taken;
}

Result<std::vector<MxRecord>> Resolve(const std::string& domain, std::string server,
                                      std::int32_t timeout_seconds, Account* account) {
  if (timeout_seconds < 0) {
    return NotAsked(account, Failure{Cause::kInvalidInput}, "negative time-out");
  }
  const Result<std::uint16_t> id = NextQueryId();
  if (!id) return NotAsked(account, id.failure(), "no random query ID");
  const Result<Query> query = Query::Make(domain, *id);
  if (!query) return NotAsked(account, query.failure(), "the name does not fit in a query");
  const bool from_system = server.empty();
  std::string source;
  if (from_system) {
    Result<platform::SystemServer> system = platform::SystemDnsServer();
    if (!system) return NotAsked(account, system.failure(), "no DNS server");
    server = std::move(system->address);
    source = std::move(system->source);
  }
  const Result<std::vector<platform::IpAddress>> addresses =
      platform::AddressesOf(server, platform::AddressText::kNumericOrName);
  const std::optional<platform::IpAddress> address =
      addresses ? std::optional(addresses->front()) : std::nullopt;
  if (account) {
    account->Add(steps::kDnsServer,
                 {{"given", server},
                  {"address", address ? address->Text() : ""},
                  {"port", kDnsPort},
                  {"chosen_by", std::string(from_system ? "system" : "DNSServer")},
                  {"source", source}});
  }
  if (!address || address->Unroutable()) {
    return NotAsked(account, address ? Failure{Cause::kInvalidInput} : addresses.failure(),
                    "the server has no usable address");
  }
  const platform::Endpoint endpoint{*address, kDnsPort};

  const std::int32_t timeout_ms = TimeoutToMs(timeout_seconds);
  const Deadline deadline = timeout_ms > 0 ? Deadline::In(timeout_ms) : Deadline::None();
  const Account::Clock::time_point start = Account::Clock::now();
  Result<Reply> reply = AskOverUdp(endpoint, *query, timeout_ms, deadline, account);
  NoteEnd(account, reply, start);
  if (!reply) return reply.failure();
  if (reply->truncated) {
    const Account::Clock::time_point tcp_start = Account::Clock::now();
    std::optional<Reply> full =
        AskOverTcp(endpoint, *query, deadline.Within(kMaxTcpRetryMs), account);
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
