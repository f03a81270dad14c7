#include "lookup/lookup.h"

#include <utility>

#include "access/access_control.h"
#include "dns/mx_resolver.h"
#include "lookup/socket_layer.h"
#include "smtp/probe.h"
#include "support/texts.h"

namespace lookup {

namespace texts = support::texts;

namespace {

// The list's own query, made after the first one succeeded: the same domain, server and
// timeout. A failed resolution, or one whose first exchange is empty (a null MX, say),
// leaves the list empty; the count is narrowed to the 16 bits Count reports.
std::vector<collections::CMXEntry> QueryList(const std::string& domain, const std::string& server,
                                             std::int32_t timeout_seconds) {
  dns::MxResolver resolver;
  if (!resolver.Resolve(domain, server, timeout_seconds)) return {};
  const std::string* first = resolver.GetFirstExchange();
  const auto count = static_cast<std::int16_t>(resolver.GetCount());
  if (!first || first->empty() || count <= 0) return {};
  std::vector<collections::CMXEntry> records;
  records.reserve(static_cast<std::size_t>(count));
  const std::string* mx = first;
  const std::string* preference = resolver.GetFirstPreference();
  for (std::int16_t i = 0; i < count; ++i) {
    records.push_back(
        collections::CMXEntry{mx ? *mx : std::string(), preference ? *preference : std::string()});
    mx = resolver.GetNextExchange();
    preference = resolver.GetNextPreference();
  }
  collections::CMXList list;
  list.Assign(std::move(records));
  return list.TakeEntries();
}

}  // namespace

CLookup::CLookup() = default;
CLookup::~CLookup() = default;

void CLookup::Fail(const char* reason) {
  m_nIsError = 1;
  if (reason) m_strErrorReason = reason;
}

void CLookup::FailAsGeneralFailure() {
  Fail(texts::kGeneralFailure);
}

bool CLookup::EnterFrame(const std::string& access_name) {
  static hosting::ConfiguredAccess platform_access;
  m_nIsError = 1;
  try {
    hosting::AccessControl& control = m_pAccessControl ? *m_pAccessControl : platform_access;
    // Both steps run at every call: nothing of the decision is kept between calls.
    const hosting::ConfigFiles files = control.LocateConfigFiles();
    hosting::Decision decision = control.Check(texts::kComponent, access_name, files);
    if (!decision.allowed) {
      m_strErrorReason = std::move(decision.refusal);
      return false;
    }
  } catch (...) {
    // The access control could not decide: the call is refused.
    Fail(texts::kGeneralFailure);
    return false;
  }
  m_nIsError = 0;
  return true;
}

Outcome<std::optional<std::int16_t>> CLookup::MXRecords() {
  if (!EnterFrame("MXRecords")) return std::nullopt;
  return CountExchangers();
}

Outcome<std::optional<std::vector<collections::CMXEntry>>> CLookup::GetMXRecord() {
  if (!EnterFrame("MXRecords")) return std::nullopt;
  return ListExchangers();
}

Outcome<std::string> CLookup::DNSLookup(const std::string& host_name) {
  if (!EnterFrame("Lookup")) return std::nullopt;
  return ResolveHostName(host_name);
}

Outcome<std::string> CLookup::ReverseDNSLookup(const std::string& ip) {
  if (!EnterFrame("Lookup")) return std::nullopt;
  return ResolveAddress(ip);
}

Outcome<std::int16_t> CLookup::VerifySMTP(const std::string& smtp_server) {
  if (!EnterFrame("VerifySMTP")) return std::nullopt;
  return ProbeSmtp(smtp_server);
}

std::optional<std::int16_t> CLookup::CountExchangers() {
  try {
    EnsureSocketLayer();
    // An empty domain is caught before anything goes on the network.
    if (m_strDomainName.empty()) {
      Fail(texts::kNoDomain);
      return std::nullopt;
    }
    dns::MxResolver resolver;
    if (!resolver.Resolve(m_strDomainName, m_strDNSServer, m_nTimeout)) {
      Fail(texts::kBadDomainOrServer);
      return std::nullopt;
    }
    return static_cast<std::int16_t>(resolver.GetCount());
  } catch (...) {
    Fail(texts::kGeneralFailure);
    return std::nullopt;
  }
}

std::optional<std::vector<collections::CMXEntry>> CLookup::ListExchangers() {
  try {
    EnsureSocketLayer();
    if (m_strDomainName.empty()) {
      Fail(texts::kNoDomain);
      return std::nullopt;
    }
    dns::MxResolver resolver;
    if (!resolver.Resolve(m_strDomainName, m_strDNSServer, m_nTimeout)) {
      Fail(texts::kBadDomainOrServer);
      return std::nullopt;
    }
    // The first resolution only proves that the domain and the server work; the list
    // comes from a second query. Whatever that query brings, even nothing, is a success.
    return QueryList(m_strDomainName, m_strDNSServer, m_nTimeout);
  } catch (...) {
    Fail(texts::kGeneralFailure);
    return std::nullopt;
  }
}

std::int16_t CLookup::ProbeSmtp(const std::string& smtp_server) {
  // A failed probe shows in the result alone; the error state stays as the frame left it.
  try {
    EnsureSocketLayer();
    if (smtp_server.empty()) return 0;
    return smtp::Probe().Run(smtp_server) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace lookup
