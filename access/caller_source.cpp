#include "access/caller_source.h"

#include "platform/net.h"
#include "platform/request.h"

bool CRequestCallerSource::GetCallerPath(std::string& path) {
  return platform::RequestPathTranslated(&path);
}

bool CFixedCallerSource::GetCallerPath(std::string& path) {
  if (!found_) {
    platform::SetThreadLastError(last_error_);
    return false;
  }
  path = path_;
  return true;
}
