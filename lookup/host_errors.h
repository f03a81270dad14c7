// The messages the host lookups give for the socket library's error codes. DNSLookup
// and ReverseDNSLookup word the same codes differently, and pages compare against
// these exact texts, so each lookup keeps its own table.
#pragma once

namespace lookup {

// DNSLookup: never null ("Unknown error occured." for codes it does not name).
const char* DnsLookupErrorText(int code);
// ReverseDNSLookup: never null either (the same "Unknown error occured." for codes it
// does not name), so that IsError 1 never comes with a stale ErrorReason.
const char* ReverseLookupErrorText(int code);

}  // namespace lookup
