// Files: whether an entry exists, and a file's whole text.
#pragma once

#include <string>

#include "platform/result.h"

namespace platform {

// What a path made here puts between a folder and a name: the system's own separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Whether an entry (file or folder) of that path exists, as FindFirstFileA tells it; the
// failure holds the system's code. The POSIX side takes "\" as a separator like "/".
Result<void> FindEntry(const std::string& path);

// The bytes of the file at `path`, taken as the C library's fopen takes it. Fails with
// kNotFound when it cannot be opened, kSystem when it cannot be read to its end; no
// caller shows a text for either, so there is no code.
Result<std::string> ReadWholeFile(const std::string& path);

}  // namespace platform
