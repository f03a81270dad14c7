// The registry on POSIX: the store, a REGEDIT4 file read afresh at every call of
// OpenSystemRegistry (see platform/registry.h).
#include <cstdlib>

#include "platform/files.h"
#include "platform/memory_registry.h"
#include "platform/registry.h"

namespace platform {

std::string RegistryFilePath() {
  const char* path = std::getenv("KESTRA_REGISTRY_FILE");
  return (path != nullptr && *path != '\0') ? path : "/etc/kestra/registry.reg";
}

std::unique_ptr<Registry> OpenSystemRegistry() {
  auto registry = std::make_unique<MemoryRegistry>();
  if (const Result<std::string> text = ReadWholeFile(RegistryFilePath())) {
    registry->Load(*text);
  }
  return registry;
}

}  // namespace platform
