// FindFirstFileA behind platform/files.h.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/owned.h"

namespace platform {

int FindEntry(const std::string& path) {
  WIN32_FIND_DATAA data;
  const OwnedFind found(FindFirstFileA(path.c_str(), &data));
  if (!found) {
    DWORD err = GetLastError();
    // Some failures leave no code; a missing entry is what they mean here.
    if (err == ERROR_SUCCESS) {
      err = ERROR_FILE_NOT_FOUND;
      SetLastError(err);
    }
    return static_cast<int>(err);
  }
  return 0;
}

}  // namespace platform
