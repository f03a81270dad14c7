// The Lookup object's properties, error state and frame, with a recording stand-in for
// the hosting access control. None of these tests leave the process, except through the
// loopback addresses of this program's own block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "collections/mx_list.h"
#include "lookup/lookup.h"
#include "lookup/socket_layer.h"
#include "platform/net.h"
#include "silent_udp_listener.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 30;

// Records every step the frame takes into the access control, with the object's state
// at that moment, and refuses when told to.
class RecordingLookup : public CLookup {
 public:
  struct Step {
    std::string name;
    std::string method;
    std::int16_t is_error;
  };
  std::vector<Step> steps;
  bool locate_result = true;
  bool allow = true;

  std::string Method() const { return m_strMethod; }
  std::int32_t Timeout() const { return m_nTimeout; }

 protected:
  bool LocateConfigFiles() override {
    steps.push_back({"LocateConfigFiles", m_strMethod, m_nIsError});
    return locate_result;
  }
  bool CheckAccess() override {
    steps.push_back({"CheckAccess", m_strMethod, m_nIsError});
    if (!allow) m_strErrorReason = "refused " + m_strMethod;
    return allow;
  }
};

// Each lookup called the way a binding calls it, with results that show whether they
// were written.
struct Call {
  const char* name;
  const char* access_name;
  // Calls the lookup; returns whether the frame let it through and sets *written when
  // the result parameter was touched.
  bool (*run)(CLookup& lookup, bool* written);
  // Whether an allowed call writes its result even for the empty input these use.
  bool writes_on_empty_input;
};

bool RunMXRecords(CLookup& lookup, bool* written) {
  std::int16_t count = -7;
  bool allowed = lookup.MXRecords(&count);
  *written = count != -7;
  return allowed;
}
bool RunGetMXRecord(CLookup& lookup, bool* written) {
  CMXList list;
  bool has_list = false;
  bool allowed = lookup.GetMXRecord(&list, &has_list);
  *written = has_list;
  return allowed;
}
bool RunDNSLookup(CLookup& lookup, bool* written) {
  std::string result = "untouched";
  bool allowed = lookup.DNSLookup("", &result);
  *written = result != "untouched";
  return allowed;
}
bool RunReverseDNSLookup(CLookup& lookup, bool* written) {
  std::string result = "untouched";
  bool allowed = lookup.ReverseDNSLookup("", &result);
  *written = result != "untouched";
  return allowed;
}
bool RunVerifySMTP(CLookup& lookup, bool* written) {
  std::int16_t result = -7;
  bool allowed = lookup.VerifySMTP("", &result);
  *written = result != -7;
  return allowed;
}

const Call kCalls[] = {
    {"MXRecords", "MXRecords", RunMXRecords, false},
    {"GetMXRecord", "MXRecords", RunGetMXRecord, false},
    {"DNSLookup", "Lookup", RunDNSLookup, true},
    {"ReverseDNSLookup", "Lookup", RunReverseDNSLookup, true},
    {"VerifySMTP", "VerifySMTP", RunVerifySMTP, true},
};

TEST(LookupObject, NewObjectReportsNoErrorAndWaitsSixtySeconds) {
  RecordingLookup lookup;
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "");
  EXPECT_EQ(lookup.Timeout(), 60);
}

TEST(SocketLayer, AFailedStartIsTriedAgainAtTheNextCall) {
  lookup::ReleaseSocketLayer();  // whatever an earlier test started
  platform::SetSocketStartupFailureForTesting(true);
  EXPECT_FALSE(lookup::EnsureSocketLayer());
  EXPECT_FALSE(lookup::EnsureSocketLayer());
  platform::SetSocketStartupFailureForTesting(false);
  EXPECT_TRUE(lookup::EnsureSocketLayer());
  EXPECT_TRUE(lookup::EnsureSocketLayer());
}

TEST(LookupFrame, EveryLookupLocatesThenChecksWithItsAccessNameAndTheFlagRaised) {
  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.name);
    RecordingLookup lookup;
    bool written = false;
    EXPECT_TRUE(call.run(lookup, &written));
    ASSERT_EQ(lookup.steps.size(), 2u);
    EXPECT_EQ(lookup.steps[0].name, "LocateConfigFiles");
    EXPECT_EQ(lookup.steps[1].name, "CheckAccess");
    for (const auto& step : lookup.steps) {
      EXPECT_EQ(step.method, call.access_name);
      EXPECT_EQ(step.is_error, 1) << "the flag is up while the access control decides";
    }
    EXPECT_EQ(written, call.writes_on_empty_input);
  }
}

