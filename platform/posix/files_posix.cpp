// File search on POSIX: stat, with "\" taken as a separator like "/".
#include <sys/stat.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/files.h"

namespace platform {

Result<void> FindEntry(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  int code = syserr::kSuccess;
  struct stat info {};
  if (native.empty()) {
    code = syserr::kFileNotFound;
  } else if (stat(native.c_str(), &info) != 0) {
    switch (errno) {
      case ENOENT:
        code = syserr::kFileNotFound;
        break;
      case ENOTDIR:
        code = syserr::kPathNotFound;
        break;
      case EACCES:
        code = syserr::kAccessDenied;
        break;
      case ENAMETOOLONG:
        code = syserr::kFilenameTooLong;
        break;
      case ENOMEM:
        code = syserr::kNotEnoughMemory;
        break;
      default:
        code = syserr::kInvalidParameter;
        break;
    }
  }
  if (code != syserr::kSuccess) return Failure{Cause::kSystem, code};
  return {};
}

}  // namespace platform
