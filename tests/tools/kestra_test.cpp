// The kestra commands, run in-process against the test bed: Knot for the MX and host
// lookups, aiosmtpd for the probe, and a hosting configuration of its own for the
// access check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fake_dns_server.h"
#include "hosting_config.h"
#include "platform/net.h"
#include "testbed.h"
#include "tests/lookup/silent_udp_listener.h"
#include "tests/tools/run_kestra.h"
#include "tools/cli.h"

namespace {

constexpr int kBlock = 60;

using kestra_test::Kestra;
using kestra_test::Result;

class KestraCommand : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::EnsureSocketLayer()); }
};

TEST_F(KestraCommand, LookupsPrintTheirResults) {
  KESTRA_REQUIRE_TESTBED();
  const std::string dns = testbed::DnsServer();
  struct Case {
    std::vector<std::string> args;
    int rc;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      // The resolver's answer order, then the list's order by name.
      {{"--server", dns, "resolve", "three.lookup.test"},
       0,
       "5 zeta.lookup.test\n10 mid.lookup.test\n20 alpha.lookup.test\n",
       ""},
      {{"--server", dns, "--timeout", "5", "mx", "three.lookup.test"},
       0,
       "20 alpha.lookup.test\n10 mid.lookup.test\n5 zeta.lookup.test\n",
       ""},
      {{"--server=" + dns, "mxcount", "three.lookup.test"}, 0, "3\n", ""},
      // 0 waits without limit, as a page's Timeout 0; a negative one fails as a page's does.
      {{"--server", dns, "--timeout", "0", "mxcount", "three.lookup.test"}, 0, "3\n", ""},
      {{"--server", dns, "--timeout", "-1", "mxcount", "three.lookup.test"},
       1,
       "",
       "Invalid domain name or DNS server\n"},
      // The page gets an empty list: a success, but no exchanger.
      {{"--server", dns, "mx", "nullmx.lookup.test"}, 1, "", ""},
      {{"--server", dns, "mxcount", "nullmx.lookup.test"}, 0, "1\n", ""},
      {{"--server", dns, "resolve", "absent.lookup.test"},
       1,
       "",
       "Invalid domain name or DNS server\n"},
      {{"--server", dns, "mx", "absent.lookup.test"}, 1, "", "Invalid domain name or DNS server\n"},
      {{"mx", ""}, 1, "", "Please specify domain name\n"},
      {{"mxcount", ""}, 1, "", "Please specify domain name\n"},
      // With no --server the machine's DNS server is asked: the test bed's, here.
      {{"mxcount", "three.lookup.test"}, 0, "3\n", ""},
      {{"host", "multi.lookup.test"}, 0, "192.0.2.10\n", ""},
      {{"host", "absent.lookup.test"}, 1, "", "Domain name or host not found\n"},
      {{"host", ""}, 1, "", "Please specify domain name\n"},
      {{"reverse", "203.0.113.30"}, 0, "host30.lookup.test\n", ""},
      {{"reverse", ""}, 1, "", "Please specify IP address\n"},
      {{"smtp", testbed::SmtpServer()}, 0, "1\n", ""},
      // A failed probe is a result, not an error; but not the 1 the page asked for.
      {{"smtp", ""}, 1, "0\n", ""},
      {{"smtp", testbed::FakeAddress(kBlock, 1)}, 1, "0\n", ""},  // nothing listens there
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += "'" + a + "' ";
    SCOPED_TRACE(line);
    Result r = Kestra(c.args);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(KestraCommand, TimeoutOptionBoundsTheWait) {
  testbed::SilentUdpListener silent(testbed::FakeAddress(kBlock, 2));
  ASSERT_TRUE(silent.Ready());
  Result r = Kestra(
      {"--server", testbed::FakeAddress(kBlock, 2), "--timeout", "1", "mxcount", "lookup.test"});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "Invalid domain name or DNS server\n");
  EXPECT_EQ(silent.DatagramsWithin(100), 1);
}

TEST_F(KestraCommand, ResolveWithoutTimeoutWaitsAMinute) {
  KESTRA_REQUIRE_TESTBED();
  // The answer comes after 7 s: a default of a few seconds would have given up.
  testbed::FakeDnsServer late(testbed::FakeAddress(kBlock, 3), [](const testbed::Bytes& q) {
    return std::vector<testbed::FakeReply>{
        {testbed::DnsReply(q).Mx(10, "late.test").Build(), 7000}};
  });
  ASSERT_TRUE(late.Started());
  Result r = Kestra({"--server", late.Address(), "resolve", "lookup.test"});
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "10 late.test\n");
}

