// "kestra access METHOD --explain": the access control's account of one check.
#pragma once

#include <string>

class ICallerSource;

namespace kestra_tool {

// Runs the check for `method` as a lookup's frame would and writes the outcome lines
// (allowed, or refused and the refusal text), the deciding step and every value read.
bool ExplainAccessCheck(const std::string& method, ICallerSource* caller, std::string* text);

}  // namespace kestra_tool
