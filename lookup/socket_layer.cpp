#include "lookup/socket_layer.h"

#include <mutex>

#include "platform/net.h"

namespace lookup {
namespace {
std::mutex g_mutex;
bool g_started = false;
}  // namespace

bool EnsureSocketLayer() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_started) g_started = platform::SocketStartup(1, 1) == 0;
  return g_started;
}

void ReleaseSocketLayer() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_started) {
    platform::SocketCleanup();
    g_started = false;
  }
}

}  // namespace lookup
