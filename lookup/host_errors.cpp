#include "lookup/host_errors.h"

#include "platform/net.h"

namespace lookup {

const char* DnsLookupErrorText(int code) {
  switch (code) {
    case platform::wsa::kENETDOWN:
      return "The network subsystem has failed";
    case platform::wsa::kHOST_NOT_FOUND:
      return "Domain name or host not found";
    default:
      return "Unknown error occured.";
  }
}

const char* ReverseLookupErrorText(int code) {
  switch (code) {
    case platform::wsa::kEINTR:
      return "WSAEINTR error occured";
    case platform::wsa::kEFAULT:
      return "WSAEFAULT error occured";
    case platform::wsa::kEINPROGRESS:
      return "WSAEINPROGRESS error occured";
    case platform::wsa::kEAFNOSUPPORT:
      return "WSAEAFNOSUPPORT error occured";
    case platform::wsa::kENETDOWN:
      return "The network subsystem has failed";
    case platform::wsa::kNOTINITIALISED:
      return "Host not found";
    case platform::wsa::kHOST_NOT_FOUND:
      return "WSAHOST_NOT_FOUND error occured";
    case platform::wsa::kTRY_AGAIN:
      return "WSATRY_AGAIN error occured";
    case platform::wsa::kNO_RECOVERY:
      return "WSANO_RECOVERY error occured";
    case platform::wsa::kNO_DATA:
      return "Host not found";
    default:
      return "Unknown error occured.";
  }
}

}  // namespace lookup
