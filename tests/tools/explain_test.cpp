// `kestra --explain` and `--json`: the account of a lookup, told by the code a page runs,
// against the test bed and scripted servers. The JSON is read back and its members
// checked; the text is checked for the lines an administrator looks for.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fake_dns_server.h"
#include "hosting_config.h"
#include "platform/net.h"
#include "testbed.h"
#include "tests/lookup/silent_udp_listener.h"
#include "tests/smtp/fake_smtp_server.h"
#include "tests/tools/run_kestra.h"
#include "tools/reply_text.h"
#include "tools/report.h"

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
  EXPECT_EQ(doc["ok"], true);
  EXPECT_EQ(doc["error"], nullptr);
  EXPECT_EQ(doc["result"]["is_error"], 0);
  EXPECT_EQ(doc["result"]["records"][0],
            Json({{"preference", 20}, {"exchange", "alpha.lookup.test"}}));
  EXPECT_EQ(doc["access"]["allowed"], true);
  EXPECT_EQ(doc["dns"]["server"]["chosen_by"], "DNSServer");
  EXPECT_EQ(doc["smtp"], nullptr);
  EXPECT_EQ(Purposes(doc), (std::vector<std::string>{"check/udp", "list/udp"}));
  for (const Json& q : doc["dns"]["queries"]) {
    EXPECT_EQ(q["outcome"], "reply");
    EXPECT_EQ(q["flags"], Json({"rd"}));  // read back from the bytes sent
    EXPECT_EQ(q["reply"]["rcode"], "NOERROR");
    EXPECT_EQ(q["reply"]["flags"], Json({"qr", "aa", "rd"}));
    ASSERT_EQ(q["reply"]["answers"].size(), 3u);
    std::set<std::string> data;
    for (const Json& a : q["reply"]["answers"]) {
      data.insert(a["data"].get<std::string>());
      EXPECT_EQ(a["exchanger"], true);
    }
    EXPECT_EQ(data, (std::set<std::string>{"5 zeta.lookup.test.", "10 mid.lookup.test.",
                                           "20 alpha.lookup.test."}));
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
  // An absent name (its authority section in zone-file form), and a server that never
  // answers.
  doc = KestraJson({"--server", testbed::DnsServer(), "mxcount", "absent.lookup.test"}, 1);
  EXPECT_EQ(doc["dns"]["queries"][0]["reply"]["rcode"], "NXDOMAIN");
  EXPECT_EQ(doc["dns"]["queries"][0]["reply"]["authority"][0]["data"],
            "ns.lookup.test. hostmaster.lookup.test. 1 3600 600 86400 300");
  EXPECT_EQ(doc["result"]["error_reason"], "Invalid domain name or DNS server");
  EXPECT_EQ(doc["error"], Json({{"reason", "Invalid domain name or DNS server"}, {"step", "dns"}}));
  doc = KestraJson(
      {"--server", testbed::FakeAddress(kBlock, 1), "--timeout", "1", "mxcount", "x.test"}, 1);
  EXPECT_EQ(doc["dns"]["queries"][0]["outcome"], "timeout");
  EXPECT_GE(doc["dns"]["queries"][0]["elapsed_ms"].get<double>(), 900.0);
  EXPECT_EQ(doc["result"]["is_error"], 1);
  // A null MX: the page's count stays one, the account says what it means.
  const kestra_test::Result null_mx =
      Kestra({"--explain", "--server", testbed::DnsServer(), "mxcount", "nomail.resolver.test"});
  EXPECT_EQ(null_mx.rc, 0);
  EXPECT_EQ(null_mx.out.rfind("1\n", 0), 0u);
  EXPECT_NE(null_mx.out.find("\tMX\t0 .\t; null MX: the domain accepts no mail\n"),
            std::string::npos)
      << null_mx.out;
  // A name that is not ASCII: as given, then as asked.
  const kestra_test::Result idn = Kestra({"--explain", "--server", testbed::DnsServer(), "mxcount",
                                          "b\xC3\xBC"
                                          "cher.example"});
  EXPECT_NE(idn.out.find("\n;; name: b\xC3\xBC"
                         "cher.example (asked as xn--bcher-kva.example)\n"),
            std::string::npos)
      << idn.out;
  const kestra_test::Result ascii =
      Kestra({"--explain", "--server", testbed::DnsServer(), "mxcount", "three.lookup.test"});
  EXPECT_NE(ascii.out.find("\n;; name: three.lookup.test\n"), std::string::npos) << ascii.out;
}

