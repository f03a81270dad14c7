// The socket and resolver layer: BSD sockets on POSIX, Winsock on Windows. Failures
// carry Winsock codes on both platforms (POSIX errno values are mapped), because the
// system's messages are keyed to those codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace platform {

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// Socket types as the socket library numbers them.
inline constexpr int kSockStream = 1;
inline constexpr int kSockDgram = 2;

// Winsock error codes the system refers to.
namespace wsa {
inline constexpr int kEINTR = 10004;
inline constexpr int kEACCES = 10013;
inline constexpr int kEFAULT = 10014;
inline constexpr int kEINVAL = 10022;
inline constexpr int kEWOULDBLOCK = 10035;
inline constexpr int kEINPROGRESS = 10036;
inline constexpr int kENOTSOCK = 10038;
inline constexpr int kEMSGSIZE = 10040;
inline constexpr int kEAFNOSUPPORT = 10047;
inline constexpr int kEADDRINUSE = 10048;
inline constexpr int kEADDRNOTAVAIL = 10049;
inline constexpr int kENETDOWN = 10050;
inline constexpr int kENETUNREACH = 10051;
inline constexpr int kECONNRESET = 10054;
inline constexpr int kENOTCONN = 10057;
inline constexpr int kETIMEDOUT = 10060;
inline constexpr int kECONNREFUSED = 10061;
inline constexpr int kEHOSTUNREACH = 10065;
inline constexpr int kSYSNOTREADY = 10091;
inline constexpr int kNOTINITIALISED = 10093;
inline constexpr int kHOST_NOT_FOUND = 11001;
inline constexpr int kTRY_AGAIN = 11002;
inline constexpr int kNO_RECOVERY = 11003;
inline constexpr int kNO_DATA = 11004;
}  // namespace wsa

enum class Family { kV4, kV6 };

// An IPv4 or IPv6 address. IPv4 keeps its four bytes, in network order, at the front of
// `bytes`; `scope` is an IPv6 zone (the interface of a link-local address), else 0.
struct IpAddress {
  Family family = Family::kV4;
  std::array<std::uint8_t, 16> bytes{};
  std::uint32_t scope = 0;

  static IpAddress V4(std::uint32_t network_order);
  // The IPv4 address in network order (0 for an IPv6 one).
  std::uint32_t V4Value() const;
  // 0.0.0.0, ::, or the all-ones IPv4 address of an invalid dotted text: nowhere to go.
  bool Unroutable() const;
  // Dotted IPv4, or IPv6 in its shortest form (RFC 5952), with "%zone" when scoped.
  std::string Text() const;
  bool operator==(const IpAddress&) const = default;
};

// An address and a port (host order).
struct Endpoint {
  IpAddress address;
  std::uint16_t port = 0;

  Endpoint() = default;
  Endpoint(IpAddress a, std::uint16_t p) : address(a), port(p) {}
  // An IPv4 endpoint from a network-order address.
  Endpoint(std::uint32_t v4, std::uint16_t p) : address(IpAddress::V4(v4)), port(p) {}
  // The wildcard address of a family, port 0: what a client binds to.
  static Endpoint Any(Family family);
  bool operator==(const Endpoint&) const = default;
};

// --- the socket library (WSAStartup on Windows; nothing to start on POSIX) ---
// The one start of the socket library in the process, made by the first call and kept
// until ReleaseSocketLayer (the module's unload). A start that fails is tried again by
// the next call.
Result<void> EnsureSocketLayer();
void ReleaseSocketLayer();
// Tests only: every later start fails (with WSASYSNOTREADY) while set.
void SetSocketStartupFailureForTesting(bool fail);

// --- errors ---
// A Winsock code as a failure, with the cause it means: the one reading of a socket or
// resolver code as a cause.
Failure SocketFailure(int code);

// --- sockets; a failing call returns SocketFailure of its Winsock code ---
Result<void> CloseSocket(SocketHandle s);

// Owns one socket handle and closes it when it goes. It moves and is never copied: two
// owners would close the handle twice, the second time perhaps someone else's.
class UniqueSocket {
 public:
  UniqueSocket() = default;
  explicit UniqueSocket(SocketHandle handle) : m_nHandle(handle) {}
  UniqueSocket(UniqueSocket&& other) noexcept
      : m_nHandle(std::exchange(other.m_nHandle, kInvalidSocket)) {}
  UniqueSocket& operator=(UniqueSocket&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_nHandle, kInvalidSocket));
    return *this;
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  ~UniqueSocket() { Reset(); }

  SocketHandle Get() const { return m_nHandle; }
  // Closes the handle held (its outcome unread) and holds `handle` instead.
  void Reset(SocketHandle handle = kInvalidSocket) {
    if (m_nHandle != kInvalidSocket) (void)CloseSocket(m_nHandle);
    m_nHandle = handle;
  }

 private:
  SocketHandle m_nHandle = kInvalidSocket;
};

