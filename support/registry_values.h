// Registry values by textual key path ("HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick",
// the root by its long name), read from a registry (platform/registry.h) and handed
// back as text or as the text of the error. Nothing is cached or written.
//
// On 64-bit Windows the key is read in the 32-bit view, and in the 64-bit view only
// when the 32-bit view has no such key, so that the 32-bit and the 64-bit builds read
// one and the same configuration.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"
#include "support/error_text.h"

namespace support {

// The text given for a value of another type than asked, or of zero length.
inline constexpr const char* kRegistryTypeMismatch =
    "The type you specified mismatch with registry value type";

// A REG_SZ value up to its first NUL, whatever its length. A path whose first element
// names no root fails with the system's text for an invalid handle, as an open under a
// null key does.
TextResult ReadRegistryString(platform::Registry& registry, std::string_view key_path,
                              const std::string& value_name);
// A REG_DWORD value (four bytes) as unsigned decimal text.
TextResult ReadRegistryNumber(platform::Registry& registry, std::string_view key_path,
                              const std::string& value_name);

}  // namespace support