TEST(LookupFrame, AccessIsAskedAgainAtEveryCall) {
  RecordingLookup lookup;
  bool written = false;
  for (int i = 0; i < 3; ++i) RunVerifySMTP(lookup, &written);
  EXPECT_EQ(lookup.steps.size(), 6u);
  // A refusal in between is not remembered either.
  lookup.allow = false;
  EXPECT_FALSE(RunVerifySMTP(lookup, &written));
  lookup.allow = true;
  EXPECT_TRUE(RunVerifySMTP(lookup, &written));
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.steps.size(), 10u);
}

TEST(LookupFrame, RefusalLeavesResultUnwrittenFlagUpAndTheRefusalText) {
  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.name);
    RecordingLookup lookup;
    lookup.allow = false;
    bool written = true;
    EXPECT_FALSE(call.run(lookup, &written));
    EXPECT_FALSE(written);
    EXPECT_EQ(lookup.GetIsError(), 1);
    EXPECT_EQ(lookup.GetErrorReason(), std::string("refused ") + call.access_name);
  }
}

TEST(LookupFrame, LocateFailingRefusesWithoutAskingCheckAccess) {
  RecordingLookup lookup;
  lookup.locate_result = false;
  bool written = true;
  EXPECT_FALSE(RunDNSLookup(lookup, &written));
  EXPECT_FALSE(written);
  ASSERT_EQ(lookup.steps.size(), 1u);
  EXPECT_EQ(lookup.steps[0].name, "LocateConfigFiles");
  EXPECT_EQ(lookup.GetIsError(), 1);
}

TEST(LookupFrame, RefusedMxLookupSendsNothing) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 1));
  ASSERT_TRUE(listener.Ready());
  RecordingLookup lookup;
  lookup.allow = false;
  lookup.PutDomainName("lookup.test");
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 1));
  lookup.PutTimeout(1);
  bool written = false;
  EXPECT_FALSE(RunMXRecords(lookup, &written));
  EXPECT_FALSE(RunGetMXRecord(lookup, &written));
  EXPECT_EQ(listener.DatagramsWithin(200), 0);
}

TEST(LookupErrorState, FailureThenSuccessKeepsTheOldTextAndPutsTouchNothing) {
  CLookup lookup;
  std::int16_t count = 0;
  ASSERT_TRUE(lookup.MXRecords(&count));  // no domain set
  EXPECT_EQ(lookup.GetIsError(), 1) << "1, never -1";
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  lookup.PutDNSServer("192.0.2.1");
  lookup.PutDomainName("   ");
  lookup.PutTimeout(-5);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  // An empty SMTP server is a successful call that touches no network.
  std::int16_t verified = -1;
  ASSERT_TRUE(lookup.VerifySMTP("", &verified));
  EXPECT_EQ(verified, 0);
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  std::string address = "x";
  ASSERT_TRUE(lookup.ReverseDNSLookup("", &address));
  EXPECT_EQ(address, "");
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify IP address");
}

TEST(MxLookups, EmptyDomainFailsBeforeAnyPacket) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 2));
  ASSERT_TRUE(listener.Ready());
  CLookup lookup;
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 2));
  lookup.PutTimeout(1);

  std::int16_t count = -7;
  ASSERT_TRUE(lookup.MXRecords(&count));
  EXPECT_EQ(count, -7) << "the count is not written";
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  CMXList list;
  bool has_list = true;
  ASSERT_TRUE(lookup.GetMXRecord(&list, &has_list));
  EXPECT_FALSE(has_list) << "a null object reference";
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  EXPECT_EQ(listener.DatagramsWithin(200), 0);
}

TEST(MxLookups, SilentServerFailsBothWithTheResolverText) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 3));
  ASSERT_TRUE(listener.Ready());
  CLookup lookup;
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 3));
  lookup.PutDomainName("lookup.test");
  lookup.PutTimeout(1);

  std::int16_t count = -7;
  ASSERT_TRUE(lookup.MXRecords(&count));
  EXPECT_EQ(count, -7);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");

  CMXList list;
  bool has_list = true;
  ASSERT_TRUE(lookup.GetMXRecord(&list, &has_list));
  EXPECT_FALSE(has_list);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");
  EXPECT_EQ(listener.DatagramsWithin(100), 2) << "one query per call, no retransmission";
}

TEST(MxLookups, MissingListObjectFailsTheCall) {
  CLookup lookup;
  lookup.PutDomainName("lookup.test");
  bool has_list = true;
  ASSERT_TRUE(lookup.GetMXRecord(nullptr, &has_list));
  EXPECT_FALSE(has_list);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "An error occured. Please try again");
}

}  // namespace
