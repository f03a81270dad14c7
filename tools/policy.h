// `kestra policy`: the grants the access control gives each site of [Path], one row per
// site and one column per method, each cell computed by the access control itself with
// the site's folder standing in for the calling page's path.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestra_tool {

inline constexpr char kComponent[] = "Brevan";  // as the hosting configuration names it

// The methods of the Lookup object, each with its access name.
struct PolicyMethod {
  const char* method;
  const char* access_name;
};
inline constexpr PolicyMethod kPolicyMethods[] = {
    {"MXRecords", "MXRecords"},     {"GetMXRecord", "MXRecords"}, {"DNSLookup", "Lookup"},
    {"ReverseDNSLookup", "Lookup"}, {"VerifySMTP", "VerifySMTP"},
};

struct SiteGrants {
  std::string site, folder;
  std::vector<std::string> cells;  // per kPolicyMethods: "allowed" or the refusal text
};

struct Policy {
  // What the access control does, when one answer holds for every site.
  std::optional<std::string> everywhere;
  std::vector<SiteGrants> sites;  // in [Path] order; only when !everywhere
};

// The policy for every site, or only for the sites named `site` (without regard to case).
Policy ComputePolicy(const std::optional<std::string>& site);

// `kestra policy [--site NAME]`: 0, or 1 when NAME is no site of [Path].
int RunPolicy(const std::optional<std::string>& site, std::ostream& out, std::ostream& err);

}  // namespace kestra_tool
