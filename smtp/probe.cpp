#include "smtp/probe.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/net.h"
#include "smtp/reply_reader.h"
#include "smtp/tcp_client.h"

namespace smtp {
namespace {

using support::Account;
using support::step::SmtpFault;
using support::step::SmtpStage;
using Verdict = support::step::SmtpVerdict;

constexpr int kGreeting = 220;
constexpr int kHeloAnswer = 250;

Verdict Failed(SmtpStage stage, platform::Failure failure) {
  return {stage, SmtpFault::kFailure, 0, failure};
}

// Waits for the reply of `stage` and checks its code: nothing when it is `code`, else
// where and how the conversation failed.
std::optional<Verdict> Expect(ReplyReader& reader, int code, SmtpStage stage) {
  const platform::Result<int> reply = reader.Read();
  if (reply && *reply == code) return std::nullopt;
  if (reply)
    return Verdict{stage, SmtpFault::kUnexpectedCode, *reply,
                   platform::Failure{platform::Cause::kBadReply, 0}};
  return Verdict{stage, reader.Fault(), 0, reply.failure()};
}

// "HELO <local host name>". A host name that cannot be read (or reads empty) would
// make a line servers reject, so the probe says localhost instead.
std::string HeloLine() {
  const platform::Result<std::string> name = platform::LocalHostName();
  return "HELO " + (name && !name->empty() ? *name : std::string("localhost"));
}

}  // namespace

platform::Result<void> Probe::Run(const std::string& server, std::uint16_t port,
                                  Account* account) const {
  const Verdict verdict = Converse(server, port, account);
  support::Note(account, [&] { return verdict; });
  if (verdict.stage == SmtpStage::kDone) return {};
  return *verdict.failure;
}

support::step::SmtpVerdict Probe::Converse(const std::string& server, std::uint16_t port,
                                           Account* account) const {
  if (server.empty()) return Failed(SmtpStage::kNoHost, {platform::Cause::kInvalidInput, 0});
  if (auto started = platform::EnsureSocketLayer(); !started) {
    return Failed(SmtpStage::kSocketLayer, started.failure());
  }
  const Account::Clock::time_point asked = Account::Start(account);
  const platform::Result<std::vector<platform::IpAddress>> addresses =
      platform::AddressesOf(server, platform::AddressText::kName);
  if (!platform::ParseIpv6(server)) {  // a name (or dotted IPv4) goes to the resolver
    support::Note(account, [&] { return support::AddressLookup(server, addresses, asked); });
  }
  if (!addresses) return Failed(SmtpStage::kNoAddress, addresses.failure());
  const platform::Endpoint to{addresses->front(), port};
  const Account::Clock::time_point start = Account::Start(account);
  TcpClient client;
  const platform::Result<void> connected = client.Connect(to.address, port, m_waits.connect_ms);
  support::Note(account, [&] {
    return support::step::SmtpConnect{
        to, connected ? std::nullopt : std::optional(connected.failure()), Account::MsSince(start)};
  });
  if (!connected) return Failed(SmtpStage::kConnect, connected.failure());
  ReplyReader reader(client, m_waits.reply_ms, account, start);
  if (auto failed = Expect(reader, kGreeting, SmtpStage::kGreeting)) return *failed;
  const std::string helo = HeloLine();
  support::Note(account, [&] {
    return support::step::SmtpLine{support::step::Direction::kSent, helo, Account::MsSince(start)};
  });
  // One send; a partial count still counts as sent, only an error fails.
  if (auto sent = client.Send(helo + "\r\n"); !sent)
    return Failed(SmtpStage::kHelo, sent.failure());
  if (auto failed = Expect(reader, kHeloAnswer, SmtpStage::kHeloAnswer)) return *failed;
  return {SmtpStage::kDone, SmtpFault::kNone, 0, std::nullopt};
}

}  // namespace smtp
