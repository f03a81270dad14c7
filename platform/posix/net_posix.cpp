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
#include <utility>

#include "platform/common/socket_address.h"
#include "platform/net.h"

namespace platform {
namespace {

using namespace sockaddr_form;

std::atomic<bool> g_fail_startup{false};

int Fd(SocketHandle s) {
  return static_cast<int>(s);
}

// The Winsock code of the same meaning as an errno value.
int ErrnoToWinsock(int err) {
  static constexpr std::pair<int, int> kCodes[] = {
      {0, 0},
      {EINTR, wsa::kEINTR},
      {EACCES, wsa::kEACCES},
      {EPERM, wsa::kEACCES},
      {EFAULT, wsa::kEFAULT},
      {EINVAL, wsa::kEINVAL},
      {EAGAIN, wsa::kEWOULDBLOCK},
      {EINPROGRESS, wsa::kEINPROGRESS},
      {EBADF, wsa::kENOTSOCK},
      {ENOTSOCK, wsa::kENOTSOCK},
      {EMSGSIZE, wsa::kEMSGSIZE},
      {EAFNOSUPPORT, wsa::kEAFNOSUPPORT},
      {EADDRINUSE, wsa::kEADDRINUSE},
      {EADDRNOTAVAIL, wsa::kEADDRNOTAVAIL},
      {ENETDOWN, wsa::kENETDOWN},
      {ENETUNREACH, wsa::kENETUNREACH},
      {ECONNRESET, wsa::kECONNRESET},
      {EPIPE, wsa::kECONNRESET},
      {ENOTCONN, wsa::kENOTCONN},
      {ETIMEDOUT, wsa::kETIMEDOUT},
      {ECONNREFUSED, wsa::kECONNREFUSED},
      {EHOSTUNREACH, wsa::kEHOSTUNREACH},
  };
  for (const auto& [from, to] : kCodes) {
    if (from == err) return to;
  }
  return 10000 + err;
}

// Calls `call` again for as long as a signal interrupts it.
template <class Call>
auto Retried(Call call) {
  decltype(call()) rc;
  do {
    rc = call();
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// The failure errno holds.
Failure LastFailure() {
  return SocketFailure(ErrnoToWinsock(errno));
}

// A call that answers 0 on success.
Result<void> Check(int rc) {
  if (rc != 0) return LastFailure();
  return {};
}

// A count of bytes, or the failure errno holds.
Result<std::size_t> Count(ssize_t n) {
  if (n < 0) return LastFailure();
  return static_cast<std::size_t>(n);
}

// A receive's count: its time-out (SO_RCVTIMEO) reads as EAGAIN here and WSAETIMEDOUT there.
Result<std::size_t> Received(ssize_t n) {
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return SocketFailure(wsa::kETIMEDOUT);
  return Count(n);
}

}  // namespace

int sockaddr_form::GaiToWinsock(int rc) {
  switch (rc) {
    case EAI_NONAME:
      return wsa::kHOST_NOT_FOUND;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return wsa::kNO_DATA;
    case EAI_AGAIN:
      return wsa::kTRY_AGAIN;
    case EAI_FAMILY:
      return wsa::kEAFNOSUPPORT;
    case EAI_SYSTEM:
      return ErrnoToWinsock(errno);
    default:  // EAI_FAIL, EAI_MEMORY and the rest
      return wsa::kNO_RECOVERY;
  }
}

Result<void> EnsureSocketLayer() {
  if (g_fail_startup.load()) return SocketFailure(wsa::kSYSNOTREADY);
  return {};
}
void ReleaseSocketLayer() {}
void SetSocketStartupFailureForTesting(bool fail) {
  g_fail_startup.store(fail);
}

Result<UniqueSocket> OpenSocket(int type, Family family) {
  const int native_type = type == kSockStream  ? SOCK_STREAM
                          : type == kSockDgram ? SOCK_DGRAM
                                               : type;
  const int fd = socket(NativeFamily(family), native_type | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastFailure();
  return UniqueSocket(static_cast<SocketHandle>(fd));
}

Result<void> Bind(SocketHandle s, Endpoint local) {
  SockAddr sa = ToSockaddr(local);
  return Check(bind(Fd(s), sa.get(), sa.length));
}

Result<void> SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms) {
  timeval tv{};
  if (ms > 0) tv = {ms / 1000, (ms % 1000) * 1000};
  return Check(setsockopt(Fd(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv));
}

Result<void> ConnectWithin(SocketHandle s, Endpoint peer, int ms) {
  const int flags = fcntl(Fd(s), F_GETFL, 0);
  if (flags < 0 || fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) != 0) return LastFailure();
  SockAddr sa = ToSockaddr(peer);
  Result<void> connected = Check(connect(Fd(s), sa.get(), sa.length));
  if (!connected && errno == EINPROGRESS) {
    pollfd p{Fd(s), POLLOUT, 0};
    const int rc = Retried([&] { return poll(&p, 1, ms < 0 ? -1 : ms); });
    int err = 0;
    socklen_t len = sizeof err;
    if (rc == 0) {
      connected = SocketFailure(wsa::kETIMEDOUT);
    } else if (rc > 0 && getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) == 0) {
      connected = err == 0 ? Result<void>() : SocketFailure(ErrnoToWinsock(err));
    } else {
      connected = LastFailure();
    }
  }
  fcntl(Fd(s), F_SETFL, flags);
  return connected;
}

Result<std::size_t> SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  SockAddr sa = ToSockaddr(peer);
  return Count(sendto(Fd(s), data, length, MSG_NOSIGNAL, sa.get(), sa.length));
}

Result<std::size_t> Send(SocketHandle s, const void* data, std::size_t length) {
  return Count(Retried([&] { return send(Fd(s), data, length, MSG_NOSIGNAL); }));
}

Result<std::size_t> RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek,
                             Endpoint* from) {
  SockAddr sa;
  iovec iov{buffer, size};
  msghdr msg{};
  msg.msg_name = &sa.storage;
  msg.msg_namelen = sa.length;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  const ssize_t n = Retried([&] { return recvmsg(Fd(s), &msg, peek ? MSG_PEEK : 0); });
  if (n < 0) return Received(n);
  if (from) *from = FromSockaddr(sa.get());
  // Winsock fails a datagram larger than the buffer; with MSG_PEEK it stays queued.
  if (msg.msg_flags & MSG_TRUNC) return SocketFailure(wsa::kEMSGSIZE);
  return Count(n);
}

