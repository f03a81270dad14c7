// The messages the host lookups give for the socket library's error codes. DNSLookup
// and ReverseDNSLookup have always worded the same codes differently; both tables are
// kept as pages have come to read them.
#pragma once

namespace lookup {

// DNSLookup: never null ("Unknown error occured." for codes it does not name).
const char* DnsLookupErrorText(int code);
// ReverseDNSLookup: null for a code the table does not name.
const char* ReverseLookupErrorText(int code);

}  // namespace lookup
