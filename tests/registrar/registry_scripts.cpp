#include "registry_scripts.h"

#include "platform/files.h"

namespace registrar {

std::optional<std::string> ReadRegistryScript(const std::string& class_name) {
  std::string path = std::string(KESTRA_REGISTRY_SCRIPT_DIR) + "/" + class_name + ".rgs";
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
#endif
  platform::Result<std::string> text = platform::ReadWholeFile(path);
  if (!text) return std::nullopt;
  return std::move(*text);
}

}  // namespace registrar
