// The conversions between Endpoint and the sockaddr forms of the socket calls, and the
// address readers of platform/net.h, shared by both socket layers. It includes no system
// header: each includer has included its own (BSD sockets or Winsock), which name the
// same types and calls. Only the socket layer of a build includes it, once, so the
// readers are defined here and nowhere else.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"

namespace platform::sockaddr_form {

// An endpoint in the socket calls' own form.
struct SockAddr {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
};

inline SockAddr ToSockaddr(const Endpoint& e) {
  SockAddr sa;
  if (e.address.family == Family::kV6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&sa.storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(e.port);
    std::memcpy(&in6->sin6_addr, e.address.bytes.data(), 16);
    in6->sin6_scope_id = e.address.scope;
    sa.length = sizeof *in6;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&sa.storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(e.port);
    in4->sin_addr.s_addr = e.address.V4Value();
    sa.length = sizeof *in4;
  }
  return sa;
}

inline Endpoint FromSockaddr(const sockaddr* sa) {
  if (sa->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    IpAddress a{Family::kV6, {}, in6->sin6_scope_id};
    std::memcpy(a.bytes.data(), &in6->sin6_addr, 16);
    return {a, ntohs(in6->sin6_port)};
  }
  const auto* in4 = reinterpret_cast<const sockaddr_in*>(sa);
  return {in4->sin_addr.s_addr, ntohs(in4->sin_port)};
}

inline int NativeFamily(Family family) {
  return family == Family::kV6 ? AF_INET6 : AF_INET;
}

// The Winsock code of a getaddrinfo or getnameinfo return code (each socket layer's own).
int GaiToWinsock(int rc);

// The addresses of one family getaddrinfo gives for `name`, never none (`flags`:
// AI_NUMERICHOST for a text that must be an address).
inline Result<std::vector<IpAddress>> AddrInfo(const std::string& name, Family family,
                                               int flags = 0) {
  addrinfo hints{};
  hints.ai_family = NativeFamily(family);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0) return SocketFailure(GaiToWinsock(rc));
  std::vector<IpAddress> addresses;
  for (addrinfo* p = result; p; p = p->ai_next) {
    if (p->ai_family == hints.ai_family) addresses.push_back(FromSockaddr(p->ai_addr).address);
  }
  freeaddrinfo(result);
  if (addresses.empty()) return SocketFailure(wsa::kNO_DATA);
  return addresses;
}

// The host name getnameinfo gives for an address (NI_NAMEREQD: a name or a failure).
inline Result<std::string> NameInfo(const IpAddress& address) {
  SockAddr sa = ToSockaddr(Endpoint{address, 0});
  char host[NI_MAXHOST];
  const int rc = getnameinfo(sa.get(), sa.length, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  if (rc != 0) return SocketFailure(GaiToWinsock(rc));
  return std::string(host);
}

}  // namespace platform::sockaddr_form

namespace platform {

std::uint32_t NativeInetAddr(const std::string& text) {
  return inet_addr(text.c_str());
}

std::optional<IpAddress> ParseIpv6(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  if (text.find(':') == std::string_view::npos) return std::nullopt;
  const auto address = sockaddr_form::AddrInfo(std::string(text), Family::kV6, AI_NUMERICHOST);
  if (!address) return std::nullopt;
  return address->front();
}

}  // namespace platform
