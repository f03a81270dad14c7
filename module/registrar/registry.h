// The registry as the registrar sees it: keys addressed by a root and a path of names
// separated by '\', text compared without regard to case, results as Win32 error
// codes. MemoryRegistry implements it for tests and for platforms without a system
// registry; Win32Registry over the real one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace registrar {

enum class Root {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kPerformanceData,
  kDynData,
  kCurrentConfig,
};

struct RegistryValue {
  enum class Type { kString, kDword };
  Type type = Type::kString;
  std::string text;
  std::uint32_t number = 0;

  static RegistryValue String(std::string text) { return {Type::kString, std::move(text), 0}; }
  static RegistryValue Dword(std::uint32_t number) { return {Type::kDword, {}, number}; }
  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Every call returns 0 or a Win32 error code. A missing key or value gives
  // ERROR_FILE_NOT_FOUND. An empty value name is the key's default value.

  // 0 when the key exists.
  virtual long OpenKey(Root root, const std::string& path) = 0;
  // Opens the key or creates it (with any missing keys above it).
  virtual long CreateKey(Root root, const std::string& path) = 0;
  virtual long SetValue(Root root, const std::string& path, const std::string& name,
                        const RegistryValue& value) = 0;
  virtual long DeleteValue(Root root, const std::string& path, const std::string& name) = 0;
  // Deletes a key that has no subkeys (together with its values).
  virtual long DeleteKey(Root root, const std::string& path) = 0;
  // The names of the key's direct subkeys.
  virtual long ListSubkeys(Root root, const std::string& path, std::vector<std::string>* names) = 0;
};

}  // namespace registrar
