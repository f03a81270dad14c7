// File search.
#pragma once

#include <string>

namespace platform {

// Whether an entry (file or folder) of that path exists, as FindFirstFileA tells it:
// 0 when it does, else the system error code, which is also left as the calling
// thread's last error. The POSIX side takes "\" as a separator like "/".
int FindEntry(const std::string& path);

}  // namespace platform
