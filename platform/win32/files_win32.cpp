// FindFirstFileA behind platform/files.h.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/owned.h"

namespace platform {

Result<void> FindEntry(const std::string& path) {
  WIN32_FIND_DATAA data;
  const OwnedFind found(FindFirstFileA(path.c_str(), &data));
  if (found) return {};
  // Some failures leave no code; a missing entry is what they mean here.
  const DWORD err = GetLastError();
  return Failure{Cause::kSystem,
                 err == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : static_cast<int>(err)};
}

}  // namespace platform
