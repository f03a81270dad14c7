// The messages the host lookups give for the socket library's error codes. DNSLookup
// and ReverseDNSLookup word the same codes differently, and pages compare against
// these exact texts, so each lookup keeps its own table.
#pragma once

namespace lookup {

// DNSLookup: never null ("Unknown error occured." for codes it does not name).
const char* DnsLookupErrorText(int code);
// ReverseDNSLookup: null for a code the table does not name.
const char* ReverseLookupErrorText(int code);

}  // namespace lookup
