// No component model on POSIX: one registry store, and nothing to create.
#include "platform/automation.h"

namespace platform {

bool HasTwoRegistryViews() {
  return false;
}

PropertyReadResult CreateAndReadProperties(const std::string&, const std::string&,
                                           const std::string&) {
  PropertyReadResult result;
  result.failure = "this system has no component model";
  return result;
}

}  // namespace platform
