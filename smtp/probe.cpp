#include "smtp/probe.h"

#include <cstdio>

#include "platform/net.h"
#include "smtp/reply_reader.h"
#include "smtp/tcp_client.h"

namespace smtp {
namespace {

constexpr int kGreeting = 220;
constexpr int kHeloAnswer = 250;

class ClientReplySource final : public ReplySource {
 public:
  explicit ClientReplySource(TcpClient& client) : m_client(client) {}
  int WaitReadable(int ms) override { return m_client.WaitReadable(ms); }
  int Receive(char* buffer, int size) override { return m_client.Receive(buffer, size); }

 private:
  TcpClient& m_client;
};

bool Expect(ReplyReader& reader, int code) {
  const ReplyReader::Reply reply = reader.Read();
  return reply.status == ReplyReader::Status::kReply && reply.code == code;
}

// "HELO <local host name>\r\n". A host name that cannot be read (or reads empty)
// would make a line servers reject, so the probe says localhost instead.
std::string HeloCommand() {
  std::string name;
  if (platform::LocalHostName(&name) != 0 || name.empty()) name = "localhost";
  char command[256 + 8];
  int length = std::snprintf(command, sizeof command, "%s %s\r\n", "HELO", name.c_str());
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof command) {
    return "HELO localhost\r\n";
  }
  return std::string(command, static_cast<std::size_t>(length));
}

}  // namespace

bool Probe::Run(const std::string& server, std::uint16_t port) const {
  if (server.empty()) return false;
  try {
    TcpClient client;
    if (!client.Create(0, "")) return false;  // the destructor closes a half-made socket
    client.SetConnectWait(m_waits.connect_ms);
    ClientReplySource source(client);
    ReplyReader reader(source, m_waits.reply_ms);

    bool ok = client.Connect(server, port) == 1 && Expect(reader, kGreeting);
    if (ok) {
      const std::string helo = HeloCommand();
      // One send; a partial count still counts as sent, only an error fails.
      ok = client.Send(helo.data(), static_cast<int>(helo.size())) != -1 &&
           Expect(reader, kHeloAnswer);
    }
    client.Close();
    return ok;
  } catch (...) {
    return false;
  }
}

}  // namespace smtp
