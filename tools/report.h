// How kestra shows what it found beyond its plain lines: the account of a command
// (support/account.h) as text in the manner of dig and swaks (";;" lines for the steps,
// records in zone-file form, "<-" for what an SMTP server said and "->" for what was
// sent) for --explain, and the account, the doctor's rows and the policy as JSON for
// --json.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/result.h"
#include "support/account.h"
#include "tools/doctor.h"
#include "tools/policy.h"

namespace kestra_tool {

// A failure in words, as dig and swaks say them ("connection refused", "timed out",
// "host not found"), with the system's code beside it when there is one.
std::string CauseText(const platform::Failure& failure);

// One walk of the account's steps: as lines for a person on `text` (when given), and as
// the JSON parts "access", "dns", "smtp", "resolver" of `doc` (when given), each part
// with all of its members once the account holds a step of it. Every text from outside
// is shown by the rules of tools/safe_text.h.
void ShowAccount(const support::Account& account, std::ostream* text, nlohmann::ordered_json* doc);

// {"rows": [{"check", "status" ("OK", "WARN", "FAIL"), "detail"}]}.
nlohmann::ordered_json DoctorJson(const std::vector<CheckRow>& rows);
// {"everywhere": the one answer for every site, or null; "sites": [{"site", "folder",
// "may_call": the access names granted, "methods": [{"method", "access_name",
// "allowed", "refusal"}]}]}.
nlohmann::ordered_json PolicyJson(const Policy& policy);

}  // namespace kestra_tool
