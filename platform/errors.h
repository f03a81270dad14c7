// System error codes and their message texts. Both platforms number errors as Windows
// does (the POSIX layer maps its own failures onto these codes), because the texts the
// access control hands to a page are keyed to them.
#pragma once

#include <optional>
#include <string>

namespace platform {

namespace syserr {
inline constexpr int kSuccess = 0;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kInvalidHandle = 6;
inline constexpr int kNotEnoughMemory = 8;
inline constexpr int kInvalidParameter = 87;
inline constexpr int kBadPathname = 161;
inline constexpr int kEnvVarNotFound = 203;
inline constexpr int kFilenameTooLong = 206;
}  // namespace syserr

// The system's message text for `code`: FormatMessageA (system messages only, inserts
// ignored, language 0x400) on Windows, the C library's description of the matching
// errno value on POSIX. The text comes back as the system gives it, with the line
// break it ends with; nothing when the system has no text for the code.
std::optional<std::string> SystemMessageText(int code);

}  // namespace platform
