// The probe end to end: against aiosmtpd of the test bed, and against scripted servers
// on 127.0.20.x that check what reached them as well as the result.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "failure_of.h"
#include "fake_smtp_server.h"
#include "platform/net.h"
#include "smtp/probe.h"
#include "testbed.h"

namespace {

using platform::Cause;
using platform::Failure;
using smtp_test::FakeSmtpServer;
using Step = FakeSmtpServer::Step;

constexpr int kBlock = 20;
// Short enough that a probe that hangs fails the test quickly, long enough for a
// loaded machine.
constexpr smtp::ProbeWaits kWaits{5000, 5000};
const std::optional<Failure> kPasses;
const Failure kBadReply{Cause::kBadReply, 0};

const auto Say = FakeSmtpServer::Say;
const auto Pause = FakeSmtpServer::Pause;
const auto ReadLine = FakeSmtpServer::ReadLine;
const auto HangUp = FakeSmtpServer::HangUp;

// The one line a probe may send.
std::string HeloLine() {
  const platform::Result<std::string> name = platform::LocalHostName();
  return "HELO " + (name && !name->empty() ? *name : "localhost") + "\r\n";
}

TEST(SmtpProbe, AgainstScriptedServers) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* name;
    std::vector<Step> script;
    std::optional<Failure> failure;
    bool helo_arrives;  // the server received exactly the HELO line (else nothing)
  } cases[] = {
      {"220 then 250", {Say("220 ready\r\n"), ReadLine(), Say("250 hello\r\n")}, kPasses, true},
      {"bare 220", {Say("220\r\n"), ReadLine(), Say("250 ok\r\n")}, kPasses, true},
      {"three-line greeting, a line at a time",
       {Say("220-mx.bed.test\r\n"), Pause(150), Say("220-no UCE\r\n"), Pause(150),
        Say("220 ready\r\n"), ReadLine(), Say("250 ok\r\n")},
       kPasses,
       true},
      {"greeting split after 22",
       {Say("22"), Pause(150), Say("0 ready\r\n"), ReadLine(), Say("250 ok\r\n")},
       kPasses,
       true},
      {"multi-line answer to HELO",
       {Say("220 ready\r\n"), ReadLine(), Say("250-mx.bed.test\r\n"), Pause(150),
        Say("250-8BITMIME\r\n250 SIZE 1000\r\n")},
       kPasses,
       true},
      {"greeting 554", {Say("554 no service\r\n")}, kBadReply, false},
      // Each step wants its one code, not any positive one.
      {"greeting 221", {Say("221 closing\r\n"), ReadLine(), Say("250 ok\r\n")}, kBadReply, false},
      {"HELO answered 220",
       {Say("220 ready\r\n"), ReadLine(), Say("220 ready\r\n")},
       kBadReply,
       true},
      {"greeting 220 then 421 on its last line",
       {Say("220-hello\r\n421 going down\r\n")},
       kBadReply,
       false},
      {"greeting that is no reply", {Say("hello there\r\n")}, kBadReply, false},
      {"HELO answered 501",
       {Say("220 ready\r\n"), ReadLine(), Say("501 syntax\r\n")},
       kBadReply,
       true},
      {"closes mid-greeting", {Say("220-first\r\n"), HangUp()}, kBadReply, false},
  };
  int n = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = testbed::FakeAddress(kBlock, n++);
    FakeSmtpServer server(address, c.script);
    ASSERT_TRUE(server.listening());
    EXPECT_EQ(testbed::FailureOf(smtp::Probe(kWaits).Run(address)), c.failure);
    FakeSmtpServer::Session session = server.Finish();
    EXPECT_TRUE(session.accepted);
    EXPECT_EQ(session.received, c.helo_arrives ? HeloLine() : "");
    if (c.script.back().kind != Step::kHangUp) {
      EXPECT_TRUE(session.client_closed) << "the probe left the connection open";
    }
  }
}

