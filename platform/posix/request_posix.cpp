// The calling request on POSIX: the CGI convention, the PATH_TRANSLATED variable of
// the process environment.
#include <cstdlib>

#include "platform/errors.h"
#include "platform/request.h"

namespace platform {

Result<std::string> RequestPathTranslated() {
  const char* value = std::getenv("PATH_TRANSLATED");
  if (value == nullptr) return Failure{Cause::kSystem, syserr::kEnvVarNotFound};
  return std::string(value);
}

}  // namespace platform