TEST(KestraCommandLine, MistakesAreUsageErrors) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } mistakes[] = {
      {{}, "A subcommand is required"},
      {{"mx"}, "argument is required"},
      {{"mx", "a", "b"}, "not expected: b"},
      {{"lookup", "x"}, "A subcommand is required"},
      {{"--timeout", "soon", "mx", "x"}, "--timeout needs a whole number of seconds"},
      {{"--timeout", "", "mx", "x"}, "--timeout needs a whole number of seconds"},
      {{"--timeout", "99999999999", "mx", "x"}, "--timeout is at most 2147483647"},
      {{"--timeout", "2147483648", "mx", "x"}, "--timeout is at most 2147483647"},
      {{"--timeout", "-2147483649", "mx", "x"}, "--timeout is at least -2147483648"},
      {{"--timeout", "-99999999999999999999", "mx", "x"}, "--timeout is at least -2147483648"},
      {{"--server"}, "--server"},
      {{"--verbose", "mx", "x"}, "--verbose"},
      {{"--explain", "--json", "mx", "x"}, "--explain and --json exclude each other"},
      {{"doctor", "x"}, "not expected: x"},
      {{"policy", "--site"}, "--site"},
      {{"policy", "x"}, "not expected: x"},
      // An option where it does not apply is named, never ignored.
      {{"--server", "127.0.0.20", "host", "multi.lookup.test"}, "--server does not apply to host"},
      {{"reverse", "192.0.2.1", "--server", "a"}, "--server does not apply to reverse"},
      {{"--timeout", "2", "smtp", "127.0.0.30"}, "--timeout does not apply to smtp"},
      {{"--timeout", "2", "access", "Lookup"}, "--timeout does not apply to access"},
      {{"--explain", "doctor"}, "--explain does not apply to doctor"},
      {{"policy", "--explain"}, "--explain does not apply to policy"},
      {{"--caller-path", "C:\\a.asp", "policy"}, "--caller-path does not apply to policy"},
      {{"mx", "x", "--site", "y"}, "--site does not apply to mx"},
      {{"--site", "y", "doctor"}, "--site does not apply to doctor"},
      {{"access", "Bogus"},
       "access takes MXRecords, GetMXRecord, DNSLookup, ReverseDNSLookup, VerifySMTP or Lookup"},
      {{"access", "All"}, "access takes"},
      {{"access", "GetMXRecords"}, "access takes"},
      // What the parser repeats of an argument reaches the terminal escaped.
      {{"mx", "x", "\x1B[2J"}, "not expected: \\x1B[2J"},
  };
  for (const auto& m : mistakes) {
    std::string line;
    for (const auto& a : m.args) line += "'" + a + "' ";
    SCOPED_TRACE(line);
    Result r = Kestra(m.args);
    EXPECT_EQ(r.rc, kestra_tool::kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(m.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: kestra"), std::string::npos);
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos);
  }
}

TEST(KestraCommandLine, HelpAndVersion) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"help"}, {"/?"}, {"-h"}, {"mx", "x", "--help"}, {"policy", "/?"}}) {
    SCOPED_TRACE(args.front());
    Result help = Kestra(args);
    EXPECT_EQ(help.rc, 0);
    EXPECT_EQ(help.out.rfind("usage: kestra", 0), 0u) << help.out;
    for (const char* words : {"\n  doctor ", "\n  policy [--site NAME]", "0 waits"}) {
      EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
  }
  // An argument that happens to be the word is no request for help.
  EXPECT_EQ(Kestra({"mx", "help"}).out.find("usage"), std::string::npos);
  Result version = Kestra({"--version"});
  EXPECT_EQ(version.rc, 0);
  EXPECT_EQ(version.out, "kestra " KESTRA_VERSION "\n");
}