TEST(SmtpProbe, AServerThatClosesAfterTheGreetingFails) {
  KESTRA_REQUIRE_TESTBED();
  const std::string address = testbed::FakeAddress(kBlock, 30);
  FakeSmtpServer server(address, {Say("220 ready\r\n"), HangUp()});
  ASSERT_TRUE(server.listening());
  EXPECT_FALSE(smtp::Probe(kWaits).Run(address));
  EXPECT_TRUE(server.Finish().accepted);
}

TEST(SmtpProbe, AServerThatNeverSpeaksFailsWithinTheBound) {
  KESTRA_REQUIRE_TESTBED();
  const std::string address = testbed::FakeAddress(kBlock, 31);
  FakeSmtpServer server(address, {});
  ASSERT_TRUE(server.listening());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(testbed::FailureOf(smtp::Probe({5000, 300}).Run(address)),
            (Failure{Cause::kTimeout, platform::wsa::kETIMEDOUT}));
  // Generous: the point is that the wait ends, not how precisely.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  FakeSmtpServer::Session session = server.Finish();
  EXPECT_EQ(session.received, "");
  EXPECT_TRUE(session.client_closed);
}

TEST(SmtpProbe, FailsWithoutAServerToTalkTo) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* name;
    std::string server;
    Failure failure;
  } cases[] = {
      {"refused port",
       testbed::FakeAddress(kBlock, 40),
       {Cause::kUnreachable, platform::wsa::kECONNREFUSED}},
      {"name that does not resolve",
       "no-such-host.bed.test",
       {Cause::kNotFound, platform::wsa::kHOST_NOT_FOUND}},
      {"empty server", "", {Cause::kInvalidInput, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testbed::FailureOf(smtp::Probe(kWaits).Run(c.server)), c.failure) << c.name;
  }
}

TEST(SmtpProbe, EachProbeUsesItsOwnConnection) {
  KESTRA_REQUIRE_TESTBED();
  const std::string address = testbed::FakeAddress(kBlock, 50);
  const smtp::Probe probe(kWaits);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    FakeSmtpServer server(address, {Say("220 ready\r\n"), ReadLine(), Say("250 ok\r\n")});
    ASSERT_TRUE(server.listening());
    EXPECT_TRUE(probe.Run(address));
    FakeSmtpServer::Session session = server.Finish();
    EXPECT_EQ(session.received, HeloLine());
    EXPECT_TRUE(session.client_closed);
  }
}

TEST(SmtpProbe, RealServerPasses) {
  KESTRA_REQUIRE_TESTBED();
  // By address, by the name of an A record of the test bed's zone, by IPv6 address, and
  // by a name with only an IPv6 address (the test bed's aiosmtpd listens on ::1 too).
  for (const std::string& server :
       {testbed::SmtpServer(), std::string("mail.bed.test"), std::string("::1"),
        std::string("[::1]"), std::string("loopback6.bed.test")}) {
    EXPECT_TRUE(smtp::Probe(kWaits).Run(server)) << server;
  }
}

// The verdict an account hears names the step whose reply was refused, and its code.
TEST(SmtpProbe, TheVerdictNamesTheRefusedStep) {
  KESTRA_REQUIRE_TESTBED();
  using support::step::SmtpStage;
  const struct {
    const char* name;
    std::vector<Step> script;
    SmtpStage stage;
    int code;
  } cases[] = {
      {"greeting 554", {Say("554 no service\r\n")}, SmtpStage::kGreeting, 554},
      {"HELO answered 501",
       {Say("220 ready\r\n"), ReadLine(), Say("501 syntax\r\n")},
       SmtpStage::kHeloAnswer,
       501},
  };
  int n = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = testbed::FakeAddress(kBlock, n++);
    FakeSmtpServer server(address, c.script);
    ASSERT_TRUE(server.listening());
    support::Account account;
    EXPECT_FALSE(smtp::Probe(kWaits).Run(address, smtp::Probe::kSmtpPort, &account));
    ASSERT_FALSE(account.Steps().empty());
    const auto* verdict = std::get_if<support::step::SmtpVerdict>(&account.Steps().back());
    ASSERT_NE(verdict, nullptr);
    EXPECT_EQ(verdict->stage, c.stage);
    EXPECT_EQ(verdict->code, c.code);
  }
}

}  // namespace
