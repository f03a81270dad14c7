// A scripted SMTP server for the probe's tests: a thread inside the test program that
// listens on one loopback address at port 25, takes one connection, plays its script,
// and then records whatever else arrives until the client closes. Every wait is
// bounded, and the destructor stops the thread on every path.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"

namespace smtp_test {

class FakeSmtpServer {
 public:
  struct Step {
    enum Kind { kSay, kPause, kReadLine, kHangUp } kind;
    std::string text;  // kSay: bytes to send
    int ms = 0;        // kPause: how long
  };
  static Step Say(std::string text) { return Step{Step::kSay, std::move(text), 0}; }
  static Step Pause(int ms) { return Step{Step::kPause, "", ms}; }
  // Waits until a whole line (up to LF) has arrived since the last one.
  static Step ReadLine() { return Step{Step::kReadLine, "", 0}; }
  // Closes the connection at once; nothing more is recorded.
  static Step HangUp() { return Step{Step::kHangUp, "", 0}; }

  // What the server saw of its one connection.
  struct Session {
    bool accepted = false;
    std::string received;        // every byte the client sent
    bool client_closed = false;  // the client closed the connection (orderly or reset)
  };

  // Starts listening on address:25 before returning. listening() tells whether it could.
  FakeSmtpServer(const std::string& address, std::vector<Step> script);
  ~FakeSmtpServer();
  FakeSmtpServer(const FakeSmtpServer&) = delete;
  FakeSmtpServer& operator=(const FakeSmtpServer&) = delete;

  bool listening() const { return m_listener.Get() != platform::kInvalidSocket; }
  // Waits for the session to end (bounded) and returns it.
  Session Finish();

  // How long any one wait of the server lasts at most.
  static constexpr int kWaitMs = 10'000;

 private:
  void Run();
  bool ReceiveSome(platform::SocketHandle s, int wait_ms);

  std::vector<Step> m_script;
  platform::UniqueSocket m_listener;
  std::atomic<bool> m_stop{false};
  Session m_session;
  std::thread m_thread;
};

}  // namespace smtp_test
