// MX and host lookups against the test bed's Knot server. Host lookups go through the
// platform resolver, whose resolv.conf inside the test namespace names that server.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lookup/host_errors.h"
#include "lookup/lookup.h"
#include "lookup_calls.h"
#include "platform/net.h"
#include "test_sockets.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 30;

std::vector<std::string> Entries(const calls::MxList& list) {
  std::vector<std::string> out;
  for (std::int32_t i = 0; i < std::ssize(list); ++i) {
    out.push_back(std::to_string(list[i].preference) + " " + list[i].exchange);
  }
  return out;
}

class KnotLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRA_REQUIRE_TESTBED();
    lookup_.PutDNSServer(testbed::DnsServer());
    lookup_.PutTimeout(5);
  }
  lookup::CLookup lookup_;
};

TEST_F(KnotLookup, MXRecordsCountsTheExchangers) {
  lookup_.PutDomainName("three.lookup.test");
  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup_, &count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(lookup_.GetIsError(), 0);
}

TEST_F(KnotLookup, GetMXRecordReturnsTheListSortedByName) {
  lookup_.PutDomainName("three.lookup.test");
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup_, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(lookup_.GetIsError(), 0);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"20 alpha.lookup.test", "10 mid.lookup.test",
                                                     "5 zeta.lookup.test"}));
}

TEST_F(KnotLookup, NullMxIsCountedButGivesAnEmptyList) {
  lookup_.PutDomainName("nullmx.lookup.test");
  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup_, &count));
  EXPECT_EQ(count, 1);
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup_, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(std::ssize(list), 0);
  EXPECT_EQ(lookup_.GetIsError(), 0);
}

TEST_F(KnotLookup, DomainsWithoutExchangersFail) {
  for (const char* domain : {"absent.lookup.test", "nomx.lookup.test"}) {
    SCOPED_TRACE(domain);
    lookup_.PutDomainName(domain);
    std::int16_t count = -7;
    ASSERT_TRUE(calls::MXRecords(lookup_, &count));
    EXPECT_EQ(count, -7);
    EXPECT_EQ(lookup_.GetIsError(), 1);
    EXPECT_EQ(lookup_.GetErrorReason(), "Invalid domain name or DNS server");
    calls::MxList list;
    bool has_list = true;
    ASSERT_TRUE(calls::GetMXRecord(lookup_, &list, &has_list));
    EXPECT_FALSE(has_list);
  }
}

TEST_F(KnotLookup, FailureThenSuccessKeepsTheFailureText) {
  lookup_.PutDomainName("absent.lookup.test");
  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup_, &count));
  ASSERT_EQ(lookup_.GetIsError(), 1);
  lookup_.PutDomainName("three.lookup.test");
  ASSERT_TRUE(calls::MXRecords(lookup_, &count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(lookup_.GetIsError(), 0);
  EXPECT_EQ(lookup_.GetErrorReason(), "Invalid domain name or DNS server");
}

TEST_F(KnotLookup, InternationalNamesAreAskedInTheirAsciiForm) {
  lookup_.PutDomainName("bücher.example");
  calls::MxList list;
  bool has_list = false;
  ASSERT_TRUE(calls::GetMXRecord(lookup_, &list, &has_list));
  EXPECT_TRUE(has_list);
  EXPECT_EQ(lookup_.GetIsError(), 0) << lookup_.GetErrorReason();
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"20 backup.xn--bcher-kva.example",
                                                     "10 mail.xn--bcher-kva.example"}));
}

TEST_F(KnotLookup, NamesWithoutAsciiFormFailAsInvalidNames) {
  const std::string bad = "bad\xff.example";  // not UTF-8
  struct Row {
    const char* what;
    std::string domain, server;
    const char* reason;
  } rows[] = {
      {"domain", bad, testbed::DnsServer(), "Invalid domain name or DNS server"},
      {"server", "three.lookup.test", bad, "Invalid domain name or DNS server"},
      {"empty domain first", "", bad, "Please specify domain name"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    lookup_.PutDomainName(row.domain);
    lookup_.PutDNSServer(row.server);
    std::int16_t count = -7;
    ASSERT_TRUE(calls::MXRecords(lookup_, &count));
    EXPECT_EQ(count, -7);
    EXPECT_EQ(lookup_.GetErrorReason(), row.reason);
    calls::MxList list;
    bool has_list = true;
    ASSERT_TRUE(calls::GetMXRecord(lookup_, &list, &has_list));
    EXPECT_FALSE(has_list);
    EXPECT_EQ(lookup_.GetIsError(), 1);
  }
  std::string address = "x";
  ASSERT_TRUE(calls::DNSLookup(lookup_, bad, &address));
  EXPECT_EQ(address, "");
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), "Domain name or host not found");
  std::int16_t answered = -7;
  ASSERT_TRUE(calls::VerifySMTP(lookup_, bad, &answered));
  EXPECT_EQ(answered, 0);
}

