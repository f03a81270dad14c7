// Files: whether an entry exists, and a file's whole text.
#pragma once

#include <optional>
#include <string>

#include "platform/result.h"

namespace platform {

// Whether an entry (file or folder) of that path exists, as FindFirstFileA tells it; the
// failure holds the system's code. The POSIX side takes "\" as a separator like "/".
Result<void> FindEntry(const std::string& path);

// The bytes of the file at `path`, taken as the C library's fopen takes it; nothing
// when it cannot be opened or read to its end.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace platform
