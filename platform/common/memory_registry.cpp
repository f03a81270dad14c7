#include "platform/memory_registry.h"

#include "platform/errors.h"
#include "platform/reg_file.h"

namespace platform {
namespace {

// The names of a path, empty names skipped; nothing when it begins with "\", as the
// system registry refuses it.
std::optional<std::vector<std::string>> SplitPath(std::string_view path) {
  if (!path.empty() && path.front() == '\\') return std::nullopt;
  std::vector<std::string> names;
  while (!path.empty()) {
    const std::size_t end = path.find('\\');
    const std::string_view name = path.substr(0, end);
    if (!name.empty()) names.emplace_back(name);
    path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
  }
  return names;
}

}  // namespace

bool MemoryRegistry::Load(std::string_view reg_file_text) {
  const std::optional<RegFile> file = ParseRegFile(reg_file_text);
  if (!file) return false;
  for (const RegFileKey& key : file->keys) {
    const std::string_view path = key.path;
    const std::size_t slash = path.find('\\');
    const std::optional<RegRoot> root = FindRegRoot(path.substr(0, slash), RegRootForms::kLong);
    if (!root) continue;
    const Result<Node*> node =
        Find(*root, slash == std::string_view::npos ? "" : key.path.substr(slash + 1), true);
    if (!node) continue;
    for (const auto& [name, value] : key.values) (*node)->values.insert_or_assign(name, value);
  }
  return true;
}

Result<MemoryRegistry::Node*> MemoryRegistry::Find(RegRoot root, const std::string& path,
                                                   bool create) {
  const std::optional<std::vector<std::string>> names = SplitPath(path);
  if (!names) return RegFailure(syserr::kBadPathname);
  Node* node = &m_roots[static_cast<std::size_t>(root)];
  for (const std::string& name : *names) {
    auto it = node->children.find(name);
    if (it == node->children.end()) {
      if (!create) return RegFailure(syserr::kFileNotFound);
      it = node->children.emplace(name, std::make_unique<Node>()).first;
    }
    node = it->second.get();
  }
  return node;
}

Result<void> MemoryRegistry::OpenKey(RegRoot root, const std::string& path, RegView) {
  if (const Result<Node*> node = Find(root, path, false); !node) return node.failure();
  return {};
}

Result<RegValue> MemoryRegistry::QueryValue(RegRoot root, const std::string& path,
                                            const std::string& name, RegView) {
  const Result<Node*> node = Find(root, path, false);
  if (!node) return node.failure();
  auto it = (*node)->values.find(name);
  if (it == (*node)->values.end()) return RegFailure(syserr::kFileNotFound);
  return it->second;
}

Result<void> MemoryRegistry::CreateKey(RegRoot root, const std::string& path) {
  if (const Result<Node*> node = Find(root, path, true); !node) return node.failure();
  return {};
}

Result<void> MemoryRegistry::SetValue(RegRoot root, const std::string& path,
                                      const std::string& name, const RegValue& value) {
  const Result<Node*> node = Find(root, path, false);
  if (!node) return node.failure();
  (*node)->values.insert_or_assign(name, value);
  return {};
}

Result<void> MemoryRegistry::DeleteValue(RegRoot root, const std::string& path,
                                         const std::string& name) {
  const Result<Node*> node = Find(root, path, false);
  if (!node) return node.failure();
  if (!(*node)->values.erase(name)) return RegFailure(syserr::kFileNotFound);
  return {};
}

Result<void> MemoryRegistry::DeleteKey(RegRoot root, const std::string& path) {
  const std::optional<std::vector<std::string>> names = SplitPath(path);
  if (!names) return RegFailure(syserr::kBadPathname);
  if (names->empty()) return RegFailure(syserr::kAccessDenied);  // a root is never deleted
  // The parent: the path up to its last name.
  const Result<Node*> parent = Find(root, path.substr(0, path.rfind(names->back())), false);
  if (!parent) return parent.failure();
  auto& children = (*parent)->children;
  auto it = children.find(names->back());
  if (it == children.end()) return RegFailure(syserr::kFileNotFound);
  // As RegDeleteKey answers.
  if (!it->second->children.empty()) return RegFailure(syserr::kAccessDenied);
  children.erase(it);
  return {};
}

Result<std::vector<std::string>> MemoryRegistry::ListSubkeys(RegRoot root,
                                                             const std::string& path) {
  const Result<Node*> node = Find(root, path, false);
  if (!node) return node.failure();
  std::vector<std::string> names;
  for (const auto& child : (*node)->children) names.push_back(child.first);
  return names;
}

}  // namespace platform
