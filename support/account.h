// support::Account: what one call did, step by step, told by the code that did it (the
// access decision's reads, each query and datagram of a DNS lookup, each line of an
// SMTP conversation, each call of the system resolver). Each step is a struct of raw
// facts (addresses, failures, reasons from an enum, the bytes that went or came), so a
// misspelt field does not compile and nothing is worded until someone shows it.
//
// The code takes an Account* that is null in a page's call. It records through Note(),
// whose callable runs only when there is an account, and starts its clock through
// Start(), which reads no clock without one: a page's call pays a test of the pointer.
// `kestra --explain` and `--json` show what was recorded (tools/report.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/net.h"
#include "platform/result.h"

namespace support {

namespace step {

// --- the access decision ---
// What the decision read, in reading order: the files located, then the values.
enum class Item {
  kAdminIni,
  kWebSiteIni,
  kInstalled,
  kEnableGatehouse,
  kApplied,
  kCaller,  // the caller's path, or why none is found
  kPathEntry,
  kSecurity,
  kMethods,
};
struct AccessRead {
  Item item;
  platform::Result<std::string> value;  // narrow text, or why it could not be read
};
struct AccessDecision {
  bool allowed;
  int step;  // hosting::StepOf the decision's reason
  std::string refusal;
};

// --- names ---
// A name as given and as sent (its ASCII form).
enum class NameRole { kDomain, kSmtpHost, kResolverHost };
struct Name {
  NameRole role;
  std::string given;
  std::string ascii;
};

// --- the DNS client ---
enum class Purpose { kCheck, kList, kCount, kResolve };
struct DnsPurpose {
  Purpose purpose;
};
struct DnsServer {
  std::string given;  // DNSServer, or the machine's server as its configuration says it
  std::optional<platform::IpAddress> address;
  std::uint16_t port;
  bool from_system;
  std::string source;  // where the machine's server came from
};
// Why a lookup ended before any query went out.
enum class NotSent { kNegativeTimeout, kNoRandomId, kNameTooLong, kNoServer, kServerUnusable };
struct DnsNotSent {
  NotSent why;
  platform::Failure failure;
};
enum class Transport { kUdp, kTcp };
// A query is under way: its bytes as they go on the wire.
struct DnsQuery {
  Transport transport;
  std::string bytes;
};
// Why a message received was not taken as the reply (kTaken: it was).
enum class Verdict {
  kTaken,
  kWrongSourceAddress,
  kWrongSourcePort,
  kTooShort,
  kWrongId,
  kNotAReply,
  kWrongQuestion,
  kUnreadable,
};
struct DnsReceived {
  platform::Endpoint from;
  std::vector<std::uint8_t> bytes;
  Verdict verdict;
};
// How the query under way ended: a reply taken, or the failure.
struct DnsEnd {
  std::optional<platform::Failure> failure;
  double elapsed_ms;
};

// --- the system resolver (DNSLookup, ReverseDNSLookup, and the SMTP host's name) ---
struct ResolverCall {
  bool reverse;      // an address to its name
  const char* call;  // the system call's name, a literal of platform/
  std::string asked;
  int code;                          // its return code, 0 on success
  std::vector<std::string> answers;  // the first is the one taken
  double elapsed_ms;
};

// --- the SMTP probe ---
struct SmtpConnect {
  platform::Endpoint to;
  std::optional<platform::Failure> failure;
  double elapsed_ms;
};
enum class Direction { kReceived, kSent };
struct SmtpLine {
  Direction direction;
  std::string text;  // as it was on the wire, without its line end
  double elapsed_ms;
};
// Where the conversation stopped, and what was wrong there.
enum class SmtpStage {
  kNoHost,
  kSocketLayer,
  kNoAddress,
  kConnect,
  kGreeting,
  kHelo,
  kHeloAnswer,
  kDone
};
enum class SmtpFault {
  kNone,
  kUnexpectedCode,  // a whole reply with another code than the one expected
  kMalformed,       // a line without three leading digits
  kTooLong,
  kClosed,   // the server closed the connection before the reply was whole
  kFailure,  // the network's failure (time-out, reset, ...): see `failure`
};
struct SmtpVerdict {
  SmtpStage stage;
  SmtpFault fault;
  int code;  // the reply's code, for kUnexpectedCode
  std::optional<platform::Failure> failure;
};

}  // namespace step

using Step =
    std::variant<step::AccessRead, step::AccessDecision, step::Name, step::DnsPurpose,
                 step::DnsServer, step::DnsNotSent, step::DnsQuery, step::DnsReceived, step::DnsEnd,
                 step::ResolverCall, step::SmtpConnect, step::SmtpLine, step::SmtpVerdict>;

class Account {
 public:
  using Clock = std::chrono::steady_clock;

  void Add(Step step) { m_steps.push_back(std::move(step)); }
  const std::vector<Step>& Steps() const { return m_steps; }

  // The time a step is measured from: the clock is read only when there is an account.
  static Clock::time_point Start(const Account* account) {
    return account ? Clock::now() : Clock::time_point{};
  }
  // Milliseconds from `since` to now, to a tenth of one: loopback exchanges take well
  // under a millisecond.
  static double MsSince(Clock::time_point since) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - since);
    return static_cast<double>(us.count() / 100) / 10;
  }

 private:
  std::vector<Step> m_steps;
};

// The step of a call that looked a name up for its addresses (the first is the one taken).
inline step::ResolverCall AddressLookup(
    std::string asked, const platform::Result<std::vector<platform::IpAddress>>& addresses,
    Account::Clock::time_point start) {
  std::vector<std::string> answers;
  for (const platform::IpAddress& a : addresses ? *addresses : decltype(*addresses){}) {
    answers.push_back(a.Text());
  }
  return {false,
          platform::ResolverCallName(false, platform::Family::kV4),
          std::move(asked),
          addresses ? 0 : addresses.failure().code,
          std::move(answers),
          Account::MsSince(start)};
}

// Records the step `make` builds, when there is an account; without one nothing runs.
template <class Make>
void Note(Account* account, Make&& make) {
  if (account) account->Add(std::forward<Make>(make)());
}

}  // namespace support
