// smtp::Probe: whether a server takes mail. It connects to the SMTP port, expects a 220
// greeting, introduces itself with one HELO line, expects 250, and closes without
// QUIT. Each run has its own connection and reply reader.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "support/account.h"

namespace smtp {

// How long the probe waits: for the connection, and for each reply. The lookup's
// Timeout property is for DNS and has no say here.
struct ProbeWaits {
  int connect_ms;
  int reply_ms;
};
inline constexpr ProbeWaits kProbeWaits{30'000, 30'000};

class Probe {
 public:
  static constexpr std::uint16_t kSmtpPort = 25;

  explicit Probe(ProbeWaits waits = kProbeWaits) : m_waits(waits) {}

  // Succeeds when the server answered both steps as expected. The server is an IPv6
  // address (brackets optional), or a host name or dotted IPv4 address, reached at its
  // first IPv4 address, or, when it has none, at its first IPv6 one
  // (platform::AddressText::kName). An empty server text fails with kInvalidInput and
  // sends nothing; a reply other than the one expected fails with kBadReply; the
  // network's failures carry their Winsock code (a reply that does not come in time:
  // kTimeout). With an account, it also tells there the name's lookup, the connection,
  // every line received and sent with its time since the connection opened, and where
  // and how the conversation ended.
  platform::Result<void> Run(const std::string& server, std::uint16_t port = kSmtpPort,
                             support::Account* account = nullptr) const;

 private:
  // Where and how the conversation ended (kDone: as expected).
  support::step::SmtpVerdict Converse(const std::string& server, std::uint16_t port,
                                      support::Account* account) const;

  ProbeWaits m_waits;
};

}  // namespace smtp
