// `kestra --explain` and `--json`: the account of a lookup, told by the code a page runs,
// against the test bed and scripted servers. The JSON is read back and its members
// checked; the text is checked for the lines an administrator looks for.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fake_dns_server.h"
#include "hosting_config.h"
#include "platform/net.h"
#include "testbed.h"
#include "tests/lookup/silent_udp_listener.h"
#include "tests/smtp/fake_smtp_server.h"
#include "tests/tools/run_kestra.h"

namespace {

using Json = nlohmann::json;
using kestra_test::Kestra;
using testbed::DnsReply;
using testbed::FakeDnsServer;
using testbed::FakeReply;

constexpr int kBlock = 61;

Json KestraJson(std::vector<std::string> args, int rc) {
  args.insert(args.begin(), "--json");
  const kestra_test::Result r = Kestra(args);
  EXPECT_EQ(r.rc, rc) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  return Json::parse(r.out);  // exactly one document, or this throws
}

std::vector<std::string> Purposes(const Json& doc) {
  std::vector<std::string> out;
  for (const Json& q : doc["dns"]["queries"])
    out.push_back(q["purpose"].get<std::string>() + "/" + q["transport"].get<std::string>());
  return out;
}

class Explain : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRA_REQUIRE_TESTBED();
    ASSERT_TRUE(platform::EnsureSocketLayer());
  }
};

TEST_F(Explain, MxLookupTellsBothQueriesTheirRecordsAndThePagesResult) {
  const Json doc = KestraJson({"--server", testbed::DnsServer(), "mx", "three.lookup.test"}, 0);
  EXPECT_EQ(doc["command"], "mx");
  EXPECT_EQ(doc["argument"], "three.lookup.test");
  EXPECT_EQ(doc["result"]["is_error"], 0);
  EXPECT_EQ(doc["result"]["records"][0],
            Json({{"preference", 20}, {"exchange", "alpha.lookup.test"}}));
  EXPECT_EQ(doc["access"]["allowed"], true);
  EXPECT_EQ(doc["dns"]["server"]["chosen_by"], "DNSServer");
  EXPECT_EQ(doc["dns"]["server"]["port"], 53);
  EXPECT_EQ(Purposes(doc), (std::vector<std::string>{"check/udp", "list/udp"}));
  for (const Json& q : doc["dns"]["queries"]) {
    EXPECT_EQ(q["outcome"], "reply");
    EXPECT_EQ(q["flags"], Json({"rd"}));
    EXPECT_EQ(q["reply"]["id"], q["id"]);
    EXPECT_EQ(q["reply"]["rcode"], "NOERROR");
    EXPECT_EQ(q["reply"]["flags"], Json({"qr", "aa", "rd"}));
    ASSERT_EQ(q["reply"]["answers"].size(), 3u);
    EXPECT_EQ(q["reply"]["answers"][0]["data"], "5 zeta.lookup.test.");
    EXPECT_EQ(q["reply"]["answers"][0]["exchanger"], "yes");
  }
  const kestra_test::Result text =
      Kestra({"--explain", "--server", testbed::DnsServer(), "mx", "three.lookup.test"});
  EXPECT_EQ(text.out.rfind("20 alpha.lookup.test\n10 mid.lookup.test\n5 zeta.lookup.test\n", 0),
            0u);
  for (const char* line :
       {"\n;; ANSWER SECTION:\n", "\tIN\tMX\t10 mid.lookup.test.\t; exchanger\n", "status: NOERROR",
        "\n;; the page reads: IsError 0, ErrorReason \"\"\n"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
  }
}

TEST_F(Explain, DnsOutcomesShowInTheAccount) {
  testbed::SilentUdpListener silent(testbed::FakeAddress(kBlock, 1));
  ASSERT_TRUE(silent.Ready());
  // A truncated answer, then the same query over TCP.
  Json doc = KestraJson({"--server", testbed::DnsServer(), "resolve", "many.resolver.test"}, 0);
  EXPECT_EQ(Purposes(doc), (std::vector<std::string>{"resolve/udp", "resolve/tcp"}));
  EXPECT_EQ(doc["dns"]["queries"][0]["reply"]["flags"], Json({"qr", "aa", "tc", "rd"}));
  EXPECT_EQ(doc["dns"]["queries"][1]["reply"]["answers"].size(), 20u);
  // An absent name, and a server that never answers.
  doc = KestraJson({"--server", testbed::DnsServer(), "mxcount", "absent.lookup.test"}, 1);
  EXPECT_EQ(doc["dns"]["queries"][0]["reply"]["rcode"], "NXDOMAIN");
  EXPECT_EQ(doc["result"]["error_reason"], "Invalid domain name or DNS server");
  doc = KestraJson(
      {"--server", testbed::FakeAddress(kBlock, 1), "--timeout", "1", "mxcount", "x.test"}, 1);
  EXPECT_EQ(doc["dns"]["queries"][0]["outcome"], "timeout");
  EXPECT_GE(doc["dns"]["queries"][0]["elapsed_ms"].get<double>(), 900.0);
  EXPECT_EQ(doc["result"]["is_error"], 1);
}

// Datagrams that are not the reply are told with why they were dropped; the account
// changes nothing of what goes out.
TEST_F(Explain, DroppedDatagramsAndTheBytesSent) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 2), [](const testbed::Bytes& q) {
    const std::uint16_t id = static_cast<std::uint16_t>((q[0] << 8) | q[1]);
    return std::vector<FakeReply>{DnsReply(q).Id(id ^ 1).Build(),
                                  DnsReply(q).Mx(10, "mx.example.test").Build()};
  });
  ASSERT_TRUE(server.Started());
  const std::vector<std::string> args = {"--server", server.Address(), "mx", "example.test"};
  const Json doc = KestraJson(args, 0);
  const Json& discarded = doc["dns"]["queries"][0]["discarded"];
  ASSERT_EQ(discarded.size(), 1u);
  EXPECT_EQ(discarded[0]["reason"], "wrong ID");
  const kestra_test::Result plain = Kestra(args);
  EXPECT_EQ(plain.out, "10 mx.example.test\n");
  std::vector<testbed::Bytes> sent = server.UdpQueries();
  ASSERT_EQ(sent.size(), 4u);  // two queries a lookup, with and without the account
  for (testbed::Bytes& q : sent) q.erase(q.begin(), q.begin() + 2);  // each has its own ID
  EXPECT_EQ(sent[0], sent[2]);
  EXPECT_EQ(sent[1], sent[3]);
}

