// Registry scripts from anywhere: expansion and parsing must refuse or accept any
// text without reading outside it, and a script that registers must register the same
// way twice and unregister cleanly afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/memory_registry.h"
#include "script.h"
#include "script_runner.h"

using namespace registrar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Replacements replacements = Replacements::ForModule("C:\\Bob's\\100%\\Kestra.dll");

  std::string expanded;
  if (Failed(ExpandReplacements(text, replacements, &expanded))) return 0;
  Script script;
  if (Failed(ParseScript(expanded, &script))) return 0;

  platform::MemoryRegistry registry;
  ScriptRunner runner(&registry);
  if (Failed(runner.Run(script, Mode::kRegister))) return 0;
  const std::string once = registry.Dump();
  if (Failed(runner.Run(script, Mode::kRegister)) || registry.Dump() != once) std::abort();
  if (Failed(runner.Run(script, Mode::kUnregister))) std::abort();
  if (Failed(runner.Run(script, Mode::kUnregister))) std::abort();
  return 0;
}
