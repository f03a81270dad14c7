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

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

bool MemoryRegistry::Load(std::string_view reg_file_text) {
  const std::optional<RegFile> file = ParseRegFile(reg_file_text);
  if (!file) return false;
  for (const RegFileKey& key : file->keys) {
    const std::string_view path = key.path;
    const std::size_t slash = path.find('\\');
    const std::optional<RegRoot> root = FindRegRoot(path.substr(0, slash), RegRootForms::kLong);
    if (!root) continue;
    int error = 0;
    Node* node = Find(*root, slash == std::string_view::npos ? "" : key.path.substr(slash + 1),
                      true, &error);
    if (node == nullptr) continue;
    for (const auto& [name, value] : key.values) node->values.insert_or_assign(name, value);
  }
  return true;
}

MemoryRegistry::Node* MemoryRegistry::Find(RegRoot root, const std::string& path, bool create,
                                           int* error) {
  const std::optional<std::vector<std::string>> names = SplitPath(path);
  if (!names) {
    *error = syserr::kBadPathname;
    return nullptr;
  }
  Node* node = &m_roots[static_cast<std::size_t>(root)];
  for (const std::string& name : *names) {
    auto it = node->children.find(name);
    if (it == node->children.end()) {
      if (!create) {
        *error = syserr::kFileNotFound;
        return nullptr;
      }
      it = node->children.emplace(name, std::make_unique<Node>()).first;
    }
    node = it->second.get();
  }
  *error = syserr::kSuccess;
  return node;
}

int MemoryRegistry::OpenKey(RegRoot root, const std::string& path, RegView) {
  int error = 0;
  Find(root, path, false, &error);
  return error;
}

int MemoryRegistry::QueryValue(RegRoot root, const std::string& path, const std::string& name,
                               RegView, RegValue* value) {
  int error = 0;
  const Node* node = Find(root, path, false, &error);
  if (node == nullptr) return error;
  auto it = node->values.find(name);
  if (it == node->values.end()) return syserr::kFileNotFound;
  *value = it->second;
  return syserr::kSuccess;
}

int MemoryRegistry::CreateKey(RegRoot root, const std::string& path) {
  int error = 0;
  Find(root, path, true, &error);
  return error;
}

int MemoryRegistry::SetValue(RegRoot root, const std::string& path, const std::string& name,
                             const RegValue& value) {
  int error = 0;
  Node* node = Find(root, path, false, &error);
  if (node == nullptr) return error;
  node->values.insert_or_assign(name, value);
  return syserr::kSuccess;
}

int MemoryRegistry::DeleteValue(RegRoot root, const std::string& path, const std::string& name) {
  int error = 0;
  Node* node = Find(root, path, false, &error);
  if (node == nullptr) return error;
  return node->values.erase(name) ? syserr::kSuccess : syserr::kFileNotFound;
}

int MemoryRegistry::DeleteKey(RegRoot root, const std::string& path) {
  const std::optional<std::vector<std::string>> names = SplitPath(path);
  if (!names) return syserr::kBadPathname;
  if (names->empty()) return syserr::kAccessDenied;  // a root is never deleted
  Node* parent = &m_roots[static_cast<std::size_t>(root)];
  for (std::size_t i = 0; i + 1 < names->size(); ++i) {
    auto it = parent->children.find((*names)[i]);
    if (it == parent->children.end()) return syserr::kFileNotFound;
    parent = it->second.get();
  }
  auto it = parent->children.find(names->back());
  if (it == parent->children.end()) return syserr::kFileNotFound;
  if (!it->second->children.empty()) return syserr::kAccessDenied;  // as RegDeleteKey answers
  parent->children.erase(it);
  return syserr::kSuccess;
}

int MemoryRegistry::ListSubkeys(RegRoot root, const std::string& path,
                                std::vector<std::string>* names) {
  int error = 0;
  const Node* node = Find(root, path, false, &error);
  if (node == nullptr) return error;
  names->clear();
  for (const auto& child : node->children) names->push_back(child.first);
  return syserr::kSuccess;
}

}  // namespace platform
