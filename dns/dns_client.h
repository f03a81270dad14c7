// dns::Client: asks one DNS server (a host name or a dotted IPv4 address) for a domain's
// MX records: one query datagram to port 53, no retransmission, one accepted reply
// within the time-out, and a retry over TCP when that reply was truncated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dns/dns_message.h"

namespace dns {

class Client {
 public:
  static constexpr std::uint16_t kDnsPort = 53;

  explicit Client(std::string server) : m_strServer(std::move(server)) {}

  // Asks for the domain's MX records, leaving the accepted reply (or the TCP answer that
  // replaced it) decoded in *answer: true when it holds at least one exchanger; false,
  // with *answer holding no exchangers, on any failure.
  //
  // Every query carries a fresh ID from the platform's cryptographic random source.
  // A datagram is accepted only when it comes from the server's address and port 53,
  // carries that ID with QR set, and holds exactly one question equal to the one asked
  // (the name without regard to ASCII case, type MX, class IN). Anything else,
  // including a datagram that does not decode, is dropped and the wait goes on; the
  // time-out runs from the send, so dropped datagrams never extend it.
  //
  // An accepted reply with TC set is asked again once over TCP (same server, port 53)
  // within what is left of the time-out, and at most 5 seconds; an accepted TCP answer
  // replaces it, and if TCP fails or runs out of time the truncated reply's records are
  // used.
  //
  // It fails at once, sending nothing, when the domain's wire form has a label over 63
  // bytes or runs over 255 bytes, when the server gives no address (a name that does
  // not resolve, 0.0.0.0, or an invalid dotted text), when the time-out is negative,
  // or when the platform reports the server's port unreachable. A time-out of 0 means
  // no time limit; a very large one is held at about 24.8 days.
  bool Query(const std::string& domain, std::int32_t timeout_seconds, Message* answer);

  // Whether a decoded reply answers the query with this ID for this question name (in
  // label form, as DomainToLabels gives it).
  static bool IsAnswerTo(const Message& reply, std::uint16_t id, std::string_view question_labels);

 private:
  std::string m_strServer;
};

}  // namespace dns
