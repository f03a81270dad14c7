// BSD sockets and the glibc resolver behind platform/net.h.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/net.h"

namespace platform {
namespace {

thread_local int t_last_error = 0;
std::atomic<bool> g_fail_startup{false};

int Fd(SocketHandle s) {
  return static_cast<int>(s);
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

// The socket layer's own last error, kept per thread like WSAGetLastError.
thread_local int t_socket_error = 0;
void Fail(int winsock_code) {
  t_socket_error = winsock_code;
}
void FailErrno() {
  t_socket_error = ErrnoToWinsock(errno);
}

bool SetTimeout(SocketHandle s, int option, std::int32_t ms) {
  timeval tv{};
  if (ms > 0) {
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
  }
  if (setsockopt(Fd(s), SOL_SOCKET, option, &tv, sizeof tv) != 0) {
    FailErrno();
    return false;
  }
  return true;
}

int GaiToWinsock(int rc) {
  switch (rc) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
      return rc == EAI_NONAME ? wsa::kHOST_NOT_FOUND : wsa::kNO_DATA;
#endif
    case EAI_AGAIN:
      return wsa::kTRY_AGAIN;
    case EAI_ADDRFAMILY:
      return wsa::kNO_DATA;
    case EAI_FAMILY:
      return wsa::kEAFNOSUPPORT;
    case EAI_MEMORY:
    case EAI_FAIL:
      return wsa::kNO_RECOVERY;
    case EAI_SYSTEM:
      return ErrnoToWinsock(errno);
    default:
      return wsa::kNO_RECOVERY;
  }
}
}  // namespace

int SocketStartup(int, int) {
  return g_fail_startup.load() ? 10091 /* WSASYSNOTREADY */ : 0;
}
void SocketCleanup() {}
void SetSocketStartupFailureForTesting(bool fail) {
  g_fail_startup.store(fail);
}

int LastSocketError() {
  return t_socket_error;
}
void SetThreadLastError(int code) {
  t_last_error = code;
}
int ThreadLastError() {
  return t_last_error;
}

int ErrnoToWinsock(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return wsa::kEINTR;
    case EACCES:
    case EPERM:
      return wsa::kEACCES;
    case EFAULT:
      return wsa::kEFAULT;
    case EINVAL:
      return wsa::kEINVAL;
    case EINPROGRESS:
      return wsa::kEINPROGRESS;
    case EBADF:
    case ENOTSOCK:
      return wsa::kENOTSOCK;
    case EMSGSIZE:
      return wsa::kEMSGSIZE;
    case EAFNOSUPPORT:
      return wsa::kEAFNOSUPPORT;
    case EADDRINUSE:
      return wsa::kEADDRINUSE;
    case EADDRNOTAVAIL:
      return wsa::kEADDRNOTAVAIL;
    case ENETDOWN:
      return wsa::kENETDOWN;
    case ENETUNREACH:
      return wsa::kENETUNREACH;
    case ECONNRESET:
    case EPIPE:
      return wsa::kECONNRESET;
    case ENOTCONN:
      return wsa::kENOTCONN;
    case ETIMEDOUT:
      return wsa::kETIMEDOUT;
    case ECONNREFUSED:
      return wsa::kECONNREFUSED;
    case EHOSTUNREACH:
      return wsa::kEHOSTUNREACH;
    default:
      if (err == EAGAIN || err == EWOULDBLOCK) return wsa::kEWOULDBLOCK;
      return 10000 + err;
  }
}

