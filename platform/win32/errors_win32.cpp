// System message texts from the system's message table.
#include <windows.h>

#include "platform/errors.h"

namespace platform {

std::optional<std::string> SystemMessageText(int code) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::optional<std::string> text;
  if (length != 0 && buffer != nullptr) text.emplace(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

}  // namespace platform
