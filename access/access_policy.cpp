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

using support::step::Item;

void Note(support::Account* account, Item item, const platform::Result<std::string>& value) {
  support::Note(account, [&] { return support::step::AccessRead{item, value}; });
}
void NoteText(support::Account* account, Item item, std::string_view value) {
  support::Note(account, [&] { return support::step::AccessRead{item, std::string(value)}; });
}

// The site whose folder holds the caller, and its grants.
Decision DecideForSite(Configuration& config, const std::string& component,
                       const std::string& method, const std::string& caller_path,
                       support::Account* trace) {
  const std::optional<Site> site = config.SiteOf(caller_path);
  NoteText(trace, Item::kPathEntry, site ? std::string_view(site->line) : "");
  if (!site) return Refuse(Reason::kNoSite, kNotAllowed + component + " component");

  const std::string components = config.Security(site->name);
  NoteText(trace, Item::kSecurity, components);
  if (!IsInList(components, component)) {
    return Refuse(Reason::kComponentRefused, kNotAllowed + component + " component");
  }
  const std::string methods = config.Grants(site->name, component);
  NoteText(trace, Item::kMethods, methods);
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
  NoteText(trace, Item::kInstalled, installed);
  if (!IsInList(installed, component)) return Allow(Reason::kNotInstalled);

  // Fails closed: a switch that cannot be read refuses.
  const platform::Result<std::uint32_t> gatehouse = config.Gatehouse();
  support::Note(trace, [&] {
    return support::step::AccessRead{Item::kEnableGatehouse,
                                     gatehouse
                                         ? platform::Result<std::string>(std::to_string(*gatehouse))
                                         : platform::Result<std::string>(gatehouse.failure())};
  });
  if (!gatehouse) return Refuse(Reason::kSwitchUnreadable, FailureText(gatehouse.failure()));
  if (!SwitchedOn(*gatehouse)) return Allow(Reason::kSwitchedOff);

  const std::string applied = config.Applied();
  NoteText(trace, Item::kApplied, applied);
  if (!IsInList(applied, component)) return Allow(Reason::kNotApplied);

  RequestCaller request;
  platform::Result<std::string> path = (caller ? caller : &request)->CallerPath();
  Note(trace, Item::kCaller, path);
  Decision decision = path ? DecideForSite(config, component, method, *path, trace)
                           : Refuse(Reason::kNoCaller,
                                    FailureText(path.failure()) + kNoCallerBeforeComponent +
                                        component + kNoCallerBeforeMethod + method + kNoCallerEnd);
  decision.caller_path = std::move(path);
  return decision;
}

void NoteConfigFiles(support::Account* account, const ConfigFiles& files) {
  Note(account, Item::kAdminIni, files.admin_ini);
  if (files.admin_ini) Note(account, Item::kWebSiteIni, files.website_ini);
}

void NoteDecision(support::Account* account, const Decision& decision) {
  support::Note(account, [&] {
    return support::step::AccessDecision{decision.allowed, StepOf(decision.reason),
                                         decision.refusal};
  });
}

}  // namespace hosting
