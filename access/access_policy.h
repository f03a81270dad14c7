// Hosting access control: whether the calling web site may use this component and the
// method under way, decided from the configuration (configuration.h) at every call of a
// lookup's frame (access_control.h). The namespace is not `access`, a POSIX function.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "access/configuration.h"
#include "support/account.h"

namespace hosting {

class CallerSource;

// The access names a site's section grants (besides All), each the name of a kind of
// lookup: MXRecords (the MXRecords and GetMXRecord methods), Lookup (DNSLookup and
// ReverseDNSLookup), VerifySMTP.
inline constexpr char kMxRecordsAccess[] = "MXRecords";
inline constexpr char kLookupAccess[] = "Lookup";
inline constexpr char kVerifySmtpAccess[] = "VerifySMTP";
inline constexpr const char* kAccessNames[] = {kMxRecordsAccess, kLookupAccess, kVerifySmtpAccess};

// Why the decision came out as it did, in the order the checks run.
enum class Reason {
  kNoConfiguration,   // allow: the configuration files are not found
  kNotInstalled,      // allow: the component is not in Installed
  kSwitchUnreadable,  // refuse with the registry's text: EnableGatehouse cannot be read
  kSwitchedOff,       // allow
  kNotApplied,        // allow: the component is not in Applied
  kNoCaller,          // refuse: no calling request is found
  kNoSite,            // refuse: no [Path] line covers the caller
  kComponentRefused,  // refuse: the component is not in the site's [Security] entry
  kGranted,           // allow: the site's section grants All or the method
  kMethodRefused,     // refuse: the method is not granted
};

// The step number `kestra access --explain` shows for a reason.
inline int StepOf(Reason reason) {
  constexpr int kSteps[] = {1, 2, 3, 3, 4, 5, 6, 8, 9, 10};
  return kSteps[static_cast<int>(reason)];
}

struct Decision {
  bool allowed = false;
  Reason reason = Reason::kNoConfiguration;
  std::string refusal;  // the text ErrorReason takes, on refusal
  // The caller's path, or why no calling request is found; nothing when the decision
  // came before the caller was asked.
  std::optional<platform::Result<std::string>> caller_path;
};

// Whether `method` (an access name) of `component` may run for the page `caller` names
// (null: the platform's request). An account hears every value read, in reading order.
Decision Decide(const std::string& component, const std::string& method, const ConfigFiles& files,
                CallerSource* caller, support::Account* account = nullptr);

// Tells an account where the configuration files are, or why they are not found.
void NoteConfigFiles(support::Account* account, const ConfigFiles& files);
// Tells an account how a decision came out.
void NoteDecision(support::Account* account, const Decision& decision);

}  // namespace hosting
