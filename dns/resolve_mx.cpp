// The resolver half of CResolveMX (the SMTP probe's half lives in smtp/).
#include "dns/resolve_mx.h"

#include <charconv>

#include "dns/dns_client.h"
#include "dns/system_dns_server.h"

CResolveMX::CResolveMX() = default;
CResolveMX::~CResolveMX() = default;

bool CResolveMX::Resolve(std::string domain, std::string server, std::int32_t timeout_seconds) {
  // Nothing may leave this call as an exception: allocation failures and the like
  // become a false result.
  try {
    if (server.empty()) server = GetSystemDNSServer();
    // With no server at all there is nobody to ask.
    if (server.empty()) return false;
    CDNSClient client(std::move(server));
    std::vector<CMXServer> servers = client.QueryMX(domain, timeout_seconds);
    if (servers.empty()) return false;
    for (CMXServer& mx : servers) {
      m_exchanges.push_back(mx.TakeExchange());
      char digits[8];
      auto end = std::to_chars(digits, digits + sizeof digits, mx.GetPreference()).ptr;
      m_preferences.emplace_back(digits, end);
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::int32_t CResolveMX::GetCount() const {
  return static_cast<std::int32_t>(m_exchanges.size());
}

namespace {
const std::string* First(const std::deque<std::string>& list, std::size_t* cursor) {
  if (list.empty()) return nullptr;
  *cursor = 0;
  return &list.front();
}

// Null before the first call of First, and from the end on.
const std::string* Next(const std::deque<std::string>& list, std::size_t* cursor,
                        std::size_t unset) {
  if (*cursor == unset || *cursor >= list.size()) return nullptr;
  ++*cursor;
  return *cursor < list.size() ? &list[*cursor] : nullptr;
}
}  // namespace

const std::string* CResolveMX::GetFirstExchange() {
  return First(m_exchanges, &m_exchangeCursor);
}
const std::string* CResolveMX::GetNextExchange() {
  return Next(m_exchanges, &m_exchangeCursor, kUnset);
}
const std::string* CResolveMX::GetFirstPreference() {
  return First(m_preferences, &m_preferenceCursor);
}
const std::string* CResolveMX::GetNextPreference() {
  return Next(m_preferences, &m_preferenceCursor, kUnset);
}
