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
    CDNSMessage answer;
    if (!client.Query(domain, timeout_seconds, &answer)) return false;
    const std::uint16_t count = answer.GetAnswerCount();
    std::vector<Exchanger>& chunk = m_nCount == 0 ? m_first : m_chunks.emplace_back();
    chunk.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
      char digits[8];
      auto end = std::to_chars(digits, digits + sizeof digits, answer.GetPreference(i)).ptr;
      chunk.push_back(Exchanger{answer.GetExchange(i), std::string(digits, end)});
      ++m_nCount;
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::int32_t CResolveMX::GetCount() const {
  return static_cast<std::int32_t>(m_nCount);
}

const CResolveMX::Exchanger* CResolveMX::At(std::size_t index) const {
  if (index < m_first.size()) return &m_first[index];
  index -= m_first.size();
  for (const std::vector<Exchanger>& chunk : m_chunks) {
    if (index < chunk.size()) return &chunk[index];
    index -= chunk.size();
  }
  return nullptr;
}

// The cursors: null when empty, before the first call of the matching First, and from
// the end on.
const std::string* CResolveMX::GetFirstExchange() {
  if (m_nCount == 0) return nullptr;
  m_exchangeCursor = 0;
  return &At(0)->exchange;
}

const std::string* CResolveMX::GetNextExchange() {
  if (m_exchangeCursor == kUnset || m_exchangeCursor >= m_nCount) return nullptr;
  const Exchanger* e = At(++m_exchangeCursor);
  return e ? &e->exchange : nullptr;
}

const std::string* CResolveMX::GetFirstPreference() {
  if (m_nCount == 0) return nullptr;
  m_preferenceCursor = 0;
  return &At(0)->preference;
}

const std::string* CResolveMX::GetNextPreference() {
  if (m_preferenceCursor == kUnset || m_preferenceCursor >= m_nCount) return nullptr;
  const Exchanger* e = At(++m_preferenceCursor);
  return e ? &e->preference : nullptr;
}
