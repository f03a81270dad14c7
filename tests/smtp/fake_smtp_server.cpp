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
  platform::SocketHandle s = platform::OpenSocket(platform::kSockStream);
  if (s == platform::kInvalidSocket) return;
  testbed::SetReuseAddress(s);
  if (!platform::Bind(s, {platform::InetAddr(address), 25}) || !testbed::Listen(s, 4)) {
    platform::CloseSocket(s);
    return;
  }
  m_listener = s;
  m_thread = std::thread([this] { Run(); });
}

FakeSmtpServer::~FakeSmtpServer() {
  m_stop.store(true);
  if (m_thread.joinable()) m_thread.join();
  if (m_listener != platform::kInvalidSocket) platform::CloseSocket(m_listener);
}

FakeSmtpServer::Session FakeSmtpServer::Finish() {
  if (m_thread.joinable()) m_thread.join();
  return m_session;
}

// One receive after a bounded wait; false once the client has closed, the wait ran
// out, or the receive failed.
bool FakeSmtpServer::ReceiveSome(platform::SocketHandle s, int wait_ms) {
  if (platform::WaitReadable(s, wait_ms) != 1) return false;
  char buffer[512];
  int n = platform::Recv(s, buffer, sizeof buffer);
  if (n <= 0) {
    // A client that closes with bytes still unread sends a reset instead of a FIN.
    m_session.client_closed = n == 0 || platform::LastSocketError() == platform::wsa::kECONNRESET;
    return false;
  }
  m_session.received.append(buffer, static_cast<std::size_t>(n));
  return true;
}

void FakeSmtpServer::Run() {
  // Accept in short slices so that a destructor's stop is seen quickly.
  const Clock::time_point accept_deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
  int ready = 0;
  while (!m_stop.load() && ready == 0 && MsLeft(accept_deadline) > 0) {
    ready = platform::WaitReadable(m_listener, 50);
  }
  if (ready != 1) return;
  platform::SocketHandle s = testbed::Accept(m_listener);
  if (s == platform::kInvalidSocket) return;
  m_session.accepted = true;

  bool open = true;
  std::size_t line_start = 0;
  for (const Step& step : m_script) {
    if (!open || m_stop.load()) break;
    switch (step.kind) {
      case Step::kSay: {
        std::size_t sent = 0;
        for (int tries = 0; sent < step.text.size() && tries < 16; ++tries) {
          int n = platform::Send(s, step.text.data() + sent, step.text.size() - sent);
          if (n <= 0) break;
          sent += static_cast<std::size_t>(n);
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
  platform::CloseSocket(s);
}

}  // namespace smtp_test