Result<UniqueSocket> OpenSocket(int type, Family family = Family::kV4);  // protocol 0
Result<void> Bind(SocketHandle s, Endpoint local);
Result<void> SetReceiveTimeoutMs(SocketHandle s, std::int32_t ms);  // SO_RCVTIMEO, 0 = none
// Connects within ms milliseconds (ms < 0: no bound); the socket is blocking again
// afterwards. Times out with kETIMEDOUT.
Result<void> ConnectWithin(SocketHandle s, Endpoint peer, int ms);
// The count of bytes sent or received.
Result<std::size_t> SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer);
Result<std::size_t> Send(SocketHandle s, const void* data, std::size_t length);
// With peek, a datagram larger than the buffer fails with kEMSGSIZE and stays queued
// (as Winsock does). A receive time-out fails with kETIMEDOUT on both platforms.
Result<std::size_t> RecvFrom(SocketHandle s, void* buffer, std::size_t size, bool peek,
                             Endpoint* from);
Result<std::size_t> Recv(SocketHandle s, void* buffer, std::size_t size);
// Waits until the socket is readable (ms < 0: for ever); a wait that runs out fails
// with kETIMEDOUT.
Result<void> WaitReadable(SocketHandle s, int ms);
// Fails with the socket's pending error (SO_ERROR), if it has one; reading it clears it.
// Wine leaves an unreachable port of a connected UDP socket only here, while Linux and
// Windows also report it on the next receive.
Result<void> PendingSocketError(SocketHandle s);
// Has the platform report an unreachable peer (ICMP port unreachable) of a datagram
// socket that sends to `peer`. POSIX sets IP_RECVERR (IPV6_RECVERR), after which the next receive
// fails with kECONNREFUSED. Windows connects the socket to the peer: Windows itself
// reports it on unconnected sockets too, but Wine only for connected ones, and then
// only in PendingSocketError.
Result<void> ReportUnreachable(SocketHandle s, Endpoint peer);
// True where that report comes from the next receive itself (POSIX); false where a
// waiting receiver must look at PendingSocketError now and then (Windows builds).
bool ReceiveReportsUnreachable();

// --- addresses and names ---
// inet_addr: dotted text to a network-order address; INADDR_NONE (all ones) if invalid.
std::uint32_t InetAddr(const std::string& text);
// The platform's own inet_addr, which InetAddr calls for every text that is not a plain
// a.b.c.d (platform/common/net_common.cpp).
std::uint32_t NativeInetAddr(const std::string& text);
// An IPv6 address text ("::1", "2001:db8::53", "[::1]", "fe80::1%eth0"), or nothing for
// any other text (IPv4 texts included).
std::optional<IpAddress> ParseIpv6(std::string_view text);
// Host name to its addresses of one family, never none, in the platform's order (IPv4:
// gethostbyname on Windows, getaddrinfo on POSIX; IPv6: getaddrinfo). Fails with the
// Winsock code (11001 unknown name, 11002 try again, 11003 unrecoverable, 11004 no data).
Result<std::vector<IpAddress>> ResolveHost(const std::string& name, Family family);
// Address to the host's official name (IPv4: gethostbyaddr on Windows; otherwise
// getnameinfo with NI_NAMEREQD); fails with the Winsock code.
Result<std::string> ReverseResolve(const IpAddress& address);
// The name of the system call ResolveHost (reverse: ReverseResolve) makes for a family.
const char* ResolverCallName(bool reverse, Family family);

// How a text names an address: one kind for each argument that takes one. Each kind takes
// an IPv6 text (brackets optional) as that address; any other text is
enum class AddressText {
  kNumeric,        // inet_addr's reading, all ones if none; never fails (ReverseDNSLookup)
  kNumericOrName,  // with a leading digit kNumeric, else a name's first IPv4 address (DNS server)
  kName,           // a name's first IPv4 address, else its first IPv6 one (SMTP server)
};
// The addresses of a text of that kind, the one to use first (a name may have several);
// a name that does not resolve fails as its IPv4 resolution did.
Result<std::vector<IpAddress>> AddressesOf(const std::string& text, AddressText kind);

// This machine's host name (gethostname).
Result<std::string> LocalHostName();

// --- machine configuration ---
// The first DNS server of the machine's network configuration: its first IPv4 server
// (GetNetworkParams on Windows, the first IPv4 nameserver line of resolv.conf on POSIX;
// KESTRA_RESOLV_CONF names another file for tests), or, when it has none, its first
// IPv6 one (GetAdaptersAddresses; resolv.conf). kNotFound when it names none.
struct SystemServer {
  std::string address;  // as text
  // Where it came from: the call, or the file read (a literal, or the environment's
  // text), so that a page's lookup, which never shows it, builds nothing for it.
  const char* source;
};
Result<SystemServer> SystemDnsServer();

// Fills the buffer from the platform's cryptographic random source.
Result<void> CryptoRandom(void* buffer, std::size_t length);

}  // namespace platform
