// While it lives, this test program's starts and stops of Winsock (WSAStartup,
// WSACleanup) are counted, and each waits inside, up to 100 ms, for another thread to
// come in beside it: calls that a lock fails to keep apart are seen together every time.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "tests/common/import_slot.h"

namespace testbed {

struct WinsockCounts {
  int starts = 0;
  int most_inside = 0;  // the most threads inside a start or a stop at once
};

class WinsockWatch {
 public:
  WinsockWatch() {
    s_counts = {};
    s_startup = s_cleanup = 0;
    m_bWatching = Point("WSAStartup", reinterpret_cast<ULONG_PTR>(&Startup), &s_startup) &&
                  Point("WSACleanup", reinterpret_cast<ULONG_PTR>(&Cleanup), &s_cleanup);
  }
  ~WinsockWatch() {
    if (s_startup != 0) Point("WSAStartup", s_startup);
    if (s_cleanup != 0) Point("WSACleanup", s_cleanup);
  }
  WinsockWatch(const WinsockWatch&) = delete;
  WinsockWatch& operator=(const WinsockWatch&) = delete;

  bool Watching() const { return m_bWatching; }
  WinsockCounts Seen() const {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_counts;
  }

 private:
  static bool Point(const char* function, ULONG_PTR to, ULONG_PTR* was = nullptr) {
    return PointImport(GetModuleHandleW(nullptr), "ws2_32.dll", function, to, was);
  }
  template <class Call>
  static int Inside(bool start, Call call) {
    {
      std::unique_lock<std::mutex> lock(s_mutex);
      s_counts.starts += start ? 1 : 0;
      s_counts.most_inside = std::max(s_counts.most_inside, ++s_inside);
      s_changed.notify_all();
      s_changed.wait_for(lock, std::chrono::milliseconds(100), [] { return s_inside > 1; });
    }
    const int rc = call();
    std::lock_guard<std::mutex> lock(s_mutex);
    --s_inside;
    return rc;
  }
  static int WSAAPI Startup(WORD version, LPWSADATA data) {
    return Inside(
        true, [&] { return reinterpret_cast<decltype(&WSAStartup)>(s_startup)(version, data); });
  }
  static int WSAAPI Cleanup() {
    return Inside(false, [] { return reinterpret_cast<decltype(&WSACleanup)>(s_cleanup)(); });
  }

  static inline std::mutex s_mutex;
  static inline std::condition_variable s_changed;
  static inline WinsockCounts s_counts;
  static inline int s_inside = 0;
  static inline ULONG_PTR s_startup = 0, s_cleanup = 0;
  bool m_bWatching = false;
};

}  // namespace testbed
