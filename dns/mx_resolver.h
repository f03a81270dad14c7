// dns::ResolveMx: asks one DNS server (a host name, a dotted IPv4 address or an IPv6
// address, brackets optional: platform::AddressText::kNumericOrName) for a domain's MX
// records: one query datagram to port 53, no retransmission, one accepted reply within
// the time-out, and a retry over TCP when that reply was truncated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dns/dns_message.h"
#include "platform/result.h"
#include "support/account.h"

namespace dns {

// Never throws. The exchangers of the reply it accepts, in answer order (none when that
// reply holds none); a Failure when no reply was accepted or the query could not be made.
//
// An empty server is the machine's first DNS server (platform::SystemDnsServer). Every
// query carries a fresh ID from the platform's cryptographic random source. A datagram
// is accepted only when it comes from the server's address and port 53 and is the reply
// to the query that decodes whole (ReadReply); anything else is dropped and the
// wait goes on, the time-out running from the send, so dropped datagrams never extend it.
//
// An accepted reply with TC set is asked again once over TCP (same server, port 53)
// within what is left of the time-out, and at most 5 seconds; an accepted TCP answer
// replaces it, and if TCP fails or runs out of time the truncated reply's records are
// used.
//
// It fails at once, sending nothing, when the domain cannot be put in a query
// (Query::Make), when there is no server, when the server gives no address (a name that
// does not resolve, 0.0.0.0, ::, or an invalid dotted text), when the time-out is negative,
// or when the platform reports the server's port unreachable. A time-out of 0 means no
// time limit; one above 2,147,483 seconds is held at 2^31 - 1 ms (about 24.8 days).
//
// With an account, it also tells there the server and why it was asked, each query it
// sent, each datagram or reply it received and whether it took it, the reply it took
// (dns/reply_account.h), and how each query ended; it sends the same bytes either way.
platform::Result<std::vector<MxRecord>> ResolveMx(const std::string& domain,
                                                  const std::string& server,
                                                  std::int32_t timeout_seconds,
                                                  support::Account* account = nullptr);

}  // namespace dns
