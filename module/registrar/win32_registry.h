// The system registry behind the registrar's Registry interface (Windows builds only).
// Names and texts are in the ANSI code page, as the registry scripts are.
#pragma once

#include "registry.h"

namespace registrar {

class Win32Registry : public Registry {
 public:
  long OpenKey(Root root, const std::string& path) override;
  long CreateKey(Root root, const std::string& path) override;
  long SetValue(Root root, const std::string& path, const std::string& name,
                const RegistryValue& value) override;
  long DeleteValue(Root root, const std::string& path, const std::string& name) override;
  long DeleteKey(Root root, const std::string& path) override;
  long ListSubkeys(Root root, const std::string& path, std::vector<std::string>* names) override;
};

}  // namespace registrar
