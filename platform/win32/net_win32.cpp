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
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/net.h"

namespace platform {
namespace {
std::atomic<bool> g_fail_startup{false};

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

Endpoint FromSockaddr(const sockaddr_in& sa) {
  return Endpoint{sa.sin_addr.s_addr, ntohs(sa.sin_port)};
}

// Every start and stop of the socket library in this module takes this lock. Wine
// counts starts with a plain increment and decrement: two threads starting at once can
// lose one, and the stop that then brings the count to zero closes every socket of the
// process under other threads' feet.
std::mutex g_startup_lock;

bool SetTimeout(SocketHandle s, int option, std::int32_t ms) {
  DWORD value = static_cast<DWORD>(ms);
  return setsockopt(Sock(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0;
}
}  // namespace

int SocketStartup(int major, int minor) {
  if (g_fail_startup.load()) return WSASYSNOTREADY;
  WSADATA data;
  std::lock_guard<std::mutex> lock(g_startup_lock);
  return WSAStartup(MAKEWORD(major, minor), &data);
}
void SocketCleanup() {
  std::lock_guard<std::mutex> lock(g_startup_lock);
  WSACleanup();
}
void SetSocketStartupFailureForTesting(bool fail) {
  g_fail_startup.store(fail);
}

int LastSocketError() {
  return WSAGetLastError();
}
void SetThreadLastError(int code) {
  SetLastError(static_cast<DWORD>(code));
}
int ThreadLastError() {
  return static_cast<int>(GetLastError());
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
  return bind(Sock(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms) {
  return SetTimeout(s, SO_RCVTIMEO, ms);
}

bool SetReuseAddress(SocketHandle s) {
  BOOL one = TRUE;
  return setsockopt(Sock(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                    sizeof one) == 0;
}

bool Connect(SocketHandle s, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  return connect(Sock(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool ConnectWithin(SocketHandle s, Endpoint peer, int ms) {
  u_long nonblocking = 1;
  if (ioctlsocket(Sock(s), FIONBIO, &nonblocking) != 0) return false;
  sockaddr_in sa = ToSockaddr(peer);
  bool ok = false;
  int error = 0;
  if (connect(Sock(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    ok = true;
  } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
    error = WSAGetLastError();
  } else {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Sock(s), &writable);
    FD_SET(Sock(s), &failed);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    int rc = select(0, nullptr, &writable, &failed, ms < 0 ? nullptr : &tv);
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

bool Listen(SocketHandle s, int backlog) {
  return listen(Sock(s), backlog) == 0;
}

SocketHandle Accept(SocketHandle s, Endpoint* peer) {
  sockaddr_in sa{};
  int len = sizeof sa;
  SOCKET c = accept(Sock(s), reinterpret_cast<sockaddr*>(&sa), &len);
  if (c == INVALID_SOCKET) return kInvalidSocket;
  if (peer) *peer = FromSockaddr(sa);
  return static_cast<SocketHandle>(c);
}

int SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  int n = sendto(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0,
                 reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return n == SOCKET_ERROR ? -1 : n;
}

int Send(SocketHandle s, const void* data, std::size_t length) {
  int n = send(Sock(s), static_cast<const char*>(data), static_cast<int>(length), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek, Endpoint* from) {
  sockaddr_in sa{};
  int len = sizeof sa;
  int n = recvfrom(Sock(s), static_cast<char*>(buffer), static_cast<int>(size), peek ? MSG_PEEK : 0,
                   reinterpret_cast<sockaddr*>(&sa), &len);
  if (n == SOCKET_ERROR) return -1;
  if (from) *from = FromSockaddr(sa);
  return n;
}

int Recv(SocketHandle s, void* buffer, std::size_t size) {
  int n = recv(Sock(s), static_cast<char*>(buffer), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int WaitReadable(SocketHandle s, int ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(s), &readable);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  int rc = select(0, &readable, nullptr, nullptr, ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return -1;
  return rc == 0 ? 0 : 1;
}

bool CloseSocket(SocketHandle s) {
  return closesocket(Sock(s)) == 0;
}

bool LocalEndpoint(SocketHandle s, Endpoint* local) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(Sock(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return false;
  *local = FromSockaddr(sa);
  return true;
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
  return Connect(s, peer);
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

int LocalHostName(std::string* name) {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return WSAGetLastError();
  buffer[sizeof buffer - 1] = '\0';
  *name = buffer;
  return 0;
}

std::string SystemDnsServer() {
  ULONG size = 4;
  GetNetworkParams(nullptr, &size);
  std::string result;
  auto* buffer = static_cast<unsigned char*>(std::malloc(size + 1));
  if (!buffer) return result;
  auto* info = reinterpret_cast<FIXED_INFO*>(buffer);
  if (GetNetworkParams(info, &size) == ERROR_SUCCESS) {
    const char* text = info->DnsServerList.IpAddress.String;
    result.assign(text, strnlen(text, sizeof info->DnsServerList.IpAddress.String));
  }
  std::free(buffer);
  return result;
}

bool CryptoRandom(void* buffer, std::size_t length) {
  return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(length),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace platform
