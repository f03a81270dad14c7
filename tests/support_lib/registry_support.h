// Registry helpers for tests and fuzzers: a registry that fails chosen calls, and an
// in-memory registry written out whole.
#pragma once

#include <string>
#include <vector>

#include "platform/memory_registry.h"

namespace testbed {

// Passes every call to the registry it wraps, except those picked by Fail.
class FailingRegistry final : public platform::Registry {
 public:
  enum class Operation { kOpenKey, kCreateKey, kSetValue, kDeleteValue, kDeleteKey, kListSubkeys };

  explicit FailingRegistry(platform::Registry* inner) : m_inner(inner) {}
  // Every later call of `operation` on the key `path` (any root, compared without
  // regard to case) fails with `error`, as a locked or read-only key would.
  void Fail(Operation operation, std::string path, int error) {
    m_failures.push_back({operation, std::move(path), error});
  }

  int OpenKey(platform::RegRoot root, const std::string& path, platform::RegView view) override;
  int QueryValue(platform::RegRoot root, const std::string& path, const std::string& name,
                 platform::RegView view, platform::RegValue* value) override;
  int CreateKey(platform::RegRoot root, const std::string& path) override;
  int SetValue(platform::RegRoot root, const std::string& path, const std::string& name,
               const platform::RegValue& value) override;
  int DeleteValue(platform::RegRoot root, const std::string& path,
                  const std::string& name) override;
  int DeleteKey(platform::RegRoot root, const std::string& path) override;
  int ListSubkeys(platform::RegRoot root, const std::string& path,
                  std::vector<std::string>* names) override;

 private:
  struct Failure {
    Operation operation;
    std::string path;
    int error;
  };
  // The error picked for this call, 0 for none.
  int Picked(Operation operation, const std::string& path) const;

  platform::Registry* m_inner;
  std::vector<Failure> m_failures;
};

// Every key and value, one a line in sorted order, roots by their short names, e.g.
//   HKCR\Brevan.MX
//   HKCR\Brevan.MX\CurVer @ = s 'Brevan.MX.1'
// (values: s 'text', d number, or the type and the bytes in hex: 3 01ff).
std::string Dump(const platform::MemoryRegistry& registry);

}  // namespace testbed
