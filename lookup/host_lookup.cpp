// DNSLookup and ReverseDNSLookup: through the platform's own resolver, on the
// process-wide start of the socket library that the other lookups use too. A start and
// a stop around each call would gain nothing, and where the library counts its starts
// without a lock (Wine's does), the stops of calls on other threads can bring the
// count to zero, which closes every socket of the process in the middle of its use.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lookup/host_errors.h"
#include "lookup/lookup.h"
#include "platform/net.h"

namespace lookup {

namespace {

// The address's bytes in network order, each as unsigned decimal: 200.0.2.1, never -56.
std::string DottedAddress(std::uint32_t address) {
  unsigned char b[4];
  std::memcpy(b, &address, sizeof b);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(b[0]),
                static_cast<unsigned>(b[1]), static_cast<unsigned>(b[2]),
                static_cast<unsigned>(b[3]));
  return text;
}

constexpr char kGeneralFailure[] = "An error occured. Please try again";

}  // namespace

void CLookup::DNSLookupWork(const std::string& host_name, std::string* address) {
  address->clear();
  try {
    if (!platform::EnsureSocketLayer()) {
      Fail(kGeneralFailure);
      return;
    }
    if (host_name.empty()) {
      Fail("Please specify domain name");
      return;
    }
    std::vector<std::uint32_t> addresses;
    int code = platform::ResolveHost(host_name, &addresses);
    if (code == 0 && !addresses.empty()) {
      *address = DottedAddress(addresses.front());
    } else {
      Fail(DnsLookupErrorText(code == 0 ? platform::wsa::kNO_DATA : code));
    }
  } catch (...) {
    address->clear();
    Fail(kGeneralFailure);
  }
}

void CLookup::ReverseDNSLookupWork(const std::string& ip, std::string* host_name) {
  host_name->clear();
  try {
    if (ip.empty()) {
      Fail("Please specify IP address");
      return;
    }
    if (!platform::EnsureSocketLayer()) {
      // Reported as the failure it is, not handed back as if it were a host name.
      Fail("winsock.dll not found");
      return;
    }
    // Not validated beyond inet_addr: a text that is no address becomes the all-ones
    // address and fails like any unknown address.
    std::uint32_t address = platform::InetAddr(ip);
    std::string name;
    int code = platform::ReverseResolve(address, &name);
    if (code == 0) {
      *host_name = std::move(name);
    } else {
      Fail(ReverseLookupErrorText(code));
    }
  } catch (...) {
    host_name->clear();
    Fail(kGeneralFailure);
  }
}

}  // namespace lookup
