// How long the SMTP probe waits: for the connection, and for each reply. The lookup's
// Timeout property is for DNS and has no say here. A page script has no way to change
// these; tests shorten them through the setter below.
#pragma once

namespace smtp {

struct ProbeWaits {
  int connect_ms;
  int reply_ms;
};

inline constexpr ProbeWaits kProbeWaits{30'000, 30'000};

// The waits the next probe uses: kProbeWaits unless a test has set others.
ProbeWaits CurrentProbeWaits();

// Tests only: later probes use `waits` until ResetProbeWaitsForTesting.
void SetProbeWaitsForTesting(ProbeWaits waits);
void ResetProbeWaitsForTesting();

}  // namespace smtp
