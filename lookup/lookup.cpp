#include "lookup/lookup.h"

#include <utility>

#include "access/access_control.h"
#include "dns/mx_resolver.h"
#include "platform/idn.h"
#include "platform/net.h"
#include "smtp/probe.h"
#include "support/texts.h"

namespace lookup {

namespace texts = support::texts;
using support::step::NameRole;
using support::step::Purpose;

CLookup::CLookup() = default;
CLookup::~CLookup() = default;

void CLookup::Fail(const char* reason) {
  m_nIsError = 1;
  m_strErrorReason = reason;
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
    const hosting::ConfigFiles files = control.LocateConfigFiles(m_pAccount);
    hosting::Decision decision = control.Check(texts::kComponent, access_name, files, m_pAccount);
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
// that catches what the work throws (memory ran out): the call then gives T{}, and
// fails as one that broke down unless its failures show in its result alone.
template <class T, class Work>
Outcome<T> CLookup::Run(const char* access_name, FailureShows shows, Work work) {
  if (!EnterFrame(access_name)) return std::nullopt;
  try {
    return work();
  } catch (...) {
    if (shows == FailureShows::kInErrorState) Fail(texts::kGeneralFailure);
    return T{};
  }
}

Outcome<std::int16_t> CLookup::MXRecords() {
  // A null MX ("0 .") counts as one; Count reports 16 bits.
  return Run<std::int16_t>(hosting::kMxRecordsAccess, FailureShows::kInErrorState, [&] {
    return static_cast<std::int16_t>(AnswerExchangers(Purpose::kCount).size());
  });
}

Outcome<std::vector<dns::MxRecord>> CLookup::MxAnswer() {
  return Run<std::vector<dns::MxRecord>>(hosting::kMxRecordsAccess, FailureShows::kInErrorState,
                                         [&] { return AnswerExchangers(Purpose::kResolve); });
}

Outcome<std::vector<dns::MxRecord>> CLookup::GetMXRecord() {
  return Run<std::vector<dns::MxRecord>>(hosting::kMxRecordsAccess, FailureShows::kInErrorState,
                                         [&] { return ListExchangers(); });
}

Outcome<std::string> CLookup::DNSLookup(const std::string& host_name) {
  return Run<std::string>(hosting::kLookupAccess, FailureShows::kInErrorState,
                          [&] { return ResolveHostName(host_name); });
}

Outcome<std::string> CLookup::ReverseDNSLookup(const std::string& ip) {
  return Run<std::string>(hosting::kLookupAccess, FailureShows::kInErrorState,
                          [&] { return ResolveAddress(ip); });
}

Outcome<std::int16_t> CLookup::VerifySMTP(const std::string& smtp_server) {
  return Run<std::int16_t>(hosting::kVerifySmtpAccess, FailureShows::kInResultAlone,
                           [&] { return ProbeSmtp(smtp_server); });
}

bool CLookup::OutOfMemory(const platform::Result<std::string>& ascii) {
  return !ascii && ascii.failure().cause == platform::Cause::kNoMemory;
}

platform::Result<CLookup::MxNames> CLookup::AsciiMxNames() {
  auto domain = platform::AsciiName(m_strDomainName);
  auto server = platform::AsciiName(m_strDNSServer);
  if (OutOfMemory(domain) || OutOfMemory(server)) {
    Fail(texts::kGeneralFailure);
    return platform::Failure{platform::Cause::kNoMemory};
  }
  // An empty domain is caught before anything goes on the network.
  if (m_strDomainName.empty()) {
    Fail(texts::kNoDomain);
    return platform::Failure{platform::Cause::kInvalidInput};
  }
  if (!domain || !server) {
    Fail(texts::kBadDomainOrServer);
    return domain ? server.failure() : domain.failure();
  }
  NoteName(NameRole::kDomain, m_strDomainName, *domain);
  return MxNames{std::move(*domain), std::move(*server)};
}

void CLookup::NoteName(NameRole role, const std::string& name, const std::string& ascii) {
  support::Note(m_pAccount, [&] { return support::step::Name{role, name, ascii}; });
}

void CLookup::NotePurpose(Purpose purpose) {
  support::Note(m_pAccount, [&] { return support::step::DnsPurpose{purpose}; });
}

std::vector<dns::MxRecord> CLookup::QueryExchangers(const MxNames& names, Purpose purpose) {
  (void)platform::EnsureSocketLayer();
  NotePurpose(purpose);
  auto exchangers = dns::ResolveMx(names.domain, names.server, m_nTimeout, m_pAccount);
  if (!exchangers || exchangers->empty()) {
    Fail(texts::kBadDomainOrServer);
    return {};
  }
  return std::move(*exchangers);
}

std::vector<dns::MxRecord> CLookup::AnswerExchangers(Purpose purpose) {
  const auto names = AsciiMxNames();
  return names ? QueryExchangers(*names, purpose) : std::vector<dns::MxRecord>{};
}

std::vector<dns::MxRecord> CLookup::ListExchangers() {
  const auto names = AsciiMxNames();
  if (!names || QueryExchangers(*names, Purpose::kCheck).empty()) return {};
  // The first query only proves that the domain and the server work; the list comes
  // from a second query. Whatever that brings is a success: a failed query, or one
  // whose first exchange is empty (a null MX), gives an empty list.
  NotePurpose(Purpose::kList);
  auto list = dns::ResolveMx(names->domain, names->server, m_nTimeout, m_pAccount);
  if (!list || list->empty() || list->front().exchange.empty()) return {};
  SortMxList(&*list);
  return std::move(*list);
}

std::int16_t CLookup::ProbeSmtp(const std::string& smtp_server) {
  const auto server = platform::AsciiName(smtp_server);
  if (OutOfMemory(server)) return 0;
  (void)platform::EnsureSocketLayer();
  if (server) NoteName(NameRole::kSmtpHost, smtp_server, *server);
  if (!server) {
    // No ASCII form: no host can have the name.
    support::Note(m_pAccount, [&] {
      return support::step::SmtpVerdict{support::step::SmtpStage::kNoAddress,
                                        support::step::SmtpFault::kFailure, 0, server.failure()};
    });
    return 0;
  }
  return smtp::Probe().Run(*server, smtp::Probe::kSmtpPort, m_pAccount) ? 1 : 0;
}

}  // namespace lookup
