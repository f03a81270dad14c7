// `kestra policy`: the grants the access control gives each site of [Path], a row per
// site and a column per method, for a page in the site's folder.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lookup/lookup.h"
#include "support/texts.h"

namespace kestra_tool {

using support::texts::kComponent;  // as the hosting configuration names it

struct SiteGrants {
  std::string site, folder;
  std::vector<std::string> cells;  // per lookup::kMemberAccess: "allowed" or the refusal text
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
