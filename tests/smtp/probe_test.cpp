// The probe end to end: against aiosmtpd of the test bed, and against scripted servers
// on 127.0.20.x that check what reached them as well as the result.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_smtp_server.h"
#include "platform/net.h"
#include "smtp/probe.h"
#include "smtp/probe_waits.h"
#include "testbed.h"

namespace {

using smtp_test::FakeSmtpServer;
using Step = FakeSmtpServer::Step;

constexpr int kBlock = 20;

// The one line a probe may send.
std::string HeloLine() {
  std::string name;
  if (platform::LocalHostName(&name) != 0 || name.empty()) name = "localhost";
  return "HELO " + name + "\r\n";
}

class SmtpProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::SocketStartup(2, 2), 0);
    // Short enough that a probe that hangs fails the test quickly, long enough for a
    // loaded machine.
    smtp::SetProbeWaitsForTesting({5000, 5000});
  }
  void TearDown() override {
    smtp::ResetProbeWaitsForTesting();
    platform::SocketCleanup();
  }
};

struct ScriptCase {
  const char* name;
  std::vector<Step> script;
  bool result;
  bool helo_arrives;  // the server received exactly the HELO line (else nothing)
};

TEST_F(SmtpProbe, AgainstScriptedServers) {
  KESTRA_REQUIRE_TESTBED();
  const std::vector<ScriptCase> cases = {
      {"220 then 250",
       {FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("250 hello\r\n")},
       true,
       true},
      {"bare 220",
       {FakeSmtpServer::Say("220\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("250 ok\r\n")},
       true,
       true},
      {"three-line greeting, a line at a time",
       {FakeSmtpServer::Say("220-mx.bed.test\r\n"), FakeSmtpServer::Pause(150),
        FakeSmtpServer::Say("220-no UCE\r\n"), FakeSmtpServer::Pause(150),
        FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("250 ok\r\n")},
       true,
       true},
      {"greeting split after 22",
       {FakeSmtpServer::Say("22"), FakeSmtpServer::Pause(150), FakeSmtpServer::Say("0 ready\r\n"),
        FakeSmtpServer::ReadLine(), FakeSmtpServer::Say("250 ok\r\n")},
       true,
       true},
      {"multi-line answer to HELO",
       {FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("250-mx.bed.test\r\n"), FakeSmtpServer::Pause(150),
        FakeSmtpServer::Say("250-8BITMIME\r\n250 SIZE 1000\r\n")},
       true,
       true},
      {"greeting 554", {FakeSmtpServer::Say("554 no service\r\n")}, false, false},
      // Each step wants its one code, not any positive one.
      {"greeting 221",
       {FakeSmtpServer::Say("221 closing\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("250 ok\r\n")},
       false,
       false},
      {"HELO answered 220",
       {FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("220 ready\r\n")},
       false,
       true},
      {"greeting 220 then 421 on its last line",
       {FakeSmtpServer::Say("220-hello\r\n421 going down\r\n")},
       false,
       false},
      {"greeting that is no reply", {FakeSmtpServer::Say("hello there\r\n")}, false, false},
      {"HELO answered 501",
       {FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::ReadLine(),
        FakeSmtpServer::Say("501 syntax\r\n")},
       false,
       true},
      {"closes mid-greeting",
       {FakeSmtpServer::Say("220-first\r\n"), FakeSmtpServer::HangUp()},
       false,
       false},
  };
  int n = 1;
  for (const ScriptCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = testbed::FakeAddress(kBlock, n++);
    FakeSmtpServer server(address, c.script);
    ASSERT_TRUE(server.listening());
    EXPECT_EQ(smtp::Probe().Run(address), c.result);
    FakeSmtpServer::Session session = server.Finish();
    EXPECT_TRUE(session.accepted);
    EXPECT_EQ(session.received, c.helo_arrives ? HeloLine() : "");
    const bool hung_up = !c.script.empty() && c.script.back().kind == Step::kHangUp;
    if (!hung_up) {
      EXPECT_TRUE(session.client_closed) << "the probe left the connection open";
    }
  }
}

TEST_F(SmtpProbe, AServerThatClosesAfterTheGreetingFails) {
  KESTRA_REQUIRE_TESTBED();
  const std::string address = testbed::FakeAddress(kBlock, 30);
  FakeSmtpServer server(address, {FakeSmtpServer::Say("220 ready\r\n"), FakeSmtpServer::HangUp()});
  ASSERT_TRUE(server.listening());
  EXPECT_FALSE(smtp::Probe().Run(address));
  EXPECT_TRUE(server.Finish().accepted);
}

TEST_F(SmtpProbe, AServerThatNeverSpeaksFailsWithinTheBound) {
  KESTRA_REQUIRE_TESTBED();
  const std::string address = testbed::FakeAddress(kBlock, 31);
  FakeSmtpServer server(address, {});
  ASSERT_TRUE(server.listening());
  const smtp::Probe probe({5000, 300});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(probe.Run(address));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(platform::ThreadLastError(), platform::wsa::kETIMEDOUT);
  // Generous: the point is that the wait ends, not how precisely.
  EXPECT_LT(took, std::chrono::seconds(4));
  FakeSmtpServer::Session session = server.Finish();
  EXPECT_EQ(session.received, "");
  EXPECT_TRUE(session.client_closed);
}

TEST_F(SmtpProbe, FailsWithoutAServerToTalkTo) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* name;
    std::string server;
    int last_error;  // -1: the probe must not have touched the network at all
  } cases[] = {
      {"refused port", testbed::FakeAddress(kBlock, 40), platform::wsa::kECONNREFUSED},
      {"name that does not resolve", "no-such-host.bed.test", platform::wsa::kHOST_NOT_FOUND},
      {"empty server", "", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    constexpr int kUntouched = 424242;
    platform::SetThreadLastError(kUntouched);
    EXPECT_FALSE(smtp::Probe().Run(c.server));
    EXPECT_EQ(platform::ThreadLastError(), c.last_error < 0 ? kUntouched : c.last_error);
  }
}

TEST_F(SmtpProbe, EachProbeUsesItsOwnConnection) {
  KESTRA_REQUIRE_TESTBED();
  const std::vector<Step> script = {FakeSmtpServer::Say("220 ready\r\n"),
                                    FakeSmtpServer::ReadLine(), FakeSmtpServer::Say("250 ok\r\n")};
  const std::string address = testbed::FakeAddress(kBlock, 50);
  const smtp::Probe probe;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    FakeSmtpServer server(address, script);
    ASSERT_TRUE(server.listening());
    EXPECT_TRUE(probe.Run(address));
    FakeSmtpServer::Session session = server.Finish();
    EXPECT_EQ(session.received, HeloLine());
    EXPECT_TRUE(session.client_closed);
  }
}

TEST_F(SmtpProbe, RealServerPasses) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* name;
    std::string server;
  } cases[] = {
      {"by address", testbed::SmtpServer()},
      {"by name", "mail.bed.test"},  // an A record of the test bed's zone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(smtp::Probe().Run(c.server));
  }
}

}  // namespace
