// A registry kept in memory (platform/registry.h): the POSIX store, loaded from its
// REGEDIT4 file, and the registry the registrar's tests and fuzzer write to. Names keep
// the case they were created with and compare without regard to case; it has one view.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mbcs.h"
#include "platform/registry.h"

namespace platform {

class MemoryRegistry : public Registry {
 public:
  struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareNoCase(a, b) < 0;
    }
  };
  // One key: its values ("" is the default value) and its subkeys.
  struct Node {
    std::map<std::string, RegValue, NoCaseLess> values;
    std::map<std::string, std::unique_ptr<Node>, NoCaseLess> children;
  };

  MemoryRegistry() = default;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // Adds the keys and values of a REGEDIT4 text (platform/reg_file.h); false, adding
  // nothing, when its header is not one. Keys under a root not named by its long name,
  // or whose path begins with "\", are left out.
  bool Load(std::string_view reg_file_text);

  Result<void> OpenKey(RegRoot root, const std::string& path, RegView view) override;
  Result<RegValue> QueryValue(RegRoot root, const std::string& path, const std::string& name,
                              RegView view) override;
  // One view: the value of the key, whatever the views.
  Result<RegValue> QueryValueOfFirstKey(RegRoot root, const std::string& path,
                                        const std::string& name, RegView first, RegView) override {
    return QueryValue(root, path, name, first);
  }
  Result<void> CreateKey(RegRoot root, const std::string& path) override;
  Result<void> SetValue(RegRoot root, const std::string& path, const std::string& name,
                        const RegValue& value) override;
  Result<void> DeleteValue(RegRoot root, const std::string& path, const std::string& name) override;
  Result<void> DeleteKey(RegRoot root, const std::string& path) override;
  Result<std::vector<std::string>> ListSubkeys(RegRoot root, const std::string& path) override;

  // The top of one root, for reading the whole registry back.
  const Node& Root(RegRoot root) const { return m_roots[static_cast<std::size_t>(root)]; }

 private:
  // The node at `path`; with `create`, missing nodes are made on the way.
  Result<Node*> Find(RegRoot root, const std::string& path, bool create);

  std::array<Node, std::size(kRegRootNames)> m_roots;
};

}  // namespace platform
