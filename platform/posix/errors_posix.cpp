// System message texts on POSIX: the C library's description of the errno value that
// means the same as the (Windows-numbered) code, with a line break at the end as the
// system messages have. A code with no such errno has a text of its own where this
// layer gives it (the missing CGI variable), and none otherwise.
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/errors.h"

namespace platform {
namespace {

int ErrnoFor(int code) {
  static constexpr std::pair<int, int> kErrnos[] = {
      {syserr::kSuccess, 0},
      {syserr::kFileNotFound, ENOENT},
      {syserr::kPathNotFound, ENOENT},
      {syserr::kAccessDenied, EACCES},
      {syserr::kInvalidHandle, EBADF},
      {syserr::kNotEnoughMemory, ENOMEM},
      {syserr::kBadPathname, EINVAL},
      {syserr::kInvalidParameter, EINVAL},
      {syserr::kFilenameTooLong, ENAMETOOLONG},
  };
  for (const auto& [system_code, err] : kErrnos) {
    if (system_code == code) return err;
  }
  return -1;
}

}  // namespace

std::optional<std::string> SystemMessageText(int code) {
  if (code == syserr::kEnvVarNotFound) return "The environment variable was not found\n";
  const int err = ErrnoFor(code);
  if (err < 0) return std::nullopt;
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  const char* description = strerror_r(err, buffer, sizeof buffer);
  if (description == nullptr || *description == '\0') return std::nullopt;
  return std::string(description) + "\n";
}

}  // namespace platform
