// The Lookup object's logic, independent of the automation binding: its inputs, its
// error state, the frame every lookup runs in, and the five lookups. The COM class in
// module/ maps ILookup onto this; the kestra tool and the tests call it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "access/access_policy.h"
#include "lookup/mx_list.h"
#include "platform/result.h"
#include "support/account.h"

namespace hosting {
class AccessControl;  // access/access_control.h: what the frame asks before each call
}

namespace lookup {

// What a lookup hands its binding: nothing when the access control refused the call
// (the binding then leaves its result unwritten and ErrorReason holds the refusal),
// else the lookup's result. A lookup that fails otherwise says so in the error state
// (IsError 1), except VerifySMTP, whose 0 says it.
// The members that run a lookup, each with the access name its call is checked under.
struct MemberAccess {
  const char* member;
  const char* access_name;
};
inline constexpr MemberAccess kMemberAccess[] = {
    {"MXRecords", hosting::kMxRecordsAccess},   {"GetMXRecord", hosting::kMxRecordsAccess},
    {"DNSLookup", hosting::kLookupAccess},      {"ReverseDNSLookup", hosting::kLookupAccess},
    {"VerifySMTP", hosting::kVerifySmtpAccess},
};

template <class T>
using Outcome = std::optional<T>;

inline constexpr std::int32_t kDefaultTimeoutSeconds = 60;  // Timeout until a caller sets it

class CLookup {
 public:
  CLookup();
  ~CLookup();
  CLookup(const CLookup&) = delete;
  CLookup& operator=(const CLookup&) = delete;

  // Properties. They only store or return fields: no access check, and the error state
  // stays as it is. Texts are stored as given (no trimming or validation); a binding
  // passes a null argument as the empty text. The names (DNSServer, DomainName, and the
  // HostName and SMTPServer arguments below) are UTF-8, and each lookup sends their
  // ASCII form (platform::AsciiName; all-ASCII text goes as it is); every other text,
  // the results and ErrorReason included, is narrow text in the ANSI code page.
  void PutDNSServer(std::string text) { m_strDNSServer = std::move(text); }
  void PutDomainName(std::string text) { m_strDomainName = std::move(text); }
  void PutTimeout(std::int32_t seconds) { m_nTimeout = seconds; }
  std::int16_t GetIsError() const { return m_nIsError; }
  const std::string& GetErrorReason() const { return m_strErrorReason; }

  // The lookups, each inside the frame; each gives 0, "" or an empty list when it
  // fails. A failed MXRecords leaves the binding's result as it was, and a failed
  // GetMXRecord gives the page a null object reference; else GetMXRecord gives the
  // exchangers of a second query of its own, sorted (see SortMxList). A name that has
  // no ASCII form fails as an unknown one does.
  Outcome<std::int16_t> MXRecords();
  Outcome<std::vector<dns::MxRecord>> GetMXRecord();
  Outcome<std::string> DNSLookup(const std::string& host_name);
  Outcome<std::string> ReverseDNSLookup(const std::string& ip);
  Outcome<std::int16_t> VerifySMTP(const std::string& smtp_server);
  // For the kestra tool: MXRecords's one query, its exchangers in answer order.
  Outcome<std::vector<dns::MxRecord>> MxAnswer();

  // Only the frame, for the kestra tool's `access` command: whether a call under this
  // access name would be allowed (false: ErrorReason holds the refusal).
  bool CheckAccess(const std::string& access_name) { return EnterFrame(access_name); }

  // For a binding that cannot deliver an allowed lookup's result (its list object could
  // not be made): the call fails as one that broke down.
  void FailAsGeneralFailure();

  // Tests and the kestra tool: the access control the frame asks (null: the hosting
  // configuration with the platform's request, the web server's on Windows). It must
  // outlive the calls made while it is set.
  void SetAccessControl(hosting::AccessControl* control) { m_pAccessControl = control; }
  // The kestra tool: an account of what the lookups do (support/account.h), kept until
  // it is set to null. A page's object keeps none.
  void SetAccount(support::Account* account) { m_pAccount = account; }

 private:
  // Sets the error flag, has the access control locate the configuration and decide.
  // False when the call is refused (the refusal text is then the ErrorReason); on true
  // the error flag is back at 0 and the lookup's own work follows.
  bool EnterFrame(const std::string& access_name);
  // Where a lookup's failure shows: in the error state, or in its result alone (the
  // error state as the frame left it).
  enum class FailureShows { kInErrorState, kInResultAlone };
  template <class T, class Work>
  Outcome<T> Run(const char* access_name, FailureShows shows, Work work);
  // Records a failure the lookup reports through the error state.
  void Fail(const char* reason);

  // The domain and server of an MX lookup in their ASCII form, converted once per call;
  // nothing (the failure in the error state) when the domain is empty or either name
  // has no ASCII form.
  struct MxNames {
    std::string domain;
    std::string server;
  };
  platform::Result<MxNames> AsciiMxNames();
  // Whether memory ran out converting a name to its ASCII form: the call breaks down.
  static bool OutOfMemory(const platform::Result<std::string>& ascii);
  // The first MX query of both MX lookups: its exchangers, none when it failed (the
  // failure in the error state).
  std::vector<dns::MxRecord> QueryExchangers(const MxNames& names, support::step::Purpose purpose);
  // Both in one: the exchangers of one query for the object's domain and server.
  std::vector<dns::MxRecord> AnswerExchangers(support::step::Purpose purpose);
  // An account hears a name as given and as sent, and the purpose of the next query.
  void NoteName(support::step::NameRole role, const std::string& name, const std::string& ascii);
  void NotePurpose(support::step::Purpose purpose);
  std::vector<dns::MxRecord> ListExchangers();
  std::string ResolveHostName(const std::string& host_name);
  std::string ResolveAddress(const std::string& ip);
  std::int16_t ProbeSmtp(const std::string& smtp_server);

  std::int32_t m_nTimeout = kDefaultTimeoutSeconds;
  std::string m_strErrorReason;
  std::int16_t m_nIsError = 0;
  std::string m_strDNSServer;
  std::string m_strDomainName;

  hosting::AccessControl* m_pAccessControl = nullptr;
  support::Account* m_pAccount = nullptr;
};

}  // namespace lookup
