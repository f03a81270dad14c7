// Registry helpers for tests and fuzzers: an in-memory registry that fails chosen
// calls, and one written out whole.
#pragma once

#include <string>
#include <vector>

#include "platform/memory_registry.h"

namespace testbed {

class FailingRegistry final : public platform::MemoryRegistry {
 public:
  enum class Operation { kOpenKey, kCreateKey, kSetValue, kDeleteValue, kDeleteKey, kListSubkeys };

  // Every later call of `operation` on the key `path` (any root, compared without
  // regard to case) fails with `error`, as a locked or read-only key would.
  void Fail(Operation operation, std::string path, int error) {
    m_failures.push_back({operation, std::move(path), error});
  }

  platform::Result<void> OpenKey(platform::RegRoot root, const std::string& path,
                                 platform::RegView view) override {
    if (int e = Picked(Operation::kOpenKey, path)) return platform::RegFailure(e);
    return MemoryRegistry::OpenKey(root, path, view);
  }
  platform::Result<void> CreateKey(platform::RegRoot root, const std::string& path) override {
    if (int e = Picked(Operation::kCreateKey, path)) return platform::RegFailure(e);
    return MemoryRegistry::CreateKey(root, path);
  }
  platform::Result<void> SetValue(platform::RegRoot root, const std::string& path,
                                  const std::string& name,
                                  const platform::RegValue& value) override {
    if (int e = Picked(Operation::kSetValue, path)) return platform::RegFailure(e);
    return MemoryRegistry::SetValue(root, path, name, value);
  }
  platform::Result<void> DeleteValue(platform::RegRoot root, const std::string& path,
                                     const std::string& name) override {
    if (int e = Picked(Operation::kDeleteValue, path)) return platform::RegFailure(e);
    return MemoryRegistry::DeleteValue(root, path, name);
  }
  platform::Result<void> DeleteKey(platform::RegRoot root, const std::string& path) override {
    if (int e = Picked(Operation::kDeleteKey, path)) return platform::RegFailure(e);
    return MemoryRegistry::DeleteKey(root, path);
  }
  platform::Result<std::vector<std::string>> ListSubkeys(platform::RegRoot root,
                                                         const std::string& path) override {
    if (int e = Picked(Operation::kListSubkeys, path)) return platform::RegFailure(e);
    return MemoryRegistry::ListSubkeys(root, path);
  }

 private:
  struct Failure {
    Operation operation;
    std::string path;
    int error;
  };
  // The error picked for this call, 0 for none.
  int Picked(Operation operation, const std::string& path) const {
    for (const Failure& f : m_failures) {
      if (f.operation == operation && platform::EqualNoCase(f.path, path)) return f.error;
    }
    return 0;
  }

  std::vector<Failure> m_failures;
};

// Every key and value, one a line in sorted order, roots by their short names, e.g.
//   HKCR\Brevan.MX
//   HKCR\Brevan.MX\CurVer @ = s 'Brevan.MX.1'
// (values: s 'text', d number, or the type and the bytes in hex: 3 01ff).
std::string Dump(const platform::MemoryRegistry& registry);

}  // namespace testbed
