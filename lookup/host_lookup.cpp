// DNSLookup and ReverseDNSLookup: through the platform's own resolver, on the
// process-wide start of the socket library (never a start and a stop per call).
#include <cstdint>

#include "lookup/host_errors.h"
#include "lookup/lookup.h"
#include "platform/idn.h"
#include "platform/net.h"
#include "support/texts.h"

namespace lookup {

namespace texts = support::texts;

using support::Account;

std::string CLookup::ResolveHostName(const std::string& host_name) {
  const auto ascii = platform::AsciiName(host_name);
  if (OutOfMemory(ascii) || !platform::EnsureSocketLayer()) {
    Fail(texts::kGeneralFailure);
    return {};
  }
  if (host_name.empty()) {
    Fail(texts::kNoDomain);
    return {};
  }
  if (!ascii) {
    // No ASCII form: no host can have the name.
    Fail(DnsLookupErrorText(platform::wsa::kHOST_NOT_FOUND));
    return {};
  }
  // Pages parse the result as dotted IPv4: a name with only IPv6 addresses fails.
  NoteName(support::step::NameRole::kResolverHost, host_name, *ascii);
  const Account::Clock::time_point start = Account::Start(m_pAccount);
  const auto addresses = platform::ResolveHost(*ascii, platform::Family::kV4);
  support::Note(m_pAccount, [&] { return support::AddressLookup(*ascii, addresses, start); });
  if (addresses) return addresses->front().Text();
  Fail(DnsLookupErrorText(addresses.failure().code));
  return {};
}

std::string CLookup::ResolveAddress(const std::string& ip) {
  if (ip.empty()) {
    Fail(texts::kNoAddress);
    return {};
  }
  if (!platform::EnsureSocketLayer()) {
    // Reported as the failure it is, not handed back as if it were a host name.
    Fail(texts::kNoSocketLibrary);
    return {};
  }
  // Not validated beyond inet_addr: a text that is no address becomes the all-ones
  // address and fails like any unknown one.
  const platform::IpAddress address =
      platform::AddressesOf(ip, platform::AddressText::kNumeric)->front();
  const Account::Clock::time_point start = Account::Start(m_pAccount);
  const auto name = platform::ReverseResolve(address);
  support::Note(m_pAccount, [&] {
    return support::step::ResolverCall{
        true,
        platform::ResolverCallName(true, address.family),
        address.Text(),
        name ? 0 : name.failure().code,
        name ? std::vector<std::string>{*name} : std::vector<std::string>{},
        Account::MsSince(start)};
  });
  if (name) return *name;
  Fail(ReverseLookupErrorText(name.failure().code));
  return {};
}

}  // namespace lookup