SocketHandle OpenSocket(int type) {
  int native_type = type == kSockStream ? SOCK_STREAM : type == kSockDgram ? SOCK_DGRAM : type;
  int fd = socket(AF_INET, native_type | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    FailErrno();
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(fd);
}

bool Bind(SocketHandle s, Endpoint local) {
  sockaddr_in sa = ToSockaddr(local);
  if (bind(Fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    FailErrno();
    return false;
  }
  return true;
}

bool SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms) {
  return SetTimeout(s, SO_RCVTIMEO, ms);
}

bool SetReuseAddress(SocketHandle s) {
  int one = 1;
  if (setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    FailErrno();
    return false;
  }
  return true;
}

bool Connect(SocketHandle s, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  int rc;
  do {
    rc = connect(Fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    FailErrno();
    return false;
  }
  return true;
}

bool ConnectWithin(SocketHandle s, Endpoint peer, int ms) {
  int flags = fcntl(Fd(s), F_GETFL, 0);
  if (flags < 0 || fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) != 0) {
    FailErrno();
    return false;
  }
  sockaddr_in sa = ToSockaddr(peer);
  bool ok = false;
  if (connect(Fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    ok = true;
  } else if (errno != EINPROGRESS) {
    FailErrno();
  } else {
    pollfd p{Fd(s), POLLOUT, 0};
    int rc;
    do {
      rc = poll(&p, 1, ms < 0 ? -1 : ms);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) {
      Fail(wsa::kETIMEDOUT);
    } else if (rc < 0) {
      FailErrno();
    } else {
      int err = 0;
      socklen_t len = sizeof err;
      if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
        FailErrno();
      } else if (err != 0) {
        Fail(ErrnoToWinsock(err));
      } else {
        ok = true;
      }
    }
  }
  fcntl(Fd(s), F_SETFL, flags);
  return ok;
}

bool Listen(SocketHandle s, int backlog) {
  if (listen(Fd(s), backlog) != 0) {
    FailErrno();
    return false;
  }
  return true;
}

SocketHandle Accept(SocketHandle s, Endpoint* peer) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  int fd;
  do {
    fd = accept4(Fd(s), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    FailErrno();
    return kInvalidSocket;
  }
  if (peer) *peer = FromSockaddr(sa);
  return static_cast<SocketHandle>(fd);
}

int SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  sockaddr_in sa = ToSockaddr(peer);
  ssize_t n =
      sendto(Fd(s), data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (n < 0) {
    FailErrno();
    return -1;
  }
  return static_cast<int>(n);
}

int Send(SocketHandle s, const void* data, std::size_t length) {
  ssize_t n;
  do {
    n = send(Fd(s), data, length, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    FailErrno();
    return -1;
  }
  return static_cast<int>(n);
}

int RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek, Endpoint* from) {
  sockaddr_in sa{};
  iovec iov{buffer, size};
  msghdr msg{};
  msg.msg_name = &sa;
  msg.msg_namelen = sizeof sa;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  ssize_t n;
  do {
    n = recvmsg(Fd(s), &msg, peek ? MSG_PEEK : 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    // A receive time-out (SO_RCVTIMEO) reads as EAGAIN here and as WSAETIMEDOUT there.
    Fail((errno == EAGAIN || errno == EWOULDBLOCK) ? wsa::kETIMEDOUT : ErrnoToWinsock(errno));
    return -1;
  }
  if (from) *from = FromSockaddr(sa);
  if (msg.msg_flags & MSG_TRUNC) {
    // Winsock reports a datagram larger than the buffer as WSAEMSGSIZE; with MSG_PEEK
    // the datagram stays queued, as it does here.
    Fail(wsa::kEMSGSIZE);
    return -1;
  }
  return static_cast<int>(n);
}

int Recv(SocketHandle s, void* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = recv(Fd(s), buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    Fail((errno == EAGAIN || errno == EWOULDBLOCK) ? wsa::kETIMEDOUT : ErrnoToWinsock(errno));
    return -1;
  }
  return static_cast<int>(n);
}

int WaitReadable(SocketHandle s, int ms) {
  pollfd p{Fd(s), POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, ms < 0 ? -1 : ms);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    FailErrno();
    return -1;
  }
  return rc == 0 ? 0 : 1;
}

bool CloseSocket(SocketHandle s) {
  if (s == kInvalidSocket || close(Fd(s)) != 0) {
    if (s == kInvalidSocket)
      Fail(wsa::kENOTSOCK);
    else
      FailErrno();
    return false;
  }
  return true;
}

bool LocalEndpoint(SocketHandle s, Endpoint* local) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(Fd(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    FailErrno();
    return false;
  }
  *local = FromSockaddr(sa);
  return true;
}

int PendingSocketError(SocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return ErrnoToWinsock(errno);
  return ErrnoToWinsock(err);
}

bool ReportUnreachable(SocketHandle s, Endpoint) {
  int one = 1;
  if (setsockopt(Fd(s), IPPROTO_IP, IP_RECVERR, &one, sizeof one) != 0) {
    FailErrno();
    return false;
  }
  return true;
}

bool ReceiveReportsUnreachable() {
  return true;
}

std::uint32_t NativeInetAddr(const std::string& text) {
  return inet_addr(text.c_str());
}

int ResolveHost(const std::string& name, std::vector<std::uint32_t>* addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0) return GaiToWinsock(rc);
  addresses->clear();
  for (addrinfo* p = result; p; p = p->ai_next) {
    if (p->ai_family == AF_INET) {
      addresses->push_back(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
    }
  }
  freeaddrinfo(result);
  return addresses->empty() ? wsa::kNO_DATA : 0;
}

int ReverseResolve(std::uint32_t address, std::string* name) {
  sockaddr_in sa = ToSockaddr(Endpoint{address, 0});
  char host[NI_MAXHOST];
  int rc = getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                       NI_NAMEREQD);
  if (rc != 0) return GaiToWinsock(rc);
  *name = host;
  return 0;
}

int LocalHostName(std::string* name) {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return ErrnoToWinsock(errno);
  buffer[sizeof buffer - 1] = '\0';
  *name = buffer;
  return 0;
}

std::string SystemDnsServer() {
  const char* override_path = std::getenv("KESTRA_RESOLV_CONF");
  std::ifstream in(override_path && *override_path ? override_path : "/etc/resolv.conf");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword, value;
    if (words >> keyword >> value && keyword == "nameserver") {
      // Only an IPv4 server can be reached by the IPv4 transport.
      in_addr probe{};
      if (inet_pton(AF_INET, value.c_str(), &probe) == 1) return value;
    }
  }
  return "";
}

bool CryptoRandom(void* buffer, std::size_t length) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t n = getrandom(p, length, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
