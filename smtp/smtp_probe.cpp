// The SMTP probe: connect to port 25, expect a 220 greeting, introduce ourselves with
// one HELO line, expect 250, and close without QUIT. Each probe has its own socket and
// reader on its stack; CResolveMX only points at the reader while the probe runs.
#include <cstdio>
#include <string>

#include "dns/resolve_mx.h"
#include "platform/net.h"
#include "smtp/orv_socket.h"
#include "smtp/probe_waits.h"
#include "smtp/reply_reader.h"

namespace {

constexpr std::uint16_t kSmtpPort = 25;

int ExpectedCode(CResolveMX::SmtpStep step) {
  return step == CResolveMX::kGreeting ? 220 : 250;
}

class SocketReplySource final : public smtp::ReplySource {
 public:
  explicit SocketReplySource(COrvSocket& socket) : m_socket(socket) {}
  int WaitReadable(int ms) override { return m_socket.WaitReadable(ms); }
  int Receive(char* buffer, int size) override { return m_socket.Receive(buffer, size); }

 private:
  COrvSocket& m_socket;
};

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

bool CResolveMX::VerifySMTPServer(const std::string& server) {
  return SMTPHandshake(server, kSmtpPort);
}

bool CResolveMX::SMTPHandshake(const std::string& server, std::uint16_t port) {
  if (server.empty()) return false;
  // Points the member at this probe's reader for CheckReply, and away again on every
  // way out, so that it never outlives the reader.
  struct ReaderScope {
    CResolveMX* self;
    ReaderScope(CResolveMX* owner, smtp::ReplyReader* reader) : self(owner) {
      self->m_pProbeReader = reader;
    }
    ~ReaderScope() { self->m_pProbeReader = nullptr; }
  };

  try {
    const smtp::ProbeWaits waits = smtp::CurrentProbeWaits();
    COrvSocket socket;
    if (!socket.Create(0, "")) return false;  // the destructor closes a half-made socket
    socket.SetConnectWait(waits.connect_ms);
    SocketReplySource source(socket);
    smtp::ReplyReader reader(source, waits.reply_ms);
    ReaderScope scope(this, &reader);

    bool ok = socket.Connect(server, port) == 1 && CheckReply(kGreeting);
    if (ok) {
      const std::string helo = HeloCommand();
      // One send; a partial count still counts as sent, only an error fails.
      ok = socket.Send(helo.data(), static_cast<int>(helo.size())) != -1 && CheckReply(kHeloAnswer);
    }
    socket.Close();
    return ok;
  } catch (...) {
    return false;
  }
}

bool CResolveMX::CheckReply(SmtpStep step) {
  if (m_pProbeReader == nullptr) return false;
  smtp::ReplyReader::Reply reply = m_pProbeReader->Read();
  return reply.status == smtp::ReplyReader::Status::kReply && reply.code == ExpectedCode(step);
}
