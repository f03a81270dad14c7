// The parts of platform/net.h that are the same on every platform.
#include <cstdio>
#include <cstring>

#include "platform/net.h"

namespace platform {
namespace {

// The address of a text in the plain form a.b.c.d (four decimal parts of 0 to 255, no
// leading zeros, nothing else), in network order; false for any other text. For such a
// text this is what inet_addr gives, without its general parser: the resolver reads its
// server text on every query. Texts in the other forms inet_addr takes (octal,
// hexadecimal, fewer parts) are left to it.
bool PlainDottedQuad(const std::string& text, std::uint32_t* address) {
  unsigned char bytes[4];
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    const std::size_t start = i;
    unsigned value = 0;
    while (i < text.size() && i - start < 3 && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
    }
    const std::size_t digits = i - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
    bytes[part] = static_cast<unsigned char>(value);
  }
  if (i != text.size()) return false;
  std::memcpy(address, bytes, sizeof bytes);
  return true;
}

}  // namespace

IpAddress IpAddress::V4(std::uint32_t network_order) {
  IpAddress a;
  std::memcpy(a.bytes.data(), &network_order, 4);
  return a;
}

std::uint32_t IpAddress::V4Value() const {
  std::uint32_t v = 0;
  if (family == Family::kV4) std::memcpy(&v, bytes.data(), 4);
  return v;
}

bool IpAddress::Unroutable() const {
  if (family == Family::kV4) return V4Value() == 0 || V4Value() == 0xFFFFFFFFu;
  return *this == IpAddress{Family::kV6, {}, 0};
}

std::string IpAddress::Text() const {
  char text[64];
  if (family == Family::kV4) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
  }
  // The longest run of two or more zero groups becomes "::" (the first such run on a tie).
  unsigned groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = (bytes[2 * i] << 8) | bytes[2 * i + 1];
  int best = -1, best_length = 1;
  for (int i = 0; i < 8;) {  // each pass moves past one run, or one group
    int j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > best_length) best = i, best_length = j - i;
    i = j > i ? j : i + 1;
  }
  std::string out;
  for (int i = 0; i < 8; ++i) {
    if (i == best) {
      out += "::";
      i += best_length - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::snprintf(text, sizeof text, "%x", groups[i]);
    out += text;
  }
  if (scope != 0) out += "%" + std::to_string(scope);
  return out;
}

Endpoint Endpoint::Any(Family family) {
  IpAddress any;
  any.family = family;
  return {any, 0};
}

std::uint32_t InetAddr(const std::string& text) {
  std::uint32_t address;
  return PlainDottedQuad(text, &address) ? address : NativeInetAddr(text);
}

Result<std::vector<IpAddress>> AddressesOf(const std::string& text, AddressText kind) {
  if (const std::optional<IpAddress> v6 = ParseIpv6(text)) return std::vector{*v6};
  const bool numeric =
      kind == AddressText::kNumeric ||
      (kind == AddressText::kNumericOrName && !text.empty() && text[0] >= '0' && text[0] <= '9');
  if (numeric) return std::vector{IpAddress::V4(InetAddr(text))};
  Result<std::vector<IpAddress>> v4 = ResolveHost(text, Family::kV4);
  if (v4 || kind != AddressText::kName) return v4;
  Result<std::vector<IpAddress>> v6 = ResolveHost(text, Family::kV6);
  return v6 ? v6 : v4;
}

Failure SocketFailure(int code) {
  switch (code) {
    case wsa::kETIMEDOUT:
      return {Cause::kTimeout, code};
    case wsa::kECONNREFUSED:
    case wsa::kECONNRESET:
    case wsa::kEHOSTUNREACH:
    case wsa::kENETUNREACH:
      return {Cause::kUnreachable, code};
    case wsa::kHOST_NOT_FOUND:
    case wsa::kNO_DATA:
      return {Cause::kNotFound, code};
    default:
      return {Cause::kSystem, code};
  }
}

}  // namespace platform
