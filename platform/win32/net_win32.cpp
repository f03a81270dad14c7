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

#include "platform/net.h"

namespace platform {
namespace {

std::atomic<bool> g_fail_startup{false};
// Wine counts WSAStartup and WSACleanup without a lock of its own; this one keeps two
// threads from losing a count (README, Safety choices).
std::mutex g_layer_lock;
bool g_bLayerStarted = false;

SOCKET Sock(SocketHandle s) {
  return static_cast<SOCKET>(s);
}

sockaddr_in ToSockaddr(Endpoint e) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(e.port);
  sa.sin_addr.s_addr = e.address;
  return sa;
}

sockaddr* Address(sockaddr_in* sa) {
  return reinterpret_cast<sockaddr*>(sa);
}

}  // namespace

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

int LastSocketError() {
  return WSAGetLastError();
}

int ErrnoToWinsock(int err) {
  return err;
}

SocketHandle OpenSocket(int type) {
  SOCKET s = socket(AF_INET, type, 0);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool Bind(SocketHandle s, Endpoint local) {
  sockaddr_in sa = ToSockaddr(local);
  return bind(Sock(s), Address(&sa), sizeof sa) == 0;
}

bool SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms) {
  const DWORD value = static_cast<DWORD>(ms);
  return setsockopt(Sock(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0;
}

bool ConnectWithin(SocketHandle s, Endpoint peer, int ms) {
  u_long nonblocking = 1;
  if (ioctlsocket(Sock(s), FIONBIO, &nonblocking) != 0) return false;
  sockaddr_in sa = ToSockaddr(peer);
  bool ok = connect(Sock(s), Address(&sa), sizeof sa) == 0;
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
  if (!ok) WSASetLastError(error);
  return ok;
}

int SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  const int n = sendto(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0,
                       Address(&sa), sizeof sa);
  return n == SOCKET_ERROR ? -1 : n;
}

int Send(SocketHandle s, const void* data, std::size_t length) {
  const int n = send(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek, Endpoint* from) {
  sockaddr_in sa{};
  int len = sizeof sa;
  const int n = recvfrom(Sock(s), static_cast<char*>(buffer), static_cast<int>(size),
                         peek ? MSG_PEEK : 0, Address(&sa), &len);
  if (n == SOCKET_ERROR) return -1;
  if (from) *from = Endpoint{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
  return n;
}

int Recv(SocketHandle s, void* buffer, std::size_t size) {
  const int n = recv(Sock(s), static_cast<char*>(buffer), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int WaitReadable(SocketHandle s, int ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(s), &readable);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int rc = select(0, &readable, nullptr, nullptr, ms < 0 ? nullptr : &tv);
  return rc == SOCKET_ERROR ? -1 : rc == 0 ? 0 : 1;
}

bool CloseSocket(SocketHandle s) {
  return closesocket(Sock(s)) == 0;
}

int PendingSocketError(SocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
    return WSAGetLastError();
  }
  return err;
}

bool ReportUnreachable(SocketHandle s, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  return connect(Sock(s), Address(&sa), sizeof sa) == 0;
}

bool ReceiveReportsUnreachable() {
  return false;
}

std::uint32_t NativeInetAddr(const std::string& text) {
  return inet_addr(text.c_str());
}

int ResolveHost(const std::string& name, std::vector<std::uint32_t>* addresses) {
  // gethostbyname keeps its entry per thread in Winsock, so this is safe across threads.
  hostent* entry = gethostbyname(name.c_str());
  if (!entry) return WSAGetLastError();
  addresses->clear();
  if (entry->h_addrtype == AF_INET && entry->h_length == 4) {
    for (char** p = entry->h_addr_list; *p; ++p) {
      std::uint32_t a;
      std::memcpy(&a, *p, 4);
      addresses->push_back(a);
    }
  }
  return addresses->empty() ? WSANO_DATA : 0;
}

int ReverseResolve(std::uint32_t address, std::string* name) {
  hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
  if (!entry) return WSAGetLastError();
  *name = entry->h_name ? entry->h_name : "";
  return 0;
}

Result<std::string> LocalHostName() {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return SocketFailure(WSAGetLastError());
  buffer[sizeof buffer - 1] = '\0';
  return std::string(buffer);
}

std::string SystemDnsServer() {
  ULONG size = 0;
  GetNetworkParams(nullptr, &size);
  std::vector<unsigned char> buffer(size + 1);
  auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
  if (size == 0 || GetNetworkParams(info, &size) != ERROR_SUCCESS) return "";
  const char* text = info->DnsServerList.IpAddress.String;
  return std::string(text, strnlen(text, sizeof info->DnsServerList.IpAddress.String));
}

bool CryptoRandom(void* buffer, std::size_t length) {
  return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(length),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace platform
