// System message texts on POSIX: the C library's description of the errno value that
// means the same as the (Windows-numbered) code, with a line break at the end as the
// system messages have. Codes with no such errno get a text of their own where one is
// needed here, and none otherwise.
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/errors.h"
#include "platform/net.h"

namespace platform {
namespace {

int ErrnoFor(int code) {
  static constexpr std::pair<int, int> kErrnos[] = {
      {syserr::kSuccess, 0},           {syserr::kFileNotFound, ENOENT},
      {syserr::kPathNotFound, ENOENT}, {syserr::kAccessDenied, EACCES},
      {syserr::kInvalidHandle, EBADF}, {syserr::kNotEnoughMemory, ENOMEM},
      {syserr::kInvalidData, EILSEQ},  {syserr::kInvalidParameter, EINVAL},
      {syserr::kBadPathname, EINVAL},  {syserr::kFilenameTooLong, ENAMETOOLONG},
      {syserr::kMoreData, EOVERFLOW},
  };
  for (const auto& [system_code, err] : kErrnos) {
    if (system_code == code) return err;
  }
  if (code > 10000 && code < 11000) {
    // Socket codes: the errno that the socket layer maps onto this one.
    for (int err = 1; err < 256; ++err) {
      if (ErrnoToWinsock(err) == code) return err;
    }
  }
  return -1;
}

const char* OwnText(int code) {
  switch (code) {
    case syserr::kEnvVarNotFound:
      return "The environment variable was not found";
    case wsa::kHOST_NOT_FOUND:
      return "Unknown host";
    case wsa::kTRY_AGAIN:
      return "Host name lookup failure";
    case wsa::kNO_RECOVERY:
      return "Unknown server error";
    case wsa::kNO_DATA:
      return "No address associated with name";
    default:
      return nullptr;
  }
}

}  // namespace

bool SystemMessageText(int code, std::string* text) {
  if (const char* own = OwnText(code)) {
    *text = std::string(own) + "\n";
    return true;
  }
  const int err = ErrnoFor(code);
  if (err < 0) return false;
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  const char* description = strerror_r(err, buffer, sizeof buffer);
  if (description == nullptr || *description == '\0') return false;
  *text = std::string(description) + "\n";
  return true;
}

}  // namespace platform