TEST_F(Explain, SmtpConversationAndHostLookup) {
  Json doc = KestraJson({"smtp", testbed::SmtpServer()}, 0);
  EXPECT_EQ(doc["result"]["value"], 1);
  EXPECT_EQ(doc["smtp"]["address"], testbed::SmtpServer());
  EXPECT_EQ(doc["smtp"]["verdict"], 1);
  for (const char* key : {"host", "ascii_host", "addresses", "port", "connect_ms", "why"}) {
    EXPECT_TRUE(doc["smtp"].contains(key)) << key;
  }
  const Json& lines = doc["smtp"]["lines"];
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["dir"], "received");
  EXPECT_EQ(lines[0]["text"].get<std::string>().substr(0, 4), "220 ");
  EXPECT_EQ(lines[1]["text"].get<std::string>().substr(0, 5), "HELO ");
  EXPECT_EQ(lines[2]["text"].get<std::string>().substr(0, 4), "250 ");

  smtp_test::FakeSmtpServer refusing(testbed::FakeAddress(kBlock, 3),
                                     {smtp_test::FakeSmtpServer::Say("554 no service\r\n")});
  ASSERT_TRUE(refusing.listening());
  const kestra_test::Result text = Kestra({"smtp", testbed::FakeAddress(kBlock, 3), "--explain"});
  EXPECT_EQ(text.rc, 0);
  for (const char* line :
       {"0\n", "\n<- 554 no service  [", "\n;; verdict 0: greeting: 554, not 220\n"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
  }

  doc = KestraJson({"host", "multi.lookup.test"}, 0);
  EXPECT_EQ(doc["resolver"]["answers"], Json({"192.0.2.10", "192.0.2.20", "192.0.2.30"}));
  EXPECT_EQ(doc["resolver"]["taken"], "192.0.2.10");
  EXPECT_EQ(doc["resolver"]["code"], 0);
  doc = KestraJson({"host", "absent.lookup.test"}, 1);
  EXPECT_NE(doc["resolver"]["code"], 0);
  EXPECT_EQ(doc["resolver"]["text"], "Domain name or host not found");
}

TEST(ExplainOtherCommands, AccessDoctorAndPolicyGiveOneDocument) {
  testreg::HostingConfig none("kestra-json-noconfig");
  Json doc = KestraJson({"access", "Lookup"}, 0);
  EXPECT_EQ(doc["access"]["allowed"], true);
  EXPECT_EQ(doc["access"]["step"], 1);
  EXPECT_EQ(doc["access"]["values"][0]["name"], "Admin.ini");
  // The doctor's rows and exit code, as its text gives them.
  const kestra_test::Result doctor = Kestra({"doctor"});
  doc = KestraJson({"doctor"}, doctor.rc);
  ASSERT_FALSE(doc["rows"].empty());
  for (const Json& row : doc["rows"]) {
    const std::string line = row["status"].get<std::string>() + "  ";
    EXPECT_NE(doctor.out.find(row["check"].get<std::string>()), std::string::npos) << row.dump();
    EXPECT_NE(doctor.out.find(line.substr(0, 6)), std::string::npos) << row.dump();
  }
  doc = KestraJson({"policy"}, 0);
  EXPECT_TRUE(doc["everywhere"].is_string());
  EXPECT_TRUE(doc["sites"].empty());
}

}  // namespace
