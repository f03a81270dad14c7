// The Lookup object's properties, error state and frame, with a recording stand-in for
// the hosting access control. None of these tests leave the process, except through the
// loopback addresses of this program's own block.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/caller_source.h"
#include "hosting_config.h"
#include "lookup/lookup.h"
#include "platform/net.h"
#include "silent_udp_listener.h"
#include "testbed.h"

namespace {

constexpr int kBlock = 30;
// An MXRecords call that ran and failed: 0, which the binding does not write.
const lookup::Outcome<std::int16_t> kAllowedFailed{0};

// Records every step the frame takes into the access control, with the object's error
// flag at that moment, and refuses when told to.
class RecordingAccess : public hosting::AccessControl {
 public:
  struct Step {
    std::string name;
    std::string method;
    std::int16_t is_error;
  };
  explicit RecordingAccess(const lookup::CLookup* lookup) : m_lookup(lookup) {}

  std::vector<Step> steps;
  bool allow = true;
  bool locate_throws = false;

  hosting::ConfigFiles LocateConfigFiles(support::Account*) override {
    steps.push_back({"LocateConfigFiles", "", m_lookup->GetIsError()});
    if (locate_throws) throw std::bad_alloc();
    return {std::string("admin.ini"), std::string("website.ini")};
  }
  hosting::Decision Check(const std::string& component, const std::string& method,
                          const hosting::ConfigFiles& files, support::Account*) override {
    steps.push_back({"CheckAccess", method, m_lookup->GetIsError()});
    EXPECT_EQ(component, "Brevan");
    EXPECT_EQ(*files.admin_ini, "admin.ini") << "the located files are the ones checked";
    if (allow) return {true, hosting::Reason::kGranted, "", std::nullopt};
    return {false, hosting::Reason::kMethodRefused, "refused " + method, std::nullopt};
  }

 private:
  const lookup::CLookup* m_lookup;
};

// A Lookup object whose frame asks a RecordingAccess.
struct RecordingLookup : lookup::CLookup {
  RecordingLookup() { SetAccessControl(&access); }
  RecordingAccess access{this};
};

// Each lookup called the way a binding calls it, with results that show whether they
// were written.
struct Call {
  const char* name;
  const char* access_name;
  // Calls the lookup; returns whether the frame let it through and sets *written when
  // there is a result to write.
  bool (*run)(lookup::CLookup& lookup, bool* written);
  // Whether an allowed call writes its result even for the empty input these use.
  bool writes_on_empty_input;
};

template <class T>
bool Ran(const lookup::Outcome<T>& outcome, bool written, bool* out) {
  *out = outcome && written;
  return outcome.has_value();
}
// A failed MX lookup's result is not written (the error state holds the failure).
bool RunMXRecords(lookup::CLookup& lookup, bool* written) {
  const auto r = lookup.MXRecords();
  return Ran(r, lookup.GetIsError() == 0, written);
}
bool RunGetMXRecord(lookup::CLookup& lookup, bool* written) {
  const auto r = lookup.GetMXRecord();
  return Ran(r, lookup.GetIsError() == 0, written);
}
bool RunDNSLookup(lookup::CLookup& lookup, bool* written) {
  return Ran(lookup.DNSLookup(""), true, written);
}
bool RunReverseDNSLookup(lookup::CLookup& lookup, bool* written) {
  return Ran(lookup.ReverseDNSLookup(""), true, written);
}
bool RunVerifySMTP(lookup::CLookup& lookup, bool* written) {
  return Ran(lookup.VerifySMTP(""), true, written);
}

const Call kCalls[] = {
    {"MXRecords", "MXRecords", RunMXRecords, false},
    {"GetMXRecord", "MXRecords", RunGetMXRecord, false},
    {"DNSLookup", "Lookup", RunDNSLookup, true},
    {"ReverseDNSLookup", "Lookup", RunReverseDNSLookup, true},
    {"VerifySMTP", "VerifySMTP", RunVerifySMTP, true},
};

TEST(LookupObject, NewObjectReportsNoError) {
  RecordingLookup lookup;
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "");
}

TEST(LookupFrame, EveryLookupLocatesThenChecksWithItsAccessNameAndTheFlagRaised) {
  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.name);
    RecordingLookup lookup;
    bool written = false;
    EXPECT_TRUE(call.run(lookup, &written));
    const auto& steps = lookup.access.steps;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].name, "LocateConfigFiles");
    EXPECT_EQ(steps[1].name, "CheckAccess");
    EXPECT_EQ(steps[1].method, call.access_name);
    for (const auto& step : steps) {
      EXPECT_EQ(step.is_error, 1) << "the flag is up while the access control decides";
    }
    EXPECT_EQ(written, call.writes_on_empty_input);
  }
}

