#include "registry_scripts.h"

#include <fstream>
#include <iterator>

namespace registrar {

bool ReadRegistryScript(const std::string& class_name, std::string* text) {
  std::string path = std::string(KESTRA_REGISTRY_SCRIPT_DIR) + "/" + class_name + ".rgs";
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
#endif
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace registrar
