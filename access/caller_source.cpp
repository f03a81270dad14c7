#include "access/caller_source.h"

#include "platform/net.h"
#include "platform/request.h"

namespace hosting {

std::optional<std::string> RequestCaller::CallerPath() {
  std::string path;
  if (!platform::RequestPathTranslated(&path)) return std::nullopt;
  return path;
}

std::optional<std::string> FixedCaller::CallerPath() {
  if (!m_path) platform::SetThreadLastError(m_nLastError);
  return m_path;
}

}  // namespace hosting
