#include "lookup/lookup.h"

#include <new>
#include <utility>

#include "access/access_control.h"
#include "dns/mx_resolver.h"
#include "platform/idn.h"
#include "platform/net.h"
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

// The frame, then the lookup's own work. Below the COM binding this is the one place
// that catches what the work throws (memory ran out): the call then gives
// `on_failure`, and fails as one that broke down unless the lookup reports its
// failures in the result alone.
template <class T, class Work>
Outcome<T> CLookup::Run(const char* access_name, T on_failure, bool in_result_alone, Work work) {
  if (!EnterFrame(access_name)) return std::nullopt;
  try {
    return work();
  } catch (...) {
    if (!in_result_alone) Fail(texts::kGeneralFailure);
    return on_failure;
  }
}

Outcome<std::optional<std::int16_t>> CLookup::MXRecords() {
  return Run<std::optional<std::int16_t>>(hosting::kMxRecordsAccess, std::nullopt, false,
                                          [&] { return CountExchangers(); });
}

Outcome<std::optional<std::vector<dns::MxRecord>>> CLookup::GetMXRecord() {
  return Run<std::optional<std::vector<dns::MxRecord>>>(hosting::kMxRecordsAccess, std::nullopt,
                                                        false, [&] { return ListExchangers(); });
}

Outcome<std::string> CLookup::DNSLookup(const std::string& host_name) {
  return Run<std::string>(hosting::kLookupAccess, {}, false,
                          [&] { return ResolveHostName(host_name); });
}

Outcome<std::string> CLookup::ReverseDNSLookup(const std::string& ip) {
  return Run<std::string>(hosting::kLookupAccess, {}, false, [&] { return ResolveAddress(ip); });
}

Outcome<std::int16_t> CLookup::VerifySMTP(const std::string& smtp_server) {
  // A failed probe shows in the result alone; the error state stays as the frame left it.
  return Run<std::int16_t>(hosting::kVerifySmtpAccess, 0, true,
                           [&] { return ProbeSmtp(smtp_server); });
}

std::optional<std::string> CLookup::AsciiName(const std::string& name) {
  auto ascii = platform::AsciiName(name);
  if (ascii) return std::move(*ascii);
  // The frame reports the call as one that broke down.
  if (ascii.failure().cause == platform::Cause::kNoMemory) throw std::bad_alloc();
  return std::nullopt;
}

std::optional<CLookup::MxNames> CLookup::AsciiMxNames() {
  auto domain = AsciiName(m_strDomainName);
  auto server = AsciiName(m_strDNSServer);
  // An empty domain is caught before anything goes on the network.
  if (m_strDomainName.empty()) {
    Fail(texts::kNoDomain);
    return std::nullopt;
  }
  if (!domain || !server) {
    Fail(texts::kBadDomainOrServer);
    return std::nullopt;
  }
  return MxNames{std::move(*domain), std::move(*server)};
}

std::optional<std::vector<dns::MxRecord>> CLookup::QueryExchangers(const MxNames& names) {
  (void)platform::EnsureSocketLayer();
  auto exchangers = dns::ResolveMx(names.domain, names.server, m_nTimeout);
  if (!exchangers || exchangers->empty()) {
    Fail(texts::kBadDomainOrServer);
    return std::nullopt;
  }
  return std::move(*exchangers);
}

std::optional<std::int16_t> CLookup::CountExchangers() {
  const auto names = AsciiMxNames();
  if (!names) return std::nullopt;
  const auto exchangers = QueryExchangers(*names);
  if (!exchangers) return std::nullopt;
  // A null MX ("0 .") counts as one; Count reports 16 bits.
  return static_cast<std::int16_t>(exchangers->size());
}

std::optional<std::vector<dns::MxRecord>> CLookup::ListExchangers() {
  const auto names = AsciiMxNames();
  if (!names || !QueryExchangers(*names)) return std::nullopt;
  // The first query only proves that the domain and the server work; the list comes
  // from a second query. Whatever that brings is a success: a failed query, or one
  // whose first exchange is empty (a null MX), gives an empty list.
  auto list = dns::ResolveMx(names->domain, names->server, m_nTimeout);
  if (!list || list->empty() || list->front().exchange.empty()) {
    return std::vector<dns::MxRecord>();
  }
  SortMxList(&*list);
  return std::move(*list);
}

std::int16_t CLookup::ProbeSmtp(const std::string& smtp_server) {
  const auto server = AsciiName(smtp_server);
  (void)platform::EnsureSocketLayer();
  if (smtp_server.empty() || !server) return 0;
  return smtp::Probe().Run(*server) ? 1 : 0;
}

}  // namespace lookup