TEST(SystemDnsServer, EmptyServerAsksTheMachinesOwn) {
  // Inside the test namespace the machine's DNS server is the test bed's.
  KESTRA_REQUIRE_TESTBED();
  lookup::CLookup lookup;
  lookup.PutDomainName("three.lookup.test");
  lookup.PutTimeout(5);
  std::int16_t count = 0;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  EXPECT_EQ(lookup.GetIsError(), 0) << lookup.GetErrorReason();
  EXPECT_EQ(count, 3);
}

TEST(SystemDnsServer, EmptyServerAfterAValueAsksTheMachinesOwnAgain) {
  KESTRA_REQUIRE_TESTBED();
  lookup::CLookup lookup;
  lookup.PutDomainName("three.lookup.test");
  lookup.PutTimeout(1);
  // Nothing listens there: the query is refused at once (or, at worst, times out).
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 27));
  std::int16_t count = -7;
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  ASSERT_EQ(lookup.GetIsError(), 1) << "the server set was asked";
  EXPECT_EQ(count, -7);

  lookup.PutDNSServer("");
  lookup.PutTimeout(5);
  ASSERT_TRUE(calls::MXRecords(lookup, &count));
  EXPECT_EQ(lookup.GetIsError(), 0) << lookup.GetErrorReason();
  EXPECT_EQ(count, 3);
}

// The test bed names ::1 loopback6.bed.test, a name with an IPv6 address only. (The DNS
// server and the SMTP host over IPv6 are the resolver's and the probe's tests.)
TEST(Ipv6, HostLookupsOfIpv6) {
  KESTRA_REQUIRE_TESTBED();
  lookup::CLookup lookup;
  std::string name;
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup, "::1", &name));
  EXPECT_EQ(name, "loopback6.bed.test");
  // DNSLookup gives IPv4 only: a name with only an IPv6 address is not found.
  ASSERT_TRUE(calls::DNSLookup(lookup, "loopback6.bed.test", &name));
  EXPECT_EQ(name, "");
  EXPECT_EQ(lookup.GetIsError(), 1);
}

class HostLookup : public ::testing::Test {
 protected:
  void SetUp() override { KESTRA_REQUIRE_TESTBED(); }
  lookup::CLookup lookup_;
};

TEST_F(HostLookup, NameWithSeveralAddressesGivesTheFirstThePlatformLists) {
  const auto listed = platform::ResolveHost("multi.lookup.test", platform::Family::kV4);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 3u);
  std::string address;
  ASSERT_TRUE(calls::DNSLookup(lookup_, "multi.lookup.test", &address));
  EXPECT_EQ(lookup_.GetIsError(), 0);
  EXPECT_EQ(address, testbed::AddressText(listed->front().V4Value()));
  EXPECT_EQ(address, "192.0.2.10");
}

// mail.bücher.example is the test bed's SMTP host, served in its ASCII form.
TEST_F(HostLookup, InternationalHostNamesAreAskedInTheirAsciiForm) {
  std::string address;
  ASSERT_TRUE(calls::DNSLookup(lookup_, "mail.bücher.example", &address));
  EXPECT_EQ(address, testbed::SmtpServer()) << lookup_.GetErrorReason();
  std::int16_t answered = 0;
  ASSERT_TRUE(calls::VerifySMTP(lookup_, "mail.bücher.example", &answered));
  EXPECT_EQ(answered, 1);
}

TEST_F(HostLookup, BytesAbove127AreWrittenUnsigned) {
  std::string address;
  ASSERT_TRUE(calls::DNSLookup(lookup_, "high.lookup.test", &address));
  EXPECT_EQ(address, "200.100.30.250");
}

TEST_F(HostLookup, UnknownNameIsNotFound) {
  std::string address = "x";
  ASSERT_TRUE(calls::DNSLookup(lookup_, "absent.lookup.test", &address));
  EXPECT_EQ(address, "");
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), "Domain name or host not found");
}

TEST_F(HostLookup, ReverseGivesTheHostName) {
  std::string name;
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup_, "203.0.113.30", &name));
  EXPECT_EQ(lookup_.GetIsError(), 0);
  EXPECT_EQ(name, "host30.lookup.test");
}

