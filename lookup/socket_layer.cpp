#include "lookup/socket_layer.h"

#include <mutex>
#include <optional>

#include "platform/net.h"

namespace lookup {
namespace {
std::mutex g_mutex;
// Only a start that succeeded is kept; a failed one is dropped at once, so the next
// call tries again.
std::optional<platform::SocketLibrary> g_library;
}  // namespace

bool EnsureSocketLayer() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_library) {
    g_library.emplace();
    if (!g_library->Started()) g_library.reset();
  }
  return g_library.has_value();
}

void ReleaseSocketLayer() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_library.reset();
}

}  // namespace lookup
