// A registry kept in memory: the registrar's registry on platforms without a system
// registry, and the one the native tests inspect. Names keep the case they were
// created with and are compared without regard to case, as in the system registry.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry.h"

namespace registrar {

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  long OpenKey(Root root, const std::string& path) override;
  long CreateKey(Root root, const std::string& path) override;
  long SetValue(Root root, const std::string& path, const std::string& name,
                const RegistryValue& value) override;
  long DeleteValue(Root root, const std::string& path, const std::string& name) override;
  long DeleteKey(Root root, const std::string& path) override;
  long ListSubkeys(Root root, const std::string& path, std::vector<std::string>* names) override;

  // Makes every later call of `operation` on the key `path` (any root, compared
  // without regard to case) fail with `error`, as a locked or read-only key would.
  enum class Operation { kOpenKey, kCreateKey, kSetValue, kDeleteValue, kDeleteKey, kListSubkeys };
  void InjectFailure(Operation operation, const std::string& path, long error);

  // Inspection.
  bool HasKey(Root root, const std::string& path) const;
  std::optional<RegistryValue> GetValue(Root root, const std::string& path,
                                        const std::string& name) const;
  // Every key and value, one a line in sorted order, e.g.
  //   HKCR\Brevan.MX
  //   HKCR\Brevan.MX\CurVer @ = s 'Brevan.MX.1'
  std::string Dump() const;

 private:
  struct Node;
  struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  struct Node {
    std::map<std::string, RegistryValue, NoCaseLess> values;
    std::map<std::string, std::unique_ptr<Node>, NoCaseLess> children;
  };
  struct Failure {
    Operation operation;
    std::string path;
    long error;
  };

  // The node at `path`, or null; with `create`, missing nodes are made on the way.
  Node* Find(Root root, const std::string& path, bool create, long* error);
  const Node* Find(Root root, const std::string& path) const;
  std::optional<long> Injected(Operation operation, const std::string& path) const;
  static void DumpNode(const Node& node, const std::string& path, std::vector<std::string>* lines);

  std::array<Node, 7> roots_;
  std::vector<Failure> failures_;
};

}  // namespace registrar
