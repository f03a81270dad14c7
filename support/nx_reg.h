// Registry values read from an opened root: open, check the type, read, close, and
// hand back the value as text or an error text. Nothing is cached or written.
//
// On 64-bit Windows the key is opened in the 32-bit view, and in the 64-bit view only
// when the 32-bit view has no such key, so that the 32-bit and the 64-bit builds read
// one and the same configuration.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

class CNxReg {
 public:
  virtual ~CNxReg() = default;

  // The predefined root named by `name` (HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG,
  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA,
  // HKEY_DYN_DATA, without regard to case), or the null key. Short forms such as HKLM
  // are not recognised.
  platform::RegKey GetRootKey(const std::string& name);

  // A REG_SZ value up to its first NUL, read whole whatever its length.
  bool ReadString(std::string& out, platform::RegKey root, const std::string& subkey,
                  const std::string& value_name);
  // A REG_DWORD value as unsigned decimal text.
  bool ReadNumber(std::string& out, platform::RegKey root, const std::string& subkey,
                  const std::string& value_name);

 private:
  bool Read(std::string& out, platform::RegKey root, const std::string& subkey,
            const std::string& value_name, std::uint32_t wanted_type);
};

// The text given for a value of another type than asked, or of zero length.
inline constexpr const char* kRegistryTypeMismatch =
    "The type you specified mismatch with registry value type";
