// File search on POSIX: stat, with "\" taken as a separator like "/".
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/errors.h"
#include "platform/files.h"

namespace platform {

Result<void> FindEntry(const std::string& path) {
  if (path.empty()) return Failure{Cause::kSystem, syserr::kFileNotFound};
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  struct stat info {};
  if (stat(native.c_str(), &info) == 0) return {};
  static constexpr std::pair<int, int> kCodes[] = {
      {ENOENT, syserr::kFileNotFound},    {ENOTDIR, syserr::kPathNotFound},
      {EACCES, syserr::kAccessDenied},    {ENAMETOOLONG, syserr::kFilenameTooLong},
      {ENOMEM, syserr::kNotEnoughMemory},
  };
  const int err = errno;
  for (const auto& [errno_value, code] : kCodes) {
    if (errno_value == err) return Failure{Cause::kSystem, code};
  }
  return Failure{Cause::kSystem, syserr::kInvalidParameter};
}

}  // namespace platform