TEST(KestraAccess, WithoutConfigurationEverythingIsAllowed) {
  testreg::HostingConfig none("kestra-noconfig");
  for (const char* method : {"MXRecords", "Lookup", "VerifySMTP"}) {
    SCOPED_TRACE(method);
    Result r = Kestra({"access", method});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "allowed\n");
    Result explained = Kestra({"access", method, "--explain"});
    EXPECT_EQ(explained.rc, 0);
    EXPECT_EQ(explained.out.rfind("allowed\n\n;; access: allowed, decided at step 1\n", 0), 0u)
        << explained.out;
  }
}

// The worked configuration: site Site1 at C:\sites\one may use MXRecords and Lookup.
class KestraHostedAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.Write();
#ifndef _WIN32
    ::unsetenv("PATH_TRANSLATED");
#endif
  }
  testreg::HostingConfig config_{"kestra-hosted"};
};

const char kOne[] = "C:\\sites\\one\\check.asp";
const char kTwo[] = "C:\\sites\\two\\check.asp";
const char kSiteRefused[] =
    "Please contact your hosting administrator, as you are not allowed to use Brevan component\n";

TEST_F(KestraHostedAccess, AccessCommandAnswersForTheCallerPath) {
  struct Case {
    const char* path;
    const char* method;
    int rc;
    std::string out;
  };
  const Case cases[] = {
      {kOne, "MXRecords", 0, "allowed\n"},
      {kOne, "Lookup", 0, "allowed\n"},
      {kOne, "VerifySMTP", 1,
       "refused\nPlease contact your hosting administrator, as you are not allowed to use "
       "VerifySMTP method of Brevan component\n"},
      {kTwo, "MXRecords", 1, std::string("refused\n") + kSiteRefused},
      {kTwo, "Lookup", 1, std::string("refused\n") + kSiteRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + c.method);
    Result r = Kestra({"--caller-path", c.path, "access", c.method});
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.out, c.out);
  }
  Result explained = Kestra({"--caller-path", kOne, "access", "VerifySMTP", "--explain"});
  EXPECT_EQ(explained.rc, 1);
  EXPECT_NE(explained.out.find("decided at step 10\n"), std::string::npos) << explained.out;
}

TEST_F(KestraHostedAccess, AccessTakesMembersAndAccessNames) {
  // Site1 may use MXRecords and Lookup; the access control compares without regard to case.
  const struct {
    const char* name;
    int rc;
  } cases[] = {
      {"MXRecords", 0},        {"GetMXRecord", 0}, {"getmxrecord", 0}, {"DNSLookup", 0},
      {"ReverseDNSLookup", 0}, {"LOOKUP", 0},      {"VerifySMTP", 1},  {"verifysmtp", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = Kestra({"--caller-path", kOne, "access", c.name});
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.out.rfind(c.rc ? "refused\n" : "allowed\n", 0), 0u) << r.out;
  }
}

TEST_F(KestraHostedAccess, EveryCommandRunsTheCheck) {
  // Refused before any input is looked at: even an empty argument gets the refusal.
  for (const char* command : {"mx", "mxcount", "resolve", "host", "reverse", "smtp"}) {
    SCOPED_TRACE(command);
    Result r = Kestra({"--caller-path", kTwo, command, ""});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kSiteRefused);
  }
  Result smtp = Kestra({"--caller-path", kOne, "smtp", ""});
  EXPECT_EQ(smtp.rc, 1);
  EXPECT_EQ(smtp.err,
            "Please contact your hosting administrator, as you are not allowed to use VerifySMTP "
            "method of Brevan component\n");
  Result host = Kestra({"--caller-path", kOne, "host", ""});
  EXPECT_EQ(host.err, "Please specify domain name\n") << "allowed, then the lookup's own failure";
}

TEST_F(KestraHostedAccess, NoCallerPathMeansNoRequest) {
  Result r = Kestra({"access", "Lookup"});
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.out.find("( Unable to proceed further as calling request object not found. Please "
                       "free Brevan component from Tarnwick Gatehouse to make Lookup method "
                       "successfull. )"),
            std::string::npos)
      << r.out;
}
}  // namespace
