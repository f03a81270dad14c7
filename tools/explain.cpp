// Kept apart from the rest of the tool: this file includes no more of the standard
// library than the access control's header does, because glibc's unistd.h declares a
// function named like the access control's namespace.
#include "tools/explain.h"

#include "access/access_policy.h"

namespace kestra_tool {

bool ExplainAccessCheck(const std::string& method, ICallerSource* caller, std::string* text) {
  access::AccessReport report = access::ExplainAccess(method, caller);
  *text = report.allowed ? "allowed\n" : "refused\n" + report.refusal + "\n";
  *text += "decided at step " + std::to_string(report.step) + "\n";
  for (const auto& [name, value] : report.values) {
    // System texts end with a line break of their own.
    std::string shown = value;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    *text += "  " + name + ": " + shown + "\n";
  }
  return report.allowed;
}

}  // namespace kestra_tool
