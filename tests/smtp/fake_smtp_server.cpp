#include "fake_smtp_server.h"

#include <chrono>

#include "test_sockets.h"

namespace smtp_test {
namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}
}  // namespace

FakeSmtpServer::FakeSmtpServer(const std::string& address, std::vector<Step> script)
    : m_script(std::move(script)) {
  if (!platform::EnsureSocketLayer()) return;
  platform::Result<platform::UniqueSocket> s = platform::OpenSocket(platform::kSockStream);
  if (!s) return;
  testbed::SetReuseAddress(s->Get());
  if (!platform::Bind(s->Get(), {platform::InetAddr(address), 25}) ||
      !testbed::Listen(s->Get(), 4)) {
    return;
  }
  m_listener = std::move(*s);
  m_thread = std::thread([this] { Run(); });
}

FakeSmtpServer::~FakeSmtpServer() {
  m_stop.store(true);
  if (m_thread.joinable()) m_thread.join();
}

FakeSmtpServer::Session FakeSmtpServer::Finish() {
  if (m_thread.joinable()) m_thread.join();
  return m_session;
}

// One receive after a bounded wait; false once the client has closed, the wait ran
// out, or the receive failed.
bool FakeSmtpServer::ReceiveSome(platform::SocketHandle s, int wait_ms) {
  if (!platform::WaitReadable(s, wait_ms)) return false;
  char buffer[512];
  const platform::Result<std::size_t> n = platform::Recv(s, buffer, sizeof buffer);
  if (!n || *n == 0) {
    // A client that closes with bytes still unread sends a reset instead of a FIN.
    m_session.client_closed = n ? true : n.failure().code == platform::wsa::kECONNRESET;
    return false;
  }
  m_session.received.append(buffer, *n);
  return true;
}

void FakeSmtpServer::Run() {
  // Accept in short slices so that a destructor's stop is seen quickly.
  const Clock::time_point accept_deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
  platform::Result<void> ready = platform::SocketFailure(platform::wsa::kETIMEDOUT);
  while (!m_stop.load() && !ready && ready.failure().cause == platform::Cause::kTimeout &&
         MsLeft(accept_deadline) > 0) {
    ready = platform::WaitReadable(m_listener.Get(), 50);
  }
  if (!ready) return;
  const platform::UniqueSocket client(testbed::Accept(m_listener.Get()));
  if (client.Get() == platform::kInvalidSocket) return;
  const platform::SocketHandle s = client.Get();
  m_session.accepted = true;

  bool open = true;
  std::size_t line_start = 0;
  for (const Step& step : m_script) {
    if (!open || m_stop.load()) break;
    switch (step.kind) {
      case Step::kSay: {
        std::size_t sent = 0;
        for (int tries = 0; sent < step.text.size() && tries < 16; ++tries) {
          const platform::Result<std::size_t> n =
              platform::Send(s, step.text.data() + sent, step.text.size() - sent);
          if (!n || *n == 0) break;
          sent += *n;
        }
        break;
      }
      case Step::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        break;
      case Step::kReadLine: {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
        while (m_session.received.find('\n', line_start) == std::string::npos) {
          if (MsLeft(deadline) == 0 || !ReceiveSome(s, MsLeft(deadline))) break;
        }
        std::size_t lf = m_session.received.find('\n', line_start);
        line_start = lf == std::string::npos ? m_session.received.size() : lf + 1;
        if (m_session.client_closed) open = false;
        break;
      }
      case Step::kHangUp:
        open = false;
        break;
    }
  }
  // Record the rest until the client closes (bounded).
  if (open) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!m_stop.load() && MsLeft(deadline) > 0 && ReceiveSome(s, MsLeft(deadline))) {
    }
  }
}

}  // namespace smtp_test
