// Runs registry scripts (script.h) against a registry (platform/registry.h), in register
// or unregister mode.
//
// Register: each listed key is opened or created and its listed values written;
// ForceRemove first deletes an existing key of that name with everything below it.
// Unregister: each listed key that exists has its listed subkeys and named values
// removed first, and is then deleted itself unless it is marked NoRemove or still has
// subkeys the script does not list (another program's, say); whatever is missing is
// skipped. Whole trees are never removed under the well-known shared names (CLSID,
// Interface, TypeLib, ...), whatever a script asks.
#pragma once

#include <string_view>

#include "platform/registry.h"
#include "result.h"
#include "script.h"

namespace registrar {

enum class Mode { kRegister, kUnregister };

// Expands the replacements of `text`, parses it and runs it: kOk, or the first failure
// as an HRESULT (what was written before it stays).
HResult RunScript(std::string_view text, const Replacements& replacements, Mode mode,
                  platform::Registry* registry);

}  // namespace registrar
