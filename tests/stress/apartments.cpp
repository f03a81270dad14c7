// apartments THREADS SECONDS [DNS SMTP]: in a fresh process, THREADS single-threaded
// apartments start together (a latch, so the library's class objects are made for the
// first time by concurrent calls), each runs pages of its own objects with every
// lookup for SECONDS seconds, and once every object is released DllCanUnloadNow must
// answer S_OK. Prints "apartments: N calls, F failed, unload S_OK"; exits 1 on any
// failure.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "page.h"

namespace {

constexpr long kMaxThreads = 64;
constexpr long kMaxSeconds = 3600;
// A bound on the pages of one thread besides the clock.
constexpr long kMaxPagesPerThread = 10'000'000;

// A countdown the threads wait on. Not std::latch: the atomic waits under it in this
// toolchain's library (GCC 12, no futex on Windows) can miss their wake-up, and then
// every thread sleeps for good; a mutex and a condition variable cannot.
class Latch {
 public:
  explicit Latch(long count) : m_nCount(count) {}
  void CountDown() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nCount > 0 && --m_nCount == 0) m_zero.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_zero.wait(lock, [this] { return m_nCount == 0; });
  }
  void ArriveAndWait() {
    CountDown();
    Wait();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_zero;
  long m_nCount;
};

struct Result {
  long calls = 0;
  long failures = 0;
  long pages = 0;
};

}  // namespace

int main(int argc, char** argv) {
  long threads = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (threads < 1 || threads > kMaxThreads || seconds < 1 || seconds > kMaxSeconds) {
    std::printf("usage: apartments THREADS SECONDS [DNS SMTP]   (THREADS <= %ld, SECONDS <= %ld)\n",
                kMaxThreads, kMaxSeconds);
    return 2;
  }
  stress::Bed bed;
  int exitCode = 0;
  if (!stress::ReadBed(argc, argv, 3, &bed, &exitCode)) return exitCode;

  std::vector<Result> results(static_cast<size_t>(threads));
  Latch started(threads);
  Latch released(threads + 1);
  Latch asked(1);
  std::vector<std::thread> pool;
  for (long t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      Result& result = results[static_cast<size_t>(t)];
      std::string name = "apartment " + std::to_string(t);
      stress::Tally tally(name.c_str());
      bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
      if (!com) tally.Fail("CoInitializeEx");
      started.ArriveAndWait();
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
      CLSID clsid;
      if (com && stress::FindClass(&clsid, &tally)) {
        for (long page = 0; page < kMaxPagesPerThread; ++page) {
          stress::RunPage(clsid, bed, true, &tally);
          ++result.pages;
          if (std::chrono::steady_clock::now() >= deadline) break;
        }
      }
      result.calls = tally.Calls();
      result.failures = tally.Failures();
      // The apartment stays up until the library has been asked: ending the last one
      // would let COM unload it first.
      released.CountDown();
      asked.Wait();
      if (com) CoUninitialize();
    });
  }
  auto start = std::chrono::steady_clock::now();
  released.ArriveAndWait();
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  HRESULT unload = stress::AskCanUnloadNow();
  asked.CountDown();
  for (auto& thread : pool) thread.join();

  Result total;
  for (const Result& r : results) {
    total.calls += r.calls;
    total.failures += r.failures;
    total.pages += r.pages;
  }
  std::printf("apartments-rate: %ld threads, %ld pages, %.0f calls/s over %.1f s\n", threads,
              total.pages, total.calls / elapsed, elapsed);
  std::printf("apartments: %ld calls, %ld failed, unload %s\n", total.calls, total.failures,
              stress::DescribeUnload(unload).c_str());
  bool ok = total.failures == 0 && total.calls > 0 && unload == S_OK;
  return ok ? 0 : 1;
}
