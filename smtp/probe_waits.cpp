#include "smtp/probe_waits.h"

#include <atomic>

namespace smtp {
namespace {
std::atomic<int> g_connect_ms{kProbeWaits.connect_ms};
std::atomic<int> g_reply_ms{kProbeWaits.reply_ms};
}  // namespace

ProbeWaits CurrentProbeWaits() {
  return ProbeWaits{g_connect_ms.load(), g_reply_ms.load()};
}

void SetProbeWaitsForTesting(ProbeWaits waits) {
  g_connect_ms.store(waits.connect_ms);
  g_reply_ms.store(waits.reply_ms);
}

void ResetProbeWaitsForTesting() {
  SetProbeWaitsForTesting(kProbeWaits);
}

}  // namespace smtp
