// Where the access control learns the calling page's physical path (the request's
// PATH_TRANSLATED). The platform's source is used unless a CLookup is given another
// one (CLookup::SetCallerSource): the kestra tool's --caller-path and the tests use a
// CFixedCallerSource.
#pragma once

#include <string>

class ICallerSource {
 public:
  virtual ~ICallerSource() = default;
  // True with the path (possibly empty). False when no calling request is found; the
  // calling thread's last error (platform/net.h) then holds the code whose system text
  // the refusal begins with.
  virtual bool GetCallerPath(std::string& path) = 0;
};

// The request under way: on Windows the web server's Request object reached through
// the transaction-server object context, on POSIX the CGI variable PATH_TRANSLATED.
class CRequestCallerSource : public ICallerSource {
 public:
  bool GetCallerPath(std::string& path) override;
};

// A stand-in request: a given path, or a failure that leaves a given code as the
// thread's last error.
class CFixedCallerSource : public ICallerSource {
 public:
  static CFixedCallerSource WithPath(std::string path) {
    return CFixedCallerSource(true, std::move(path), 0);
  }
  static CFixedCallerSource Failing(int last_error) {
    return CFixedCallerSource(false, std::string(), last_error);
  }
  bool GetCallerPath(std::string& path) override;

 private:
  CFixedCallerSource(bool found, std::string path, int last_error)
      : found_(found), path_(std::move(path)), last_error_(last_error) {}
  bool found_;
  std::string path_;
  int last_error_;
};
