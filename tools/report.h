// How kestra shows what it found beyond its plain lines: the account of a command
// (support/account.h) as text in the manner of dig and swaks (";;" lines for the steps,
// records in zone-file form, "<-" for what an SMTP server said and "->" for what was
// sent) for --explain, and the account, the doctor's rows and the policy as JSON for
// --json.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/account.h"
#include "tools/doctor.h"
#include "tools/policy.h"

namespace kestra_tool {

// A system text without the line break it ends with, as the reports show it.
std::string OneLine(const std::string& text);

// The account's steps as lines for a person, each at most about 80 columns wide
// unless a value itself is longer.
void PrintAccount(const support::Account& account, std::ostream& out);

// The account as JSON members: "access", and "dns", "smtp" or "resolver" for the
// lookup it tells of (only those it holds steps for).
nlohmann::ordered_json AccountJson(const support::Account& account);

// {"rows": [{"check", "status" ("OK", "WARN", "FAIL"), "detail"}]}.
nlohmann::ordered_json DoctorJson(const std::vector<CheckRow>& rows);
// {"everywhere": the one answer for every site, or null; "sites": [{"site", "folder",
// "may_call": the access names granted, "methods": [{"method", "access_name",
// "allowed", "refusal"}]}]}.
nlohmann::ordered_json PolicyJson(const Policy& policy);

}  // namespace kestra_tool
