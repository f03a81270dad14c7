// Runs parsed registry scripts against a registry (platform/registry.h), in register
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

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "result.h"
#include "script.h"

namespace registrar {

enum class Mode { kRegister, kUnregister };

class ScriptRunner {
 public:
  explicit ScriptRunner(platform::Registry* registry) : m_pRegistry(registry) {}

  // kOk, or the first failure as an HRESULT; what was written before it stays.
  HResult Run(const Script& script, Mode mode);

 private:
  HResult Register(platform::RegRoot root, const std::string& parent,
                   const std::vector<ScriptEntry>& entries);
  HResult Unregister(platform::RegRoot root, const std::string& parent,
                     const std::vector<ScriptEntry>& entries);
  int DeleteTree(platform::RegRoot root, const std::string& path, std::size_t depth);

  platform::Registry* m_pRegistry;
};

// Expands the replacements of `text`, parses it and runs it.
HResult RunScript(std::string_view text, const Replacements& replacements, Mode mode,
                  platform::Registry* registry);

// True for the key names that a script may never remove with everything below them.
bool IsProtectedKeyName(std::string_view name);

}  // namespace registrar
