// Whether anything in our code serialises lookups: the MXRecords call a page makes, run
// by one thread for SECONDS and then by THREADS threads at once for SECONDS, each thread
// with a CLookup of its own, all against the test bed's DNS server. Prints
//   lookup-scaling-1: N calls/s
//   lookup-scaling-THREADS: N calls/s
//   lookup-scaling: RATIO          (the second rate over the first)
// with the machine's core count C and the target 0.8 x min(C, 8). The ratio is a
// measurement: only a failed call makes the exit status non-zero.
//   lookup_scaling [THREADS [SECONDS]]      defaults 8 and 5; needs KESTRA_TESTBED=1
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lookup/lookup.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kDomain[] = "mail.scripts.test";
constexpr std::int16_t kExchangers = 3;
// Far above what a loopback lookup reaches in the longest run allowed, so that the
// clock ends every loop; the cap only bounds a clock that misbehaves.
constexpr long kCallCap = 50'000'000;
constexpr int kMaxThreads = 256;
constexpr int kMaxSeconds = 3600;

struct Tally {
  long calls = 0;
  long failures = 0;
};

std::mutex g_reportLock;
bool g_bReported = false;

// One call as a page makes it; the first failure of the run is described on stderr.
bool LookUpOnce(lookup::CLookup* lookup) {
  const auto outcome = lookup->MXRecords();
  const bool ran = outcome.has_value();
  const std::int16_t count = outcome.value_or(0);
  if (ran && lookup->GetIsError() == 0 && count == kExchangers) return true;
  std::lock_guard<std::mutex> hold(g_reportLock);
  if (!g_bReported) {
    g_bReported = true;
    std::fprintf(stderr, "lookup_scaling: MXRecords(%s) failed: %s, IsError %d, count %d, %s\n",
                 kDomain, ran ? "ran" : "refused", lookup->GetIsError(), count,
                 lookup->GetErrorReason().c_str());
  }
  return false;
}

void Configure(lookup::CLookup* lookup, const std::string& server) {
  lookup->PutDomainName(kDomain);
  lookup->PutDNSServer(server);
  lookup->PutTimeout(5);
}

// Calls until the deadline (or the cap), once the start flag is up.
void Run(const std::string& server, const std::atomic<bool>* start, Clock::time_point* deadline,
         Tally* tally) {
  lookup::CLookup lookup;
  Configure(&lookup, server);
  while (!start->load(std::memory_order_acquire)) std::this_thread::yield();
  const Clock::time_point end = *deadline;
  while (tally->calls < kCallCap && Clock::now() < end) {
    if (!LookUpOnce(&lookup)) ++tally->failures;
    ++tally->calls;
  }
}

struct Result {
  double rate = 0;
  long calls = 0;
  long failures = 0;
};

// THREADS threads start together; the rate is every call over the time from the start
// until the last thread has finished.
Result Measure(const std::string& server, int threads, int seconds) {
  std::atomic<bool> start{false};
  Clock::time_point deadline;
  std::vector<Tally> tallies(static_cast<std::size_t>(threads));
  std::vector<std::thread> workers;
  workers.reserve(tallies.size());
  for (auto& tally : tallies) workers.emplace_back(Run, server, &start, &deadline, &tally);
  // Let every thread make its object before the clock starts.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const Clock::time_point begin = Clock::now();
  deadline = begin + std::chrono::seconds(seconds);
  start.store(true, std::memory_order_release);
  for (auto& worker : workers) worker.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
  Result result;
  for (const auto& tally : tallies) {
    result.calls += tally.calls;
    result.failures += tally.failures;
  }
  result.rate = elapsed > 0 ? double(result.calls) / elapsed : 0;
  return result;
}

bool ParseCount(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || n < low || n > high) return false;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 8;
  int seconds = 5;
  if (argc > 3 || (argc > 1 && !ParseCount(argv[1], 1, kMaxThreads, &threads)) ||
      (argc > 2 && !ParseCount(argv[2], 1, kMaxSeconds, &seconds))) {
    std::fprintf(stderr, "usage: lookup_scaling [THREADS (1-%d) [SECONDS (1-%d)]]\n", kMaxThreads,
                 kMaxSeconds);
    return 2;
  }
  const char* testbed = std::getenv("KESTRA_TESTBED");
  if (!testbed || std::string(testbed) != "1") {
    std::fprintf(stderr,
                 "lookup_scaling: needs the loopback test bed (KESTRA_TESTBED=1); run it "
                 "through scripts/in-testbed or scripts/stress\n");
    return 2;
  }
  const char* dns = std::getenv("KESTRA_TEST_DNS");
  const std::string server = dns && *dns ? dns : "127.0.0.2";

  // One call first: a test bed that does not answer is reported as such, not as a rate.
  {
    lookup::CLookup lookup;
    Configure(&lookup, server);
    if (!LookUpOnce(&lookup)) {
      std::fprintf(stderr, "lookup_scaling: no answer from %s\n", server.c_str());
      return 1;
    }
  }

  const Result one = Measure(server, 1, seconds);
  const Result many = Measure(server, threads, seconds);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const double target = 0.8 * std::min(cores, 8u);
  const double ratio = one.rate > 0 ? many.rate / one.rate : 0;

  std::printf("lookup-scaling-1: %.0f calls/s (%ld calls, %ld failed)\n", one.rate, one.calls,
              one.failures);
  std::printf("lookup-scaling-%d: %.0f calls/s (%ld calls, %ld failed)\n", threads, many.rate,
              many.calls, many.failures);
  std::printf("lookup-scaling-cores: %u\n", cores);
  std::printf("lookup-scaling-target: %.2f (0.8 x min(%u, 8))\n", target, cores);
  std::printf("lookup-scaling: %.3f\n", ratio);
  return one.failures + many.failures == 0 ? 0 : 1;
}
