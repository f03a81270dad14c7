// The access decision made before every lookup (see access_policy.h).
#include "access/access_policy.h"

#include "access/caller_source.h"
#include "platform/errors.h"
#include "platform/mbcs.h"

namespace hosting {
namespace {

// Every text a page reads from the access control, besides the system's own.
constexpr char kNotAllowed[] =
    "Please contact your hosting administrator, as you are not allowed to use ";
constexpr char kNoCallerBeforeComponent[] =
    "( Unable to proceed further as calling request object not found. Please free ";
constexpr char kNoCallerBeforeMethod[] = " component from Tarnwick Gatehouse to make ";
constexpr char kNoCallerEnd[] = " method successfull. )";
constexpr char kTypeMismatch[] = "The type you specified mismatch with registry value type";
constexpr char kNoSystemText[] = "The system cannot find error message for error number ";

Decision Allow(Reason reason) {
  return {true, reason, {}, std::nullopt};
}

Decision Refuse(Reason reason, std::string refusal) {
  return {false, reason, std::move(refusal), std::nullopt};
}

void Note(support::Account* account, const char* name, const std::string& value) {
  if (account)
    account->Add(support::steps::kAccessRead, {{"name", std::string(name)}, {"value", value}});
}

// A path, or the text of why there is none.
std::string PathOrWhyNot(const platform::Result<std::string>& path) {
  return path ? *path : FailureText(path.failure());
}

// The site whose folder holds the caller, and its grants.
Decision DecideForSite(Configuration& config, const std::string& component,
                       const std::string& method, const std::string& caller_path,
                       support::Account* trace) {
  const std::optional<Site> site = config.SiteOf(caller_path);
  Note(trace, "Path entry", site ? site->line : std::string());
  if (!site) return Refuse(Reason::kNoSite, kNotAllowed + component + " component");

  const std::string components = config.Security(site->name);
  Note(trace, "Security", components);
  if (!IsInList(components, component)) {
    return Refuse(Reason::kComponentRefused, kNotAllowed + component + " component");
  }
  const std::string methods = config.Grants(site->name, component);
  Note(trace, "Methods", methods);
  if (platform::EqualNoCase(methods, "All") || IsInList(methods, method)) {
    return Allow(Reason::kGranted);
  }
  return Refuse(Reason::kMethodRefused,
                kNotAllowed + method + " method of " + component + " component");
}

}  // namespace

std::string FailureText(const platform::Failure& failure) {
  if (failure.cause == platform::Cause::kWrongType) return kTypeMismatch;
  return platform::SystemMessageText(failure.code)
      .value_or(kNoSystemText + std::to_string(failure.code));
}

Decision Decide(const std::string& component, const std::string& method, const ConfigFiles& files,
                CallerSource* caller, support::Account* trace) {
  if (!files.Found()) return Allow(Reason::kNoConfiguration);
  Configuration config(files);
  const std::string installed = config.Installed();
  Note(trace, "Installed", installed);
  if (!IsInList(installed, component)) return Allow(Reason::kNotInstalled);

  // Fails closed: a switch that cannot be read refuses.
  const platform::Result<std::uint32_t> gatehouse = config.Gatehouse();
  const std::string switch_text =
      gatehouse ? std::to_string(*gatehouse) : FailureText(gatehouse.failure());
  Note(trace, "EnableGatehouse", switch_text);
  if (!gatehouse) return Refuse(Reason::kSwitchUnreadable, switch_text);
  if (!SwitchedOn(*gatehouse)) return Allow(Reason::kSwitchedOff);

  const std::string applied = config.Applied();
  Note(trace, "Applied", applied);
  if (!IsInList(applied, component)) return Allow(Reason::kNotApplied);

  RequestCaller request;
  platform::Result<std::string> path = (caller ? caller : &request)->CallerPath();
  const std::string found = PathOrWhyNot(path);
  Note(trace, path ? "Caller path" : "Caller not found", found);
  Decision decision =
      path ? DecideForSite(config, component, method, found, trace)
           : Refuse(Reason::kNoCaller, found + kNoCallerBeforeComponent + component +
                                           kNoCallerBeforeMethod + method + kNoCallerEnd);
  decision.caller_path = std::move(path);
  return decision;
}

void NoteConfigFiles(support::Account* account, const ConfigFiles& files) {
  Note(account, "Admin.ini", PathOrWhyNot(files.admin_ini));
  if (files.admin_ini) Note(account, "WebSite.ini", PathOrWhyNot(files.website_ini));
}

void NoteDecision(support::Account* account, const Decision& decision) {
  if (!account) return;
  account->Add(support::steps::kAccessDecision, {{"allowed", decision.allowed ? 1 : 0},
                                                 {"step", StepOf(decision.reason)},
                                                 {"refusal", decision.refusal}});
}

}  // namespace hosting
