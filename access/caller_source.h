// Where the access control learns the calling page's physical path (the request's
// PATH_TRANSLATED). The platform's request is asked unless the access control is given
// another source: the kestra tool's --caller-path and the tests use a FixedCaller.
#pragma once

#include <optional>
#include <string>

namespace hosting {

class CallerSource {
 public:
  virtual ~CallerSource() = default;
  // The path (possibly empty), or nothing when no calling request is found; the calling
  // thread's last error (platform/net.h) then holds the code whose system text the
  // refusal begins with.
  virtual std::optional<std::string> CallerPath() = 0;
};

// The request under way: on Windows the web server's Request object reached through
// the transaction-server object context, on POSIX the CGI variable PATH_TRANSLATED.
class RequestCaller final : public CallerSource {
 public:
  std::optional<std::string> CallerPath() override;
};

// A stand-in request: a given path, or a failure that leaves a given code as the
// thread's last error.
class FixedCaller final : public CallerSource {
 public:
  static FixedCaller WithPath(std::string path) { return FixedCaller(std::move(path), 0); }
  static FixedCaller Failing(int last_error) { return FixedCaller(std::nullopt, last_error); }
  std::optional<std::string> CallerPath() override;

 private:
  FixedCaller(std::optional<std::string> path, int last_error)
      : m_path(std::move(path)), m_nLastError(last_error) {}
  std::optional<std::string> m_path;
  int m_nLastError;
};

}  // namespace hosting
