// support::Account: what one call did, step by step, told by the code that did it (the
// access decision's reads, each query and datagram of a DNS lookup, each line of an
// SMTP conversation, each call of the system resolver). The code takes an Account* that
// is null in a page's call: it then records nothing and builds nothing, at the cost of
// a test of that pointer. `kestra --explain` and `--json` show what was recorded.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace support {

class Account {
 public:
  using Clock = std::chrono::steady_clock;
  using Value = std::variant<std::int64_t, double, std::string>;
  using Field = std::pair<std::string_view, Value>;

  // One step: what happened (a name from the lists below) and its values, in the order
  // they were given.
  struct Step {
    std::string_view what;
    std::vector<Field> fields;

    // The field's value, or nothing (an empty text, 0) when the step has none.
    const Value* Find(std::string_view name) const {
      for (const Field& f : fields) {
        if (f.first == name) return &f.second;
      }
      return nullptr;
    }
    std::string Text(std::string_view name) const {
      const Value* v = Find(name);
      return v && std::holds_alternative<std::string>(*v) ? std::get<std::string>(*v) : "";
    }
    std::int64_t Number(std::string_view name) const {
      const Value* v = Find(name);
      return v && std::holds_alternative<std::int64_t>(*v) ? std::get<std::int64_t>(*v) : 0;
    }
    double Real(std::string_view name) const {
      const Value* v = Find(name);
      return v && std::holds_alternative<double>(*v) ? std::get<double>(*v) : 0;
    }
  };

  void Add(std::string_view what, std::initializer_list<Field> fields) {
    m_steps.push_back(Step{what, fields});
  }
  void Add(Step step) { m_steps.push_back(std::move(step)); }
  const std::vector<Step>& Steps() const { return m_steps; }

  // Milliseconds from `since` to now, to a tenth of one: loopback exchanges take well
  // under a millisecond.
  static double MsSince(Clock::time_point since) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - since);
    return static_cast<double>(us.count() / 100) / 10;
  }

 private:
  std::vector<Step> m_steps;
};

// Step names, shared by the code that records and the code that shows them.
namespace steps {
// The access decision: a value it read ("name", "value"), and how it came out
// ("allowed", "step", "refusal").
inline constexpr std::string_view kAccessRead = "access.read";
inline constexpr std::string_view kAccessDecision = "access.decision";
// The values are named as `kestra --json` shows them.
// DNS: the name ("name", "ascii"), the server ("given", "address", "port", "chosen_by",
// "source"), the purpose of the next query ("purpose"), a query sent ("transport", "id",
// "flags", "sent_bytes"), a message received ("from", "port", "bytes") and whether it
// was taken ("verdict": "taken" or why not), the reply taken ("id", "flags", "rcode",
// "qdcount", "ancount", "nscount", "arcount", "bytes"), one of its records ("section",
// "name", "type", "class", "ttl", "data", and for answers "exchanger"), and how the
// query ended ("outcome", "detail", "elapsed_ms").
inline constexpr std::string_view kDnsName = "dns.name";
inline constexpr std::string_view kDnsServer = "dns.server";
inline constexpr std::string_view kDnsPurpose = "dns.purpose";
inline constexpr std::string_view kDnsQuery = "dns.query";
inline constexpr std::string_view kDnsReceived = "dns.received";
inline constexpr std::string_view kDnsVerdict = "dns.verdict";
inline constexpr std::string_view kDnsReply = "dns.reply";
inline constexpr std::string_view kDnsRecord = "dns.record";
inline constexpr std::string_view kDnsEnd = "dns.end";
// SMTP: the host ("name", "ascii"), an address the name gave ("address", "taken"), the
// connection ("address", "port", "connect_ms", "connect_error"), a line ("dir", "text",
// "elapsed_ms"), the verdict ("verdict", "why").
inline constexpr std::string_view kSmtpHost = "smtp.host";
inline constexpr std::string_view kSmtpAddress = "smtp.address";
inline constexpr std::string_view kSmtpConnect = "smtp.connect";
inline constexpr std::string_view kSmtpLine = "smtp.line";
inline constexpr std::string_view kSmtpVerdict = "smtp.verdict";
// The system resolver: the name as given and as asked ("name", "ascii"), a call
// ("call", "asked", "code", "text", "elapsed_ms") and each answer it gave ("answer",
// "taken").
inline constexpr std::string_view kResolverName = "resolver.name";
inline constexpr std::string_view kResolverCall = "resolver.call";
inline constexpr std::string_view kResolverAnswer = "resolver.answer";
}  // namespace steps

}  // namespace support
