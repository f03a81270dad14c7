#include "lookup/lookup.h"

#include <utility>
#include <vector>

#include "access/access_control.h"
#include "collections/mx_list.h"
#include "dns/mx_resolver.h"
#include "platform/net.h"
#include "smtp/probe.h"

namespace lookup {

namespace {
// What a page reads when the call itself broke down (memory ran out, say).
constexpr char kGeneralFailure[] = "An error occured. Please try again";

// The list's own query, made after the first one succeeded: the same resolver, domain,
// server and timeout. A failed resolution, or one whose first exchange is empty (a null
// MX, say), leaves the list empty; the count is narrowed to the 16 bits Count reports.
// Reports nothing and never throws: when memory runs out the list stays empty.
void FillList(collections::CMXList* list, const std::string& domain, const std::string& server,
              std::int32_t timeout_seconds) {
  list->Clear();
  try {
    dns::MxResolver resolver;
    if (!resolver.Resolve(domain, server, timeout_seconds)) return;
    const std::string* first = resolver.GetFirstExchange();
    const auto count = static_cast<std::int16_t>(resolver.GetCount());
    if (!first || first->empty() || count <= 0) return;
    std::vector<collections::CMXEntry> records;
    records.reserve(static_cast<std::size_t>(count));
    const std::string* mx = first;
    const std::string* preference = resolver.GetFirstPreference();
    for (std::int16_t i = 0; i < count; ++i) {
      records.push_back(collections::CMXEntry{mx ? *mx : std::string(),
                                              preference ? *preference : std::string()});
      mx = resolver.GetNextExchange();
      preference = resolver.GetNextPreference();
    }
    list->Assign(std::move(records));
  } catch (...) {
    list->Clear();
  }
}

}  // namespace

CLookup::CLookup() = default;
CLookup::~CLookup() = default;

void CLookup::PutDNSServer(std::string text) {
  m_strDNSServer = std::move(text);
}
void CLookup::PutDomainName(std::string text) {
  m_strDomainName = std::move(text);
}
void CLookup::PutTimeout(std::int32_t seconds) {
  m_nTimeout = seconds;
}

void CLookup::Fail(const char* reason) {
  m_nIsError = 1;
  if (reason) m_strErrorReason = reason;
}

bool CLookup::EnterFrame(const char* access_name) {
  static hosting::ConfiguredAccess platform_access;
  m_nIsError = 1;
  try {
    m_strMethod = access_name;
    hosting::AccessControl& control = m_pAccessControl ? *m_pAccessControl : platform_access;
    // Both steps run at every call: nothing of the decision is kept between calls.
    const hosting::ConfigFiles files = control.LocateConfigFiles();
    m_strAdminIni = files.admin_ini;
    m_strWebSiteIni = files.website_ini;
    m_bNoConfig = files.found ? 0 : 1;
    hosting::Decision decision = control.Check(m_strComponent, m_strMethod, files);
    if (decision.caller_path) m_strCallerPath = std::move(*decision.caller_path);
    if (!decision.allowed) {
      m_strErrorReason = std::move(decision.refusal);
      return false;
    }
  } catch (...) {
    // The access control could not decide: the call is refused.
    Fail(kGeneralFailure);
    return false;
  }
  m_nIsError = 0;
  return true;
}

bool CLookup::MXRecords(std::int16_t* count) {
  if (!EnterFrame("MXRecords")) return false;
  bool written = false;
  MXRecordsWork(count, &written);
  return true;
}

bool CLookup::GetMXRecord(collections::CMXList* list, bool* has_list) {
  if (!EnterFrame("MXRecords")) return false;
  GetMXRecordWork(list, has_list);
  return true;
}

bool CLookup::DNSLookup(const std::string& host_name, std::string* address) {
  if (!EnterFrame("Lookup")) return false;
  DNSLookupWork(host_name, address);
  return true;
}

bool CLookup::ReverseDNSLookup(const std::string& ip, std::string* host_name) {
  if (!EnterFrame("Lookup")) return false;
  ReverseDNSLookupWork(ip, host_name);
  return true;
}

bool CLookup::VerifySMTP(const std::string& smtp_server, std::int16_t* result) {
  if (!EnterFrame("VerifySMTP")) return false;
  VerifySMTPWork(smtp_server, result);
  return true;
}

void CLookup::MXRecordsWork(std::int16_t* count, bool* written) {
  *written = false;
  try {
    dns::MxResolver resolver;
    (void)platform::EnsureSocketLayer();
    // An empty domain is caught before anything goes on the network.
    if (m_strDomainName.empty()) {
      Fail("Please specify domain name");
      return;
    }
    if (!resolver.Resolve(m_strDomainName, m_strDNSServer, m_nTimeout)) {
      Fail("Invalid domain name or DNS server");
      return;
    }
    *count = static_cast<std::int16_t>(resolver.GetCount());
    *written = true;
  } catch (...) {
    Fail(kGeneralFailure);
  }
}

void CLookup::GetMXRecordWork(collections::CMXList* list, bool* has_list) {
  *has_list = false;
  try {
    dns::MxResolver resolver;
    (void)platform::EnsureSocketLayer();
    if (!list) {
      // The binding could not make the list object.
      Fail(kGeneralFailure);
      return;
    }
    if (m_strDomainName.empty()) {
      Fail("Please specify domain name");
      return;
    }
    if (!resolver.Resolve(m_strDomainName, m_strDNSServer, m_nTimeout)) {
      Fail("Invalid domain name or DNS server");
      return;
    }
    // The first resolution only proves that the domain and the server work; the list
    // comes from a second query with a resolver of its own. Whatever that query brings,
    // even nothing, is a success.
    FillList(list, m_strDomainName, m_strDNSServer, m_nTimeout);
    m_nIsError = 0;
    *has_list = true;
  } catch (...) {
    Fail(kGeneralFailure);
  }
}

void CLookup::VerifySMTPWork(const std::string& smtp_server, std::int16_t* result) {
  // A failed probe shows in the result alone; the error state stays as the frame left it.
  *result = 0;
  try {
    (void)platform::EnsureSocketLayer();
    if (smtp_server.empty()) return;
    *result = smtp::Probe().Run(smtp_server) ? 1 : 0;
  } catch (...) {
    *result = 0;
  }
}

}  // namespace lookup
