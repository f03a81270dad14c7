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
    for (const CMXServer& mx : servers) {
      m_exchanges.push_back(std::make_unique<std::string>(mx.GetHost()));
      char digits[8];
      auto [end, ec] = std::to_chars(digits, digits + sizeof digits, mx.GetPreference());
      (void)ec;  // five digits at most always fit
      m_preferences.push_back(std::make_unique<std::string>(digits, end));
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
template <typename List, typename Iterator>
const std::string* First(List& list, Iterator* cursor, bool* set) {
  if (list.empty()) return nullptr;
  *cursor = list.begin();
  *set = true;
  return cursor->operator*().get();
}

template <typename List, typename Iterator>
const std::string* Next(List& list, Iterator* cursor, bool set) {
  if (!set || *cursor == list.end()) return nullptr;
  ++*cursor;
  return *cursor == list.end() ? nullptr : cursor->operator*().get();
}
}  // namespace

const std::string* CResolveMX::GetFirstExchange() {
  return First(m_exchanges, &m_exchangeCursor, &m_exchangeCursorSet);
}
const std::string* CResolveMX::GetNextExchange() {
  return Next(m_exchanges, &m_exchangeCursor, m_exchangeCursorSet);
}
const std::string* CResolveMX::GetFirstPreference() {
  return First(m_preferences, &m_preferenceCursor, &m_preferenceCursorSet);
}
const std::string* CResolveMX::GetNextPreference() {
  return Next(m_preferences, &m_preferenceCursor, m_preferenceCursorSet);
}
