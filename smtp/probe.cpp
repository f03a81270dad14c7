#include "smtp/probe.h"

#include "platform/net.h"
#include "smtp/reply_reader.h"
#include "smtp/tcp_client.h"

namespace smtp {
namespace {

constexpr int kGreeting = 220;
constexpr int kHeloAnswer = 250;

platform::Result<void> Expect(ReplyReader& reader, int code) {
  const platform::Result<int> reply = reader.Read();
  if (!reply) return reply.failure();
  if (*reply != code) return platform::Failure{platform::Cause::kBadReply, 0};
  return {};
}

// "HELO <local host name>\r\n". A host name that cannot be read (or reads empty)
// would make a line servers reject, so the probe says localhost instead.
std::string HeloCommand() {
  const platform::Result<std::string> name = platform::LocalHostName();
  return "HELO " + (name && !name->empty() ? *name : std::string("localhost")) + "\r\n";
}

}  // namespace

platform::Result<void> Probe::Run(const std::string& server, std::uint16_t port) const {
  if (server.empty()) return platform::Failure{platform::Cause::kInvalidInput, 0};
  if (auto started = platform::EnsureSocketLayer(); !started) return started;
  const platform::Result<platform::IpAddress> address =
      platform::AddressOf(server, platform::AddressText::kName);
  if (!address) return address.failure();
  TcpClient client;
  if (auto connected = client.Connect(*address, port, m_waits.connect_ms); !connected) {
    return connected;
  }
  ReplyReader reader(client, m_waits.reply_ms);
  if (auto greeted = Expect(reader, kGreeting); !greeted) return greeted;
  // One send; a partial count still counts as sent, only an error fails.
  if (auto sent = client.Send(HeloCommand()); !sent) return sent.failure();
  return Expect(reader, kHeloAnswer);
}

}  // namespace smtp
