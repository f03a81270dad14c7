#include "smtp/probe.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/net.h"
#include "smtp/reply_reader.h"
#include "smtp/tcp_client.h"

namespace smtp {
namespace {

using support::Account;
namespace steps = support::steps;

constexpr int kGreeting = 220;
constexpr int kHeloAnswer = 250;

// Waits for the reply to `step` and checks its code; *why, when given, says how it went.
platform::Result<void> Expect(ReplyReader& reader, int code, const char* step, std::string* why) {
  const ReplyReader::Reply reply = reader.Read();
  const std::string wanted = std::to_string(code);
  switch (reply.status) {
    case ReplyReader::Status::kReply:
      if (reply.code == code) return {};
      if (why) *why = std::string(step) + ": " + std::to_string(reply.code) + ", not " + wanted;
      return platform::Failure{platform::Cause::kBadReply, 0};
    case ReplyReader::Status::kTimedOut:
      if (why) *why = std::string(step) + ": no whole reply in time";
      return platform::SocketFailure(platform::wsa::kETIMEDOUT);
    case ReplyReader::Status::kReceiveFailed:
      if (why)
        *why = std::string(step) + ": receive failed, system code " + std::to_string(reply.code);
      return platform::SocketFailure(reply.code);
    default:
      break;
  }
  if (why) {
    *why = std::string(step) + (reply.status == ReplyReader::Status::kClosed
                                    ? ": the server closed the connection"
                                    : ": the reply is not SMTP");
  }
  return platform::Failure{platform::Cause::kBadReply, 0};
}

// The connection's bytes as an account hears them: each line received, as it came, with
// its time since the connection opened.
class HeardSource final : public ReplySource {
 public:
  HeardSource(ReplySource& inner, Account& account, Account::Clock::time_point opened)
      : m_inner(inner), m_account(account), m_opened(opened) {}
  platform::Result<void> WaitReadable(int ms) override { return m_inner.WaitReadable(ms); }
  platform::Result<std::size_t> Receive(char* buffer, std::size_t size) override {
    platform::Result<std::size_t> n = m_inner.Receive(buffer, size);
    if (!n) return n;
    m_strLine.append(buffer, std::min(*n, size));
    for (std::size_t lf; (lf = m_strLine.find('\n')) != std::string::npos;) {
      std::string line = m_strLine.substr(0, lf);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Heard(m_account, "received", line, m_opened);
      m_strLine.erase(0, lf + 1);
    }
    return n;
  }
  static void Heard(Account& account, const char* dir, const std::string& text,
                    Account::Clock::time_point opened) {
    account.Add(
        steps::kSmtpLine,
        {{"dir", std::string(dir)}, {"text", text}, {"elapsed", Account::TenthsOfMsSince(opened)}});
  }

 private:
  ReplySource& m_inner;
  Account& m_account;
  Account::Clock::time_point m_opened;
  std::string m_strLine;
};

// "HELO <local host name>\r\n". A host name that cannot be read (or reads empty)
// would make a line servers reject, so the probe says localhost instead.
std::string HeloCommand() {
  const platform::Result<std::string> name = platform::LocalHostName();
  return "HELO " + (name && !name->empty() ? *name : std::string("localhost")) + "\r\n";
}

// The addresses of the name, the first of which the probe connects to.
void NoteAddresses(Account* account, const std::vector<platform::IpAddress>& addresses) {
  if (!account) return;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    account->Add(steps::kSmtpAddress, {{"address", addresses[i].Text()}, {"taken", i == 0}});
  }
}

// The address the probe connects to.
platform::Result<platform::IpAddress> ServerAddress(const std::string& server, Account* account) {
  if (const std::optional<platform::IpAddress> v6 = platform::ParseIpv6(server)) {
    NoteAddresses(account, {*v6});
    return *v6;
  }
  std::vector<platform::IpAddress> addresses;
  const int code = platform::ResolveHost(server, platform::Family::kV4, &addresses);
  if (code == 0) {
    NoteAddresses(account, addresses);
    return addresses.front();
  }
  if (platform::ResolveHost(server, platform::Family::kV6, &addresses) == 0) {
    NoteAddresses(account, addresses);
    return addresses.front();
  }
  return platform::SocketFailure(code);
}

}  // namespace

platform::Result<void> Probe::Run(const std::string& server, std::uint16_t port,
                                  Account* account) const {
  std::string why;
  std::string* const told = account ? &why : nullptr;
  const platform::Result<void> result = Converse(server, port, account, told);
  if (account) {
    account->Add(steps::kSmtpVerdict, {{"verdict", result ? 1 : 0}, {"why", why}});
  }
  return result;
}

platform::Result<void> Probe::Converse(const std::string& server, std::uint16_t port,
                                       Account* account, std::string* why) const {
  if (server.empty()) {
    if (why) *why = "no host given";
    return platform::Failure{platform::Cause::kInvalidInput, 0};
  }
  if (auto started = platform::EnsureSocketLayer(); !started) {
    if (why) *why = "the socket library did not start";
    return started;
  }
  const platform::Result<platform::IpAddress> address = ServerAddress(server, account);
  if (!address) {
    if (why) *why = "the host has no address";
    return address.failure();
  }
  const Account::Clock::time_point start = Account::Clock::now();
  TcpClient client;
  const platform::Result<void> connected = client.Connect(*address, port, m_waits.connect_ms);
  if (account) {
    account->Add(steps::kSmtpConnect, {{"address", address->Text()},
                                       {"port", port},
                                       {"elapsed", Account::TenthsOfMsSince(start)},
                                       {"error", connected ? 0 : connected.failure().code}});
  }
  if (!connected) {
    if (why) *why = "the connection failed";
    return connected;
  }
  std::optional<HeardSource> heard;
  if (account) heard.emplace(client, *account, start);
  ReplyReader reader(heard ? static_cast<ReplySource&>(*heard) : client, m_waits.reply_ms);
  if (auto greeted = Expect(reader, kGreeting, "greeting", why); !greeted) return greeted;
  const std::string helo = HeloCommand();
  if (account) HeardSource::Heard(*account, "sent", helo.substr(0, helo.size() - 2), start);
  // One send; a partial count still counts as sent, only an error fails.
  if (auto sent = client.Send(helo); !sent) {
    if (why) *why = "HELO could not be sent";
    return sent.failure();
  }
  const platform::Result<void> answered = Expect(reader, kHeloAnswer, "answer to HELO", why);
  if (answered && why) *why = "greeting 220, answer to HELO 250";
  return answered;
}

}  // namespace smtp
