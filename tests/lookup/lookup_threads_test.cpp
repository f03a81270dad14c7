// Eight threads, each with a Lookup object of its own, looking up at the same time. The
// objects share nothing but the process-wide socket-layer start.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "lookup/lookup.h"
#include "lookup_calls.h"
#include "testbed.h"

namespace {

struct Tally {
  std::atomic<int> calls{0};
  std::atomic<int> wrong{0};
};

void LookUpRepeatedly(Tally* tally, int rounds) {
  lookup::CLookup lookup;
  lookup.PutDNSServer(testbed::DnsServer());
  lookup.PutTimeout(5);
  for (int round = 0; round < rounds; ++round) {
    lookup.PutDomainName(round % 2 ? "three.lookup.test" : "nullmx.lookup.test");
    std::int16_t count = 0;
    bool ok = calls::MXRecords(lookup, &count) && lookup.GetIsError() == 0 &&
              count == (round % 2 ? 3 : 1);

    calls::MxList list;
    bool has_list = false;
    ok = ok && calls::GetMXRecord(lookup, &list, &has_list) && has_list &&
         std::ssize(list) == (round % 2 ? 3 : 0) &&
         (std::ssize(list) == 0 || list[0].exchange == "alpha.lookup.test");

    std::string text;
    ok = ok && calls::DNSLookup(lookup, "high.lookup.test", &text) && text == "200.100.30.250";
    ok = ok && calls::ReverseDNSLookup(lookup, "203.0.113.30", &text) &&
         text == "host30.lookup.test";
    ok = ok && calls::DNSLookup(lookup, "absent.lookup.test", &text) && lookup.GetIsError() == 1 &&
         lookup.GetErrorReason() == "Domain name or host not found";
    tally->calls.fetch_add(5);
    if (!ok) tally->wrong.fetch_add(1);
  }
}

TEST(LookupThreads, EightObjectsLookUpAtOnce) {
  KESTRA_REQUIRE_TESTBED();
  constexpr int kThreads = 8;
  constexpr int kRounds = 6;
  Tally tally;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(LookUpRepeatedly, &tally, kRounds);
  for (auto& t : threads) t.join();
  EXPECT_EQ(tally.calls.load(), kThreads * kRounds * 5);
  EXPECT_EQ(tally.wrong.load(), 0);
}

}  // namespace
