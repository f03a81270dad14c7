// smtp::Probe: whether a server takes mail. It connects to the SMTP port, expects a 220
// greeting, introduces itself with one HELO line, expects 250, and closes without
// QUIT. Each run has its own connection and reply reader.
#pragma once

#include <cstdint>
#include <string>

#include "smtp/probe_waits.h"

namespace smtp {

class Probe {
 public:
  static constexpr std::uint16_t kSmtpPort = 25;

  explicit Probe(ProbeWaits waits = CurrentProbeWaits()) : m_waits(waits) {}

  // True when the server (a host name or dotted IPv4 address) answered both steps as
  // expected; false on anything else, an empty server text included (then nothing is
  // sent). Never throws. A failure of the network leaves its code as the thread's last
  // error (a reply that does not come in time: WSAETIMEDOUT).
  bool Run(const std::string& server, std::uint16_t port = kSmtpPort) const;

 private:
  ProbeWaits m_waits;
};

}  // namespace smtp
