// System message texts from the system's message table.
#include <windows.h>

#include "platform/errors.h"

namespace platform {

bool SystemMessageText(int code, std::string* text) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) {
    if (buffer != nullptr) LocalFree(buffer);
    return false;
  }
  text->assign(buffer, length);
  LocalFree(buffer);
  return true;
}

}  // namespace platform
