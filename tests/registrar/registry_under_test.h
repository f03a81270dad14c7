// A registry the runner tests write to, with what they need to read it back: the
// in-memory one everywhere, and under Windows also the system registry (the keys the
// tests touch are cleared before and after each test).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace registrar {

class RegistryUnderTest {
 public:
  virtual ~RegistryUnderTest() = default;
  virtual platform::Registry* registry() = 0;
  virtual std::optional<platform::RegValue> Get(platform::RegRoot root, const std::string& path,
                                                const std::string& name) = 0;
  // Removes every key the tests may have written.
  virtual void Clear() = 0;

  bool Has(platform::RegRoot root, const std::string& path) {
    return registry()->OpenKey(root, path, platform::RegView::kOwn) == 0;
  }
};

struct RegistryKind {
  std::string name;
  std::function<std::unique_ptr<RegistryUnderTest>()> make;
};

inline void PrintTo(const RegistryKind& kind, std::ostream* os) {
  *os << kind.name;
}

// The kinds available on this platform.
std::vector<RegistryKind> RegistryKinds();

// Where the generic tests write: HKCU\<kTestKey>.
inline constexpr const char* kTestKey = "KestraRegistrarTest";

}  // namespace registrar