Result<std::size_t> Recv(SocketHandle s, void* buffer, std::size_t size) {
  return Received(Retried([&] { return recv(Fd(s), buffer, size, 0); }));
}

Result<void> WaitReadable(SocketHandle s, int ms) {
  pollfd p{Fd(s), POLLIN, 0};
  const int rc = Retried([&] { return poll(&p, 1, ms < 0 ? -1 : ms); });
  if (rc < 0) return LastFailure();
  if (rc == 0) return SocketFailure(wsa::kETIMEDOUT);
  return {};
}

Result<void> CloseSocket(SocketHandle s) {
  if (s == kInvalidSocket) return SocketFailure(wsa::kENOTSOCK);
  return Check(close(Fd(s)));
}

Result<void> PendingSocketError(SocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return LastFailure();
  if (err != 0) return SocketFailure(ErrnoToWinsock(err));
  return {};
}

Result<void> ReportUnreachable(SocketHandle s, Endpoint peer) {
  const int one = 1;
  return Check(peer.address.family == Family::kV6
                   ? setsockopt(Fd(s), IPPROTO_IPV6, IPV6_RECVERR, &one, sizeof one)
                   : setsockopt(Fd(s), IPPROTO_IP, IP_RECVERR, &one, sizeof one));
}

bool ReceiveReportsUnreachable() {
  return true;
}

Result<std::vector<IpAddress>> ResolveHost(const std::string& name, Family family) {
  return AddrInfo(name, family);
}

Result<std::string> ReverseResolve(const IpAddress& address) {
  return NameInfo(address);
}

const char* ResolverCallName(bool reverse, Family) {
  return reverse ? "getnameinfo" : "getaddrinfo";
}

Result<std::string> LocalHostName() {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return LastFailure();
  buffer[sizeof buffer - 1] = '\0';
  return std::string(buffer);
}

Result<SystemServer> SystemDnsServer() {
  const char* override_path = std::getenv("KESTRA_RESOLV_CONF");
  const char* path = override_path && *override_path ? override_path : "/etc/resolv.conf";
  std::ifstream in(path);
  std::string line, first_v6;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword, value;
    if (words >> keyword >> value && keyword == "nameserver") {
      in_addr probe{};
      if (inet_pton(AF_INET, value.c_str(), &probe) == 1) return SystemServer{value, path};
      if (first_v6.empty() && ParseIpv6(value)) first_v6 = value;
    }
  }
  // No IPv4 server: the first IPv6 one.
  if (first_v6.empty()) return Failure{Cause::kNotFound};
  return SystemServer{first_v6, path};
}

Result<void> CryptoRandom(void* buffer, std::size_t length) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    const ssize_t n = getrandom(p, length, 0);
    if (n < 0 && errno != EINTR) return Failure{Cause::kSystem};
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
    }
  }
  return {};
}

}  // namespace platform