TEST_F(HostLookup, ReverseWithoutPtrGivesTheTableTextForThePlatformsCode) {
  const auto platform_name =
      platform::ReverseResolve(platform::IpAddress::V4(platform::InetAddr("203.0.113.99")));
  ASSERT_FALSE(platform_name);
  const int code = platform_name.failure().code;
  const char* text = lookup::ReverseLookupErrorText(code);
  ASSERT_STRNE(text, "Unknown error occured.") << "code " << code << " is one the table names";
  std::string name = "x";
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup_, "203.0.113.99", &name));
  EXPECT_EQ(name, "");
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), text);
  if (code == platform::wsa::kHOST_NOT_FOUND) {
    EXPECT_EQ(lookup_.GetErrorReason(), "WSAHOST_NOT_FOUND error occured");
  } else if (code == platform::wsa::kNO_DATA) {
    EXPECT_EQ(lookup_.GetErrorReason(), "Host not found");
  }
}

TEST_F(HostLookup, HostNameGivenAsAddressFails) {
  std::string name = "x";
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup_, "host30.lookup.test", &name));
  EXPECT_EQ(name, "");
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_NE(lookup_.GetErrorReason(), "");
}

TEST_F(HostLookup, EmptyArgumentsFailBeforeAnyLookup) {
  std::string result = "x";
  ASSERT_TRUE(calls::DNSLookup(lookup_, "", &result));
  EXPECT_EQ(result, "");
  EXPECT_EQ(lookup_.GetErrorReason(), "Please specify domain name");
  result = "x";
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup_, "", &result));
  EXPECT_EQ(result, "");
  EXPECT_EQ(lookup_.GetErrorReason(), "Please specify IP address");
  EXPECT_EQ(lookup_.GetIsError(), 1);
}

// Stops the socket library and makes every start of it fail while it lives.
class SocketLibraryDown {
 public:
  SocketLibraryDown() {
    platform::ReleaseSocketLayer();
    platform::SetSocketStartupFailureForTesting(true);
  }
  ~SocketLibraryDown() { platform::SetSocketStartupFailureForTesting(false); }
};

TEST_F(HostLookup, SocketLibraryThatCannotStartIsAnError) {
  SocketLibraryDown down;
  std::string name = "x";
  ASSERT_TRUE(calls::ReverseDNSLookup(lookup_, "203.0.113.30", &name));
  EXPECT_EQ(name, "") << "never handed back as a host name";
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), "winsock.dll not found");

  std::string address = "x";
  ASSERT_TRUE(calls::DNSLookup(lookup_, "multi.lookup.test", &address));
  EXPECT_EQ(address, "");
  EXPECT_EQ(lookup_.GetIsError(), 1);
  EXPECT_EQ(lookup_.GetErrorReason(), "An error occured. Please try again");
}

TEST_F(HostLookup, SuccessAfterFailureKeepsTheText) {
  std::string result;
  ASSERT_TRUE(calls::DNSLookup(lookup_, "absent.lookup.test", &result));
  ASSERT_TRUE(calls::DNSLookup(lookup_, "multi.lookup.test", &result));
  EXPECT_EQ(lookup_.GetIsError(), 0);
  EXPECT_EQ(lookup_.GetErrorReason(), "Domain name or host not found");
}

TEST(HostErrorTexts, EachCodeReadsAsPagesKnowIt) {
  struct Row {
    int code;
    const char* forward;
    const char* reverse;
  };
  const Row rows[] = {
      {10004, "Unknown error occured.", "WSAEINTR error occured"},
      {10014, "Unknown error occured.", "WSAEFAULT error occured"},
      {10036, "Unknown error occured.", "WSAEINPROGRESS error occured"},
      {10047, "Unknown error occured.", "WSAEAFNOSUPPORT error occured"},
      {10050, "The network subsystem has failed", "The network subsystem has failed"},
      {10093, "Unknown error occured.", "Host not found"},
      {11001, "Domain name or host not found", "WSAHOST_NOT_FOUND error occured"},
      {11002, "Unknown error occured.", "WSATRY_AGAIN error occured"},
      {11003, "Unknown error occured.", "WSANO_RECOVERY error occured"},
      {11004, "Unknown error occured.", "Host not found"},
      // Codes neither table names (the misspelling is what pages compare against).
      {10060, "Unknown error occured.", "Unknown error occured."},
      {10091, "Unknown error occured.", "Unknown error occured."},
      {0, "Unknown error occured.", "Unknown error occured."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_STREQ(lookup::DnsLookupErrorText(row.code), row.forward);
    EXPECT_STREQ(lookup::ReverseLookupErrorText(row.code), row.reverse);
  }
}

}  // namespace
