// Where the access control learns the calling page's physical path (the request's
// PATH_TRANSLATED). The platform's request is asked unless the access control is given
// another source: the kestra tool's --caller-path and the tests use a FixedCaller.
#pragma once

#include <string>

#include "platform/request.h"

namespace hosting {

class CallerSource {
 public:
  virtual ~CallerSource() = default;
  // The path (possibly empty), or the system's code when no calling request is found.
  virtual platform::Result<std::string> CallerPath() = 0;
};

// The request under way: on Windows the web server's Request object reached through
// the transaction-server object context, on POSIX the CGI variable PATH_TRANSLATED.
class RequestCaller final : public CallerSource {
 public:
  platform::Result<std::string> CallerPath() override { return platform::RequestPathTranslated(); }
};

// A stand-in request: a given path, or a failure.
class FixedCaller final : public CallerSource {
 public:
  explicit FixedCaller(platform::Result<std::string> path) : m_path(std::move(path)) {}
  platform::Result<std::string> CallerPath() override { return m_path; }

 private:
  platform::Result<std::string> m_path;
};

}  // namespace hosting