// A truncated reply whose TCP retry is refused: the retry is a query like the others,
// and the truncated reply's records stand.
TEST_F(Explain, TheTcpRetryIsAQueryWithItsCause) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 5), [](const testbed::Bytes& q) {
    return std::vector<FakeReply>{DnsReply(q).Truncated().Mx(10, "mx.example.test").Build()};
  });  // no TCP script: nothing listens on TCP port 53 there
  ASSERT_TRUE(server.Started());
  const Json doc = KestraJson({"--server", server.Address(), "resolve", "example.test"}, 0);
  EXPECT_EQ(Purposes(doc), (std::vector<std::string>{"resolve/udp", "resolve/tcp"}));
  const Json& tcp = doc["dns"]["queries"][1];
  EXPECT_EQ(tcp["outcome"], "error");
  EXPECT_EQ(tcp["code"], platform::wsa::kECONNREFUSED);
  EXPECT_EQ(tcp["detail"], "connection refused (system code 10061)");
  EXPECT_EQ(tcp["reply"], nullptr);
  const kestra_test::Result text =
      Kestra({"--explain", "--server", server.Address(), "resolve", "example.test"});
  EXPECT_NE(text.out.find("\n;; query 2 over tcp: id "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n;; error: connection refused (system code 10061) after "),
            std::string::npos)
      << text.out;
}

// What a DNS server sends is shown in presentation form: escape codes never reach the
// terminal, and a dot or space inside a label is told from one between labels.
TEST_F(Explain, NamesFromTheWireAreShownSafely) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 6), [](const testbed::Bytes& q) {
    const testbed::Bytes esc = {10, 'm', 'x', 0x1B, '[', '3', '1', 'm', 'R', 'E', 'D', 0};
    const testbed::Bytes dotted = {5, 'a', '.', 'b', ' ', 'c', 4, 't', 'e', 's', 't', 0};
    return std::vector<FakeReply>{DnsReply(q).MxWire(10, esc).MxWire(20, dotted).Build()};
  });
  ASSERT_TRUE(server.Started());
  const std::vector<std::string> args = {"--server", server.Address(), "resolve", "example.test"};
  std::vector<std::string> explain = args;
  explain.push_back("--explain");
  const kestra_test::Result text = Kestra(explain);
  EXPECT_EQ(text.out.find('\x1B'), std::string::npos) << text.out;
  for (const char* line : {"10 mx\\x1B[31mRED\n20 a.b c.test\n",  // the result lines
                           "\tMX\t10 mx\\027[31mRED.\t", "\tMX\t20 a\\.b\\032c.test.\t"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
  }
  const Json doc = KestraJson(args, 0);  // JSON carries the exact value
  EXPECT_EQ(doc["result"]["records"][0]["exchange"], "mx\x1B[31mRED");
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
  EXPECT_EQ(text.rc, 1);  // the page did not get the 1 it asked for
  for (const char* line :
       {"0\n", "\n<- 554 no service  [", "\n;; verdict 0: greeting: 554, not 220\n"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
  }
  EXPECT_EQ(lines[1]["text"].get<std::string>().find_first_of("\r\n"), std::string::npos);

  doc = KestraJson({"host", "multi.lookup.test"}, 0);
  const std::vector<std::string> answers = doc["resolver"]["answers"];
  EXPECT_EQ(std::set<std::string>(answers.begin(), answers.end()),
            (std::set<std::string>{"192.0.2.10", "192.0.2.20", "192.0.2.30"}));
  EXPECT_EQ(doc["resolver"]["taken"], answers.at(0));
  EXPECT_EQ(doc["result"]["value"], answers.at(0));
  EXPECT_EQ(doc["resolver"]["code"], 0);
  doc = KestraJson({"host", "absent.lookup.test"}, 1);
  EXPECT_NE(doc["resolver"]["code"], 0);
  EXPECT_EQ(doc["resolver"]["text"], "Domain name or host not found");
}

// Each way an SMTP conversation can fail is told as it was.
TEST_F(Explain, SmtpFailuresAreToldAsTheyWere) {
  using smtp_test::FakeSmtpServer;
  const struct {
    const char* what;
    std::vector<FakeSmtpServer::Step> script;
    const char* verdict;
  } cases[] = {
      {"malformed",
       {FakeSmtpServer::Say("hello there\r\n")},
       ";; verdict 0: greeting: a malformed reply (a line without a three-digit code)\n"},
      {"too long",
       {FakeSmtpServer::Say("220-" + std::string(70 * 1024, 'x'))},
       ";; verdict 0: greeting: a reply longer than 64 KiB\n"},
      {"cut off",
       {FakeSmtpServer::Say("220 half a li"), FakeSmtpServer::HangUp()},
       ";; verdict 0: greeting: the server closed the connection before the reply was whole\n"},
  };
  int n = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string address = testbed::FakeAddress(kBlock, n++);
    FakeSmtpServer server(address, c.script);
    ASSERT_TRUE(server.listening());
    const kestra_test::Result text = Kestra({"smtp", address, "--explain"});
    EXPECT_EQ(text.rc, 1);
    EXPECT_NE(text.out.find(c.verdict), std::string::npos) << text.out;
  }
  // What came of a cut line is shown as it came.
  FakeSmtpServer cut(testbed::FakeAddress(kBlock, n),
                     {FakeSmtpServer::Say("220 half"), FakeSmtpServer::HangUp()});
  ASSERT_TRUE(cut.listening());
  const Json doc = KestraJson({"smtp", testbed::FakeAddress(kBlock, n)}, 1);
  EXPECT_EQ(doc["smtp"]["lines"],
            Json::array({{{"dir", "received"},
                          {"text", "220 half"},
                          {"elapsed_ms", doc["smtp"]["lines"][0]["elapsed_ms"]}}}));
  EXPECT_EQ(doc["error"]["step"], "smtp");
  // No host: the verdict still says why.
  const kestra_test::Result empty = Kestra({"smtp", "", "--explain"});
  EXPECT_NE(empty.out.find("\n;; verdict 0: no host given\n"), std::string::npos) << empty.out;
  // A host by name: its lookup is shown.
  const Json named = KestraJson({"smtp", "mail.bed.test"}, 0);
  EXPECT_EQ(named["smtp"]["lookup"]["code"], 0);
  EXPECT_EQ(named["smtp"]["lookup"]["asked"], "mail.bed.test");
  EXPECT_EQ(named["smtp"]["address"], named["smtp"]["lookup"]["answers"][0]);
}

