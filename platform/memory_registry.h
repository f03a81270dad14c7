// A registry kept in memory (platform/registry.h): the POSIX store, loaded from its
// REGEDIT4 file, and the registry the registrar's tests and fuzzer write to. Names keep
// the case they were created with and compare without regard to case; it has one view.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mbcs.h"
#include "platform/registry.h"

namespace platform {

class MemoryRegistry final : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // Adds the keys and values of a REGEDIT4 text (platform/reg_file.h); false, adding
  // nothing, when its header is not one. Keys under a root not named by its long name,
  // or whose path begins with "\", are left out.
  bool Load(std::string_view reg_file_text);

  int OpenKey(RegRoot root, const std::string& path, RegView view) override;
  int QueryValue(RegRoot root, const std::string& path, const std::string& name, RegView view,
                 RegValue* value) override;
  int CreateKey(RegRoot root, const std::string& path) override;
  int SetValue(RegRoot root, const std::string& path, const std::string& name,
               const RegValue& value) override;
  int DeleteValue(RegRoot root, const std::string& path, const std::string& name) override;
  int DeleteKey(RegRoot root, const std::string& path) override;
  int ListSubkeys(RegRoot root, const std::string& path, std::vector<std::string>* names) override;

  // Makes every later call of `operation` on the key `path` (any root, compared
  // without regard to case) fail with `error`, as a locked or read-only key would.
  enum class Operation { kOpenKey, kCreateKey, kSetValue, kDeleteValue, kDeleteKey, kListSubkeys };
  void InjectFailure(Operation operation, const std::string& path, int error);

  // Inspection.
  bool HasKey(RegRoot root, const std::string& path) const;
  std::optional<RegValue> GetValue(RegRoot root, const std::string& path,
                                   const std::string& name) const;
  // Every key and value, one a line in sorted order, roots by their short names, e.g.
  //   HKCR\Brevan.MX
  //   HKCR\Brevan.MX\CurVer @ = s 'Brevan.MX.1'
  // (values: s 'text', d number, or the type and the bytes in hex: 3 01ff).
  std::string Dump() const;

 private:
  struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareNoCase(a, b) < 0;
    }
  };
  struct Node {
    std::map<std::string, RegValue, NoCaseLess> values;
    std::map<std::string, std::unique_ptr<Node>, NoCaseLess> children;
  };
  struct Failure {
    Operation operation;
    std::string path;
    int error;
  };

  // The node at `path`, or null with *error set; with `create`, missing nodes are made
  // on the way.
  Node* Find(RegRoot root, const std::string& path, bool create, int* error);
  const Node* Find(RegRoot root, const std::string& path) const;
  std::optional<int> Injected(Operation operation, const std::string& path) const;
  static void DumpNode(const Node& node, const std::string& path, std::vector<std::string>* lines);

  std::array<Node, std::size(kRegRootNames)> m_roots;
  std::vector<Failure> m_failures;
};

}  // namespace platform
