// Registry scripts from anywhere: expansion and parsing must refuse or accept any
// text without reading outside it, and a script that registers must register the same
// way twice and unregister cleanly afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/memory_registry.h"
#include "registry_support.h"
#include "script.h"
#include "script_runner.h"

using namespace registrar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Replacements replacements = Replacements::ForModule("C:\\Bob's\\100%\\Kestra.dll");
  platform::MemoryRegistry registry;
  auto fails = [&](Mode mode) { return Failed(RunScript(text, replacements, mode, &registry)); };
  if (fails(Mode::kRegister)) return 0;
  const std::string once = testbed::Dump(registry);
  if (fails(Mode::kRegister) || testbed::Dump(registry) != once) std::abort();
  if (fails(Mode::kUnregister) || fails(Mode::kUnregister)) std::abort();
  return 0;
}