// The account as text: every line of it starts as its kind of line starts, whatever
// the values hold.
TEST(ShowAccount, EveryLineKeepsItsStart) {
  support::Account account;
  account.Add(support::step::AccessRead{support::step::Item::kCaller,
                                        std::string("first line\r\nsecond\x1B[2J")});
  account.Add(support::step::AccessDecision{false, 5, "refused\r\n"});
  account.Add(support::step::SmtpLine{support::step::Direction::kReceived, "220 a\rb\x9B", 1.0});
  std::ostringstream text;
  kestra_tool::ShowAccount(account, &text, nullptr);
  std::istringstream lines(text.str());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_TRUE(line.starts_with(";;") || line.starts_with("<- ")) << line;
    EXPECT_EQ(line.find_first_of("\r\x1B"), std::string::npos) << line;
  }
  EXPECT_EQ(count, 4);  // the decision, its value, the hint for a shell, the SMTP line
  EXPECT_NE(text.str().find("first line\\x0D\\x0Asecond\\x1B[2J"), std::string::npos) << text.str();
}

// Bytes that are no text still make valid UTF-8 documents, and say which bytes they were.
TEST_F(Explain, BytesThatAreNoTextStillMakeADocument) {
  const Json doc = KestraJson({"mx", "\xFF\xFE.lookup.test"}, 1);
  EXPECT_EQ(doc["argument"], "\\xFF\\xFE.lookup.test");
  EXPECT_EQ(doc["result"]["error_reason"], "Invalid domain name or DNS server");
}

TEST(ExplainOtherCommands, AccessDoctorAndPolicyGiveOneDocument) {
  testreg::HostingConfig none("kestra-json-noconfig");
  Json doc = KestraJson({"access", "Lookup"}, 0);
  EXPECT_EQ(doc["result"]["allowed"], true);
  EXPECT_EQ(doc["access"]["allowed"], true);
  EXPECT_EQ(doc["access"]["step"], 1);
  EXPECT_EQ(doc["access"]["values"][0]["name"], "Admin.ini");
  EXPECT_EQ(doc["dns"], nullptr);
  // The doctor's rows and exit code, as its text gives them, each on its own line.
  const kestra_test::Result doctor = Kestra({"doctor"});
  doc = KestraJson({"doctor"}, doctor.rc);
  EXPECT_EQ(doc["ok"], doctor.rc == 0);
  ASSERT_FALSE(doc["result"]["rows"].empty());
  for (const Json& row : doc["result"]["rows"]) {
    std::string status = row["status"].get<std::string>();
    status.resize(6, ' ');
    EXPECT_NE(doctor.out.find(status + row["check"].get<std::string>()), std::string::npos)
        << row.dump() << "\n"
        << doctor.out;
  }
  doc = KestraJson({"policy"}, 0);
  EXPECT_TRUE(doc["result"]["everywhere"].is_string());
  EXPECT_TRUE(doc["result"]["sites"].empty());
  // A lookup whose name is missing sends nothing, through the page's own rule.
  doc = KestraJson({"resolve", ""}, 1);
  EXPECT_EQ(doc["result"]["error_reason"], "Please specify domain name");
  EXPECT_EQ(doc["dns"], nullptr);
}

