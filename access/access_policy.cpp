// Hosting access control. Until the policy reader lands, no configuration is found
// and every call is allowed.
#include "lookup/lookup.h"

bool CLookup::LocateConfigFiles() {
  m_bNoConfig = 1;
  return true;
}

bool CLookup::CheckAccess() { return m_bNoConfig != 0; }

bool CLookup::IdentifyCaller(std::string& path) {
  path.clear();
  return false;
}