TEST(LookupFrame, AccessIsAskedAgainAtEveryCall) {
  RecordingLookup lookup;
  bool written = false;
  for (int i = 0; i < 3; ++i) RunVerifySMTP(lookup, &written);
  EXPECT_EQ(lookup.access.steps.size(), 6u);
  // A refusal in between is not remembered either.
  lookup.access.allow = false;
  EXPECT_FALSE(RunVerifySMTP(lookup, &written));
  lookup.access.allow = true;
  EXPECT_TRUE(RunVerifySMTP(lookup, &written));
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.access.steps.size(), 10u);
}

TEST(LookupFrame, RefusalLeavesResultUnwrittenFlagUpAndTheRefusalText) {
  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.name);
    RecordingLookup lookup;
    lookup.access.allow = false;
    bool written = true;
    EXPECT_FALSE(call.run(lookup, &written));
    EXPECT_FALSE(written);
    EXPECT_EQ(lookup.GetIsError(), 1);
    EXPECT_EQ(lookup.GetErrorReason(), std::string("refused ") + call.access_name);
  }
}

TEST(LookupFrame, AnAccessControlThatBreaksDownRefusesWithTheGeneralText) {
  RecordingLookup lookup;
  lookup.access.locate_throws = true;
  bool written = true;
  EXPECT_FALSE(RunDNSLookup(lookup, &written));
  EXPECT_FALSE(written);
  ASSERT_EQ(lookup.access.steps.size(), 1u) << "nothing is checked after a failed step";
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "An error occured. Please try again");
}

TEST(LookupFrame, RefusedMxLookupSendsNothing) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 1));
  ASSERT_TRUE(listener.Ready());
  RecordingLookup lookup;
  lookup.access.allow = false;
  lookup.PutDomainName("lookup.test");
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 1));
  lookup.PutTimeout(1);
  bool written = false;
  EXPECT_FALSE(RunMXRecords(lookup, &written));
  EXPECT_FALSE(RunGetMXRecord(lookup, &written));
  EXPECT_EQ(listener.DatagramsWithin(200), 0);
}

// The frame with the configured access control, once end to end: the decision's
// refusal text lands in the object's state, and an allowed call leaves an old text.
TEST(LookupFrame, ConfiguredAccessDecidesAndTheFrameKeepsTheAnswer) {
  testreg::HostingConfig config("lookup-frame-configured");
  config.Write();
  const std::string page = "C:\\sites\\one\\check.asp";
  hosting::FixedCaller caller(page);
  hosting::ConfiguredAccess access(&caller);
  lookup::CLookup lookup;
  lookup.SetAccessControl(&access);

  ASSERT_TRUE(lookup.DNSLookup(""));  // allowed, fails for the empty name
  EXPECT_TRUE(lookup.CheckAccess("Lookup"));
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name") << "an allowed call leaves it";

  EXPECT_FALSE(lookup.VerifySMTP(""));
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(),
            "Please contact your hosting administrator, as you are not allowed to use "
            "VerifySMTP method of Brevan component");
}

TEST(LookupErrorState, FailureThenSuccessKeepsTheOldTextAndPutsTouchNothing) {
  lookup::CLookup lookup;
  ASSERT_EQ(lookup.MXRecords(), kAllowedFailed);  // no domain set
  EXPECT_EQ(lookup.GetIsError(), 1) << "1, never -1";
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  lookup.PutDNSServer("192.0.2.1");
  lookup.PutDomainName("   ");
  lookup.PutTimeout(-5);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  // An empty SMTP server is a successful call that touches no network.
  EXPECT_EQ(lookup.VerifySMTP(""), 0);
  EXPECT_EQ(lookup.GetIsError(), 0);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  EXPECT_EQ(lookup.ReverseDNSLookup(""), "");
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify IP address");
}

TEST(MxLookups, EmptyDomainFailsBeforeAnyPacket) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 2));
  ASSERT_TRUE(listener.Ready());
  lookup::CLookup lookup;
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 2));
  lookup.PutTimeout(1);

  ASSERT_EQ(lookup.MXRecords(), kAllowedFailed) << "the count is not written";
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  const auto list = lookup.GetMXRecord();
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->empty());
  EXPECT_EQ(lookup.GetIsError(), 1) << "a null object reference";
  EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");

  EXPECT_EQ(listener.DatagramsWithin(200), 0);
}

TEST(MxLookups, SilentServerFailsBothWithTheResolverText) {
  testbed::SilentUdpListener listener(testbed::FakeAddress(kBlock, 3));
  ASSERT_TRUE(listener.Ready());
  lookup::CLookup lookup;
  lookup.PutDNSServer(testbed::FakeAddress(kBlock, 3));
  lookup.PutDomainName("lookup.test");
  lookup.PutTimeout(1);

  ASSERT_EQ(lookup.MXRecords(), kAllowedFailed);
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");

  const auto list = lookup.GetMXRecord();
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->empty());
  EXPECT_EQ(lookup.GetIsError(), 1);
  EXPECT_EQ(lookup.GetErrorReason(), "Invalid domain name or DNS server");
  EXPECT_EQ(listener.DatagramsWithin(100), 2) << "one query per call, no retransmission";
}

}  // namespace