// RFC 7505: a null MX is the only MX record of the answer; a root exchange beside
// another exchanger is an exchanger like the others.
TEST_F(Explain, ARootExchangeBesideOthersIsNoNullMx) {
  FakeDnsServer server(testbed::FakeAddress(kBlock, 30), [](const testbed::Bytes& q) {
    return std::vector<FakeReply>{DnsReply(q).MxWire(0, {0}).Mx(10, "mx.example.test").Build()};
  });
  ASSERT_TRUE(server.Started());
  const std::vector<std::string> args = {"--server", server.Address(), "resolve", "example.test"};
  std::vector<std::string> explain = args;
  explain.push_back("--explain");
  const kestra_test::Result text = Kestra(explain);
  EXPECT_EQ(text.out.find("null MX"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\tMX\t0 .\t; exchanger\n"), std::string::npos) << text.out;
  EXPECT_EQ(KestraJson(args, 0)["dns"]["queries"][0]["reply"]["null_mx"], false);
}

// A failed name lookup of either direction is the resolver's error.
TEST_F(Explain, AFailedHostLookupIsTheResolversError) {
  const std::pair<const char*, const char*> cases[] = {{"host", "absent.lookup.test"},
                                                       {"reverse", "203.0.113.99"}};
  for (const auto& [command, argument] : cases) {
    const Json doc = KestraJson({command, argument}, 1);
    EXPECT_EQ(doc["error"]["step"], "resolver") << command;
  }
}

// Each value from outside that a step holds is shown by the one rule.
TEST(ShowAccount, ValuesFromOutsideAreShownSafely) {
  using namespace support::step;
  const std::string esc = "x\x1B[2J";
  support::Account account;
  account.Add(Name{NameRole::kResolverHost, esc, esc + "."});
  account.Add(DnsServer{esc, std::nullopt, 53, true, esc});
  account.Add(ResolverCall{false, "getaddrinfo", esc, 0, {esc}, 1.0});
  std::ostringstream text;
  kestra_tool::ShowAccount(account, &text, nullptr);
  EXPECT_EQ(text.str().find('\x1B'), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("(x\\x1B[2J) returned 0"), std::string::npos) << text.str();
}

// The RDATA of each type the account knows in zone-file form; any other type, and data
// that does not read as its type says, in RFC 3597's generic form.
TEST(ReplyText, RecordDataInZoneFileForm) {
  const testbed::Bytes query = {0x12, 0x34, 0x01, 0x00, 0,   0,   0, 1, 0,  0, 0,
                                0,    4,    't',  'e',  's', 't', 0, 0, 15, 0, 1};
  const testbed::Bytes name = DnsReply::Name("a.test");
  testbed::Bytes mx = {0, 10};
  mx.insert(mx.end(), name.begin(), name.end());
  const struct {
    std::uint16_t type;
    testbed::Bytes rdata;
    const char* type_text;
    const char* data;
  } cases[] = {
      {1, {192, 0, 2, 1}, "A", "192.0.2.1"},
      {1, {192, 0, 2}, "A", "\\# 3 c00002"},
      {28, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "AAAA", "2001:db8::1"},
      {2, name, "NS", "a.test."},
      {5, name, "CNAME", "a.test."},
      {12, name, "PTR", "a.test."},
      {15, mx, "MX", "10 a.test."},
      {16, {2, 'h', 'i'}, "TXT", "\\# 3 026869"},
      {65280, {}, "TYPE65280", "\\# 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    const testbed::Bytes reply = DnsReply(query).Record(c.type, c.rdata).Build();
    const kestra_tool::ReplyText text = kestra_tool::ReadReplyText(reply);
    ASSERT_EQ(text.sections[1].size(), 1u);
    EXPECT_EQ(text.sections[1][0].type, c.type_text);
    EXPECT_EQ(text.sections[1][0].data, c.data);
  }
}

}  // namespace
