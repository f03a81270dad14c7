#include "test_sockets.h"

#ifdef _WIN32
#include <winsock2.h>
using NativeSocket = SOCKET;
using Length = int;
#else
#include <arpa/inet.h>
#include <sys/socket.h>
using NativeSocket = int;
using Length = socklen_t;
#endif

namespace testbed {
namespace {
NativeSocket Native(platform::SocketHandle s) {
  return static_cast<NativeSocket>(s);
}
}  // namespace

bool SetReuseAddress(platform::SocketHandle s) {
  const int one = 1;
  return setsockopt(Native(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                    sizeof one) == 0;
}

bool Listen(platform::SocketHandle s, int backlog) {
  return listen(Native(s), backlog) == 0;
}

// A failed accept (-1, INVALID_SOCKET) is all ones, as kInvalidSocket is.
platform::SocketHandle Accept(platform::SocketHandle listener) {
  return static_cast<platform::SocketHandle>(accept(Native(listener), nullptr, nullptr));
}

std::optional<platform::Endpoint> LocalEndpoint(platform::SocketHandle s) {
  sockaddr_in sa{};
  Length length = sizeof sa;
  if (getsockname(Native(s), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return std::nullopt;
  return platform::Endpoint{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
}

std::string AddressText(std::uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

}  // namespace testbed
