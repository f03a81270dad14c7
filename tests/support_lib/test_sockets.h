// Socket calls only the tests' own servers make: sharing an address, listening and
// accepting, and reading the endpoint a socket is bound to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/net.h"

namespace testbed {

bool SetReuseAddress(platform::SocketHandle s);
bool Listen(platform::SocketHandle s, int backlog);
platform::SocketHandle Accept(platform::SocketHandle listener);
std::optional<platform::Endpoint> LocalEndpoint(platform::SocketHandle s);
// A network-order address as dotted text.
std::string AddressText(std::uint32_t address);

}  // namespace testbed
