#include "lookup/lookup.h"

#include <utility>

#include "access/access_control.h"
#include "dns/mx_resolver.h"
#include "lookup/socket_layer.h"
#include "smtp/probe.h"
#include "support/texts.h"

namespace lookup {

namespace texts = support::texts;

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

Outcome<std::optional<std::vector<dns::MxRecord>>> CLookup::GetMXRecord() {
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
    const auto exchangers = dns::ResolveMx(m_strDomainName, m_strDNSServer, m_nTimeout);
    if (!exchangers || exchangers->empty()) {
      Fail(texts::kBadDomainOrServer);
      return std::nullopt;
    }
    // A null MX ("0 .") counts as one; Count reports 16 bits.
    return static_cast<std::int16_t>(exchangers->size());
  } catch (...) {
    Fail(texts::kGeneralFailure);
    return std::nullopt;
  }
}

std::optional<std::vector<dns::MxRecord>> CLookup::ListExchangers() {
  try {
    EnsureSocketLayer();
    if (m_strDomainName.empty()) {
      Fail(texts::kNoDomain);
      return std::nullopt;
    }
    const auto first = dns::ResolveMx(m_strDomainName, m_strDNSServer, m_nTimeout);
    if (!first || first->empty()) {
      Fail(texts::kBadDomainOrServer);
      return std::nullopt;
    }
    // The first query only proves that the domain and the server work; the list comes
    // from a second query. Whatever that brings is a success: a failed query, or one
    // whose first exchange is empty (a null MX), gives an empty list.
    auto list = dns::ResolveMx(m_strDomainName, m_strDNSServer, m_nTimeout);
    if (!list || list->empty() || list->front().exchange.empty()) {
      return std::vector<dns::MxRecord>();
    }
    SortMxList(&*list);
    return std::move(*list);
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
