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
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"mx"},
      {"mx", "a", "b"},
      {"lookup", "x"},
      {"--timeout", "soon", "mx", "x"},
      {"--timeout", "99999999999", "mx", "x"},
      {"--server"},
      {"--verbose", "mx", "x"},
      {"--explain", "--json", "mx", "x"},
      {"doctor", "x"},
      {"policy", "--site"},
      {"policy", "x"},
      {"mx", "x", "--site", "y"},
  };
  for (const auto& args : mistakes) {
    SCOPED_TRACE(args.empty() ? std::string("(none)") : args[0]);
    Result r = Kestra(args);
    EXPECT_EQ(r.rc, kestra_tool::kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: kestra"), std::string::npos);
  }
  Result help = Kestra({"--help"});
  EXPECT_EQ(help.rc, 0);
  EXPECT_NE(help.out.find("usage: kestra"), std::string::npos);
  for (const char* command : {"\n  doctor ", "\n  policy [--site NAME]"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
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
