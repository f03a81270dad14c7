// The first DNS server of the machine's network configuration.
#pragma once

#include <string>

// Its dotted IPv4 address, or the empty text when the machine has none (or its
// configuration cannot be read). Read anew on every call.
std::string GetSystemDNSServer();
