// The web request under way, as far as the access control needs it: the server
// variable PATH_TRANSLATED, the physical path of the calling page.
//
// Windows: the transaction-server object context of the current call
// (CoGetObjectContext), its "Request" property, the web server's IRequest and its
// ServerVariables collection. POSIX: the CGI convention, the PATH_TRANSLATED variable
// of the process environment.
#pragma once

#include <string>

#include "platform/result.h"

namespace platform {

// The path (which may be empty: a variable the server does not set reads as empty), or
// the system's code when no request is under way or the value cannot be read: on
// Windows the thread's last error once the read gave up, on POSIX
// syserr::kEnvVarNotFound.
Result<std::string> RequestPathTranslated();

}  // namespace platform
