// The system registry behind platform/registry.h.
#include <windows.h>

#include "platform/registry.h"

namespace platform {
namespace {
HKEY Handle(RegKey key) {
  return reinterpret_cast<HKEY>(key);
}
bool IsPredefined(RegKey key) {
  return (static_cast<std::uint32_t>(key) & 0xF0000000u) == 0x80000000u &&
         key == PredefinedRegKey(static_cast<std::uint32_t>(key));
}
}  // namespace

int RegOpenForRead(RegKey root, const std::string& subkey, RegKey* key, RegView view) {
  REGSAM access = KEY_READ;
  if (view == RegView::k32) access |= KEY_WOW64_32KEY;
  if (view == RegView::k64) access |= KEY_WOW64_64KEY;
  HKEY opened = nullptr;
  LONG rc = RegOpenKeyExA(Handle(root), subkey.c_str(), 0, access, &opened);
  *key = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : kNullRegKey;
  return static_cast<int>(rc);
}

int RegQueryValueInfo(RegKey key, const std::string& name, std::uint32_t* type,
                      std::uint32_t* size) {
  DWORD t = 0;
  DWORD n = 0;
  LONG rc = RegQueryValueExA(Handle(key), name.c_str(), nullptr, &t, nullptr, &n);
  *type = t;
  *size = n;
  return static_cast<int>(rc);
}

int RegQueryValueData(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                      std::uint32_t* size) {
  DWORD t = 0;
  DWORD n = *size;
  LONG rc = RegQueryValueExA(Handle(key), name.c_str(), nullptr, &t, static_cast<BYTE*>(data), &n);
  *type = t;
  *size = n;
  return static_cast<int>(rc);
}

void RegClose(RegKey key) {
  if (key != kNullRegKey && !IsPredefined(key)) RegCloseKey(Handle(key));
}

}  // namespace platform
