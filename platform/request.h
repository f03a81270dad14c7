// The web request under way, as far as the access control needs it: the server
// variable PATH_TRANSLATED, the physical path of the calling page.
//
// Windows: the transaction-server object context of the current call
// (CoGetObjectContext), its "Request" property, the web server's IRequest and its
// ServerVariables collection. POSIX: the CGI convention, the PATH_TRANSLATED variable
// of the process environment.
#pragma once

#include <string>

namespace platform {

// True with the path (which may be empty: a variable the server does not set reads as
// empty). False when no request is under way or the value cannot be read; the calling
// thread's last error is then whatever the platform left there (on POSIX,
// syserr::kEnvVarNotFound).
bool RequestPathTranslated(std::string* path);

}  // namespace platform
