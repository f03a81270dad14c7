// The calling request on POSIX: the CGI convention, the PATH_TRANSLATED variable of
// the process environment.
#include <cstdlib>

#include "platform/errors.h"
#include "platform/net.h"
#include "platform/request.h"

namespace platform {

bool RequestPathTranslated(std::string* path) {
  const char* value = std::getenv("PATH_TRANSLATED");
  if (value == nullptr) {
    SetThreadLastError(syserr::kEnvVarNotFound);
    return false;
  }
  *path = value;
  return true;
}

}  // namespace platform
