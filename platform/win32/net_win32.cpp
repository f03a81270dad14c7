// Winsock, the IP Helper and the system's random source behind platform/net.h.
// Winsock's headers must come before <windows.h>, and the others after it.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <bcrypt.h>
// clang-format on

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/common/socket_address.h"
#include "platform/net.h"

namespace platform {
namespace {

using namespace sockaddr_form;

std::atomic<bool> g_fail_startup{false};
// Wine counts WSAStartup and WSACleanup without a lock of its own; this one keeps two
// threads from losing a count (README, Safety choices).
std::mutex g_layer_lock;
bool g_bLayerStarted = false;

SOCKET Sock(SocketHandle s) {
  return static_cast<SOCKET>(s);
}

Failure LastFailure() {
  return SocketFailure(WSAGetLastError());
}

// A call that answers 0 on success.
Result<void> Check(int rc) {
  if (rc != 0) return LastFailure();
  return {};
}

// A count of bytes, or the failure of SOCKET_ERROR.
Result<std::size_t> Count(int n) {
  if (n == SOCKET_ERROR) return LastFailure();
  return static_cast<std::size_t>(n);
}

// The first IPv6 DNS server of the machine's adapters as text, or "".
std::string FirstIpv6DnsServer() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_FRIENDLY_NAME;
  ULONG size = 15000;
  std::vector<unsigned char> buffer;
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  for (int tries = 0; tries < 3 && rc == ERROR_BUFFER_OVERFLOW; ++tries) {
    buffer.resize(size);
    rc = GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                              reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (rc != NO_ERROR) return "";
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    for (auto* d = a->FirstDnsServerAddress; d; d = d->Next) {
      const sockaddr* sa = d->Address.lpSockaddr;
      if (sa && sa->sa_family == AF_INET6) return FromSockaddr(sa).address.Text();
    }
  }
  return "";
}

}  // namespace

// Winsock's getaddrinfo and getnameinfo answer Winsock codes themselves.
int sockaddr_form::GaiToWinsock(int rc) {
  return rc;
}

Result<void> EnsureSocketLayer() {
  std::lock_guard<std::mutex> lock(g_layer_lock);
  if (g_bLayerStarted) return {};
  if (g_fail_startup.load()) return SocketFailure(WSASYSNOTREADY);
  WSADATA data;
  if (const int rc = WSAStartup(MAKEWORD(2, 2), &data)) return SocketFailure(rc);
  g_bLayerStarted = true;
  return {};
}
void ReleaseSocketLayer() {
  std::lock_guard<std::mutex> lock(g_layer_lock);
  if (g_bLayerStarted) WSACleanup();
  g_bLayerStarted = false;
}
void SetSocketStartupFailureForTesting(bool fail) {
  g_fail_startup.store(fail);
}

Result<UniqueSocket> OpenSocket(int type, Family family) {
  SOCKET s = socket(NativeFamily(family), type, 0);
  if (s == INVALID_SOCKET) return LastFailure();
  return UniqueSocket(static_cast<SocketHandle>(s));
}

Result<void> Bind(SocketHandle s, Endpoint local) {
  SockAddr sa = ToSockaddr(local);
  return Check(bind(Sock(s), sa.get(), sa.length));
}

Result<void> SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms) {
  const DWORD value = static_cast<DWORD>(ms);
  return Check(setsockopt(Sock(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                          sizeof value));
}

Result<void> ConnectWithin(SocketHandle s, Endpoint peer, int ms) {
  u_long nonblocking = 1;
  if (ioctlsocket(Sock(s), FIONBIO, &nonblocking) != 0) return LastFailure();
  SockAddr sa = ToSockaddr(peer);
  bool ok = connect(Sock(s), sa.get(), sa.length) == 0;
  int error = ok ? 0 : WSAGetLastError();
  if (error == WSAEWOULDBLOCK) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Sock(s), &writable);
    FD_SET(Sock(s), &failed);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    const int rc = select(0, nullptr, &writable, &failed, ms < 0 ? nullptr : &tv);
    if (rc == 0) {
      error = WSAETIMEDOUT;
    } else if (rc < 0) {
      error = WSAGetLastError();
    } else if (FD_ISSET(Sock(s), &failed)) {
      int so_error = 0;
      int len = sizeof so_error;
      getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len);
      error = so_error != 0 ? so_error : WSAECONNREFUSED;
    } else {
      ok = true;
    }
  }
  u_long blocking = 0;
  ioctlsocket(Sock(s), FIONBIO, &blocking);
  if (!ok) return SocketFailure(error);
  return {};
}

