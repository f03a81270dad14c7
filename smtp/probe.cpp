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
namespace steps = support::steps;

constexpr int kGreeting = 220;
constexpr int kHeloAnswer = 250;

// Waits for the reply to `step` and checks its code; *why, when given, says how it failed.
platform::Result<void> Expect(ReplyReader& reader, int code, const char* step, std::string* why) {
  const platform::Result<int> reply = reader.Read();
  if (reply && *reply == code) return {};
  if (why) {
    const platform::Failure f = reply ? platform::Failure{} : reply.failure();
    *why = std::string(step) + ": " +
           (reply ? std::to_string(*reply) + ", not " + std::to_string(code)
            : f.cause == platform::Cause::kTimeout ? "no whole reply in time"
            : f.cause == platform::Cause::kBadReply
                ? "no SMTP reply before the connection ended"
                : "receive failed, system code " + std::to_string(f.code));
  }
  if (!reply) return reply.failure();
  return platform::Failure{platform::Cause::kBadReply, 0};
}

// "HELO <local host name>\r\n". A host name that cannot be read (or reads empty)
// would make a line servers reject, so the probe says localhost instead.
std::string HeloCommand() {
  const platform::Result<std::string> name = platform::LocalHostName();
  return "HELO " + (name && !name->empty() ? *name : std::string("localhost")) + "\r\n";
}

void NoteLine(Account& account, const char* dir, const std::string& text,
              Account::Clock::time_point opened) {
  account.Add(
      steps::kSmtpLine,
      {{"dir", std::string(dir)}, {"text", text}, {"elapsed_ms", Account::MsSince(opened)}});
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
      NoteLine(m_account, "received", line, m_opened);
      m_strLine.erase(0, lf + 1);
    }
    return n;
  }

 private:
  ReplySource& m_inner;
  Account& m_account;
  Account::Clock::time_point m_opened;
  std::string m_strLine;
};

}  // namespace

platform::Result<void> Probe::Run(const std::string& server, std::uint16_t port,
                                  Account* account) const {
  std::string why;
  const platform::Result<void> result = Converse(server, port, account, account ? &why : nullptr);
  if (account) {
    if (result) why = "greeting 220, answer to HELO 250";
    account->Add(steps::kSmtpVerdict, {{"verdict", result ? 1 : 0}, {"why", why}});
  }
  return result;
}

platform::Result<void> Probe::Converse(const std::string& server, std::uint16_t port,
                                       Account* account, std::string* why) const {
  const auto fail = [why](platform::Failure failure, const char* text) {
    if (why) *why = text;
    return failure;
  };
  if (server.empty()) return fail({platform::Cause::kInvalidInput, 0}, "no host given");
  if (auto started = platform::EnsureSocketLayer(); !started) {
    return fail(started.failure(), "the socket library did not start");
  }
  const platform::Result<std::vector<platform::IpAddress>> addresses =
      platform::AddressesOf(server, platform::AddressText::kName);
  if (!addresses) return fail(addresses.failure(), "the host has no address");
  const platform::IpAddress& address = addresses->front();
  for (std::size_t i = 0; account && i < addresses->size(); ++i) {
    account->Add(steps::kSmtpAddress, {{"address", (*addresses)[i].Text()}, {"taken", i == 0}});
  }
  const Account::Clock::time_point start = Account::Clock::now();
  TcpClient client;
  const platform::Result<void> connected = client.Connect(address, port, m_waits.connect_ms);
  if (account) {
    account->Add(steps::kSmtpConnect,
                 {{"address", address.Text()},
                  {"port", port},
                  {"connect_ms", Account::MsSince(start)},
                  {"connect_error", connected ? 0 : connected.failure().code}});
  }
  if (!connected) return fail(connected.failure(), "the connection failed");
  std::optional<HeardSource> heard;
  if (account) heard.emplace(client, *account, start);
  ReplyReader reader(heard ? static_cast<ReplySource&>(*heard) : client, m_waits.reply_ms);
  if (auto greeted = Expect(reader, kGreeting, "greeting", why); !greeted) return greeted;
  const std::string helo = HeloCommand();
  if (account) NoteLine(*account, "sent", helo.substr(0, helo.size() - 2), start);
  // One send; a partial count still counts as sent, only an error fails.
  if (auto sent = client.Send(helo); !sent) {
    return fail(sent.failure(), "HELO could not be sent");
  }
  return Expect(reader, kHeloAnswer, "answer to HELO", why);
}

}  // namespace smtp