Result<std::size_t> SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  SockAddr sa = ToSockaddr(peer);
  return Count(sendto(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0,
                      sa.get(), sa.length));
}

Result<std::size_t> Send(SocketHandle s, const void* data, std::size_t length) {
  return Count(send(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0));
}

Result<std::size_t> RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek,
                             Endpoint* from) {
  SockAddr sa;
  const int n = recvfrom(Sock(s), static_cast<char*>(buffer), static_cast<int>(size),
                         peek ? MSG_PEEK : 0, sa.get(), &sa.length);
  if (n != SOCKET_ERROR && from) *from = FromSockaddr(sa.get());
  return Count(n);
}

Result<std::size_t> Recv(SocketHandle s, void* buffer, std::size_t size) {
  return Count(recv(Sock(s), static_cast<char*>(buffer), static_cast<int>(size), 0));
}

Result<void> WaitReadable(SocketHandle s, int ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(s), &readable);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int rc = select(0, &readable, nullptr, nullptr, ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return LastFailure();
  if (rc == 0) return SocketFailure(WSAETIMEDOUT);
  return {};
}

Result<void> CloseSocket(SocketHandle s) {
  return Check(closesocket(Sock(s)));
}

Result<void> PendingSocketError(SocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
    return LastFailure();
  }
  if (err != 0) return SocketFailure(err);
  return {};
}

Result<void> ReportUnreachable(SocketHandle s, Endpoint peer) {
  SockAddr sa = ToSockaddr(peer);
  return Check(connect(Sock(s), sa.get(), sa.length));
}

bool ReceiveReportsUnreachable() {
  return false;
}

Result<std::vector<IpAddress>> ResolveHost(const std::string& name, Family family) {
  if (family == Family::kV6) return AddrInfo(name, family);
  // gethostbyname keeps its entry per thread in Winsock, so this is safe across threads.
  const hostent* entry = gethostbyname(name.c_str());
  if (!entry) return LastFailure();
  std::vector<IpAddress> addresses;
  if (entry->h_addrtype == AF_INET && entry->h_length == 4) {
    for (char** p = entry->h_addr_list; *p; ++p) {
      std::uint32_t a;
      std::memcpy(&a, *p, 4);
      addresses.push_back(IpAddress::V4(a));
    }
  }
  if (addresses.empty()) return SocketFailure(WSANO_DATA);
  return addresses;
}

Result<std::string> ReverseResolve(const IpAddress& address) {
  if (address.family == Family::kV6) return NameInfo(address);
  const std::uint32_t v4 = address.V4Value();
  hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&v4), 4, AF_INET);
  if (!entry) return LastFailure();
  return std::string(entry->h_name ? entry->h_name : "");
}

const char* ResolverCallName(bool reverse, Family family) {
  if (family == Family::kV4) return reverse ? "gethostbyaddr" : "gethostbyname";
  return reverse ? "getnameinfo" : "getaddrinfo";
}

Result<std::string> LocalHostName() {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return LastFailure();
  buffer[sizeof buffer - 1] = '\0';
  return std::string(buffer);
}

Result<SystemServer> SystemDnsServer() {
  ULONG size = 0;
  GetNetworkParams(nullptr, &size);
  std::vector<unsigned char> buffer(size + 1);
  auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
  std::string first;
  if (size != 0 && GetNetworkParams(info, &size) == ERROR_SUCCESS) {
    const char* text = info->DnsServerList.IpAddress.String;
    first.assign(text, strnlen(text, sizeof info->DnsServerList.IpAddress.String));
  }
  if (!first.empty()) return SystemServer{first, "GetNetworkParams"};
  // No IPv4 server: the first IPv6 one.
  first = FirstIpv6DnsServer();
  if (first.empty()) return Failure{Cause::kNotFound};
  return SystemServer{first, "GetAdaptersAddresses"};
}

Result<void> CryptoRandom(void* buffer, std::size_t length) {
  if (BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(length),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    return Failure{Cause::kSystem};
  }
  return {};
}

}  // namespace platform
