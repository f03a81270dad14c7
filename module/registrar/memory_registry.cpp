#include "memory_registry.h"

#include <algorithm>
#include <cstddef>

#include "result.h"
#include "script.h"

namespace registrar {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The names of a path; false for an empty name inside it ("a\\b", "\a", "a\").
bool SplitPath(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  if (path.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('\\', start);
    const std::string name = path.substr(start, end == std::string::npos ? end : end - start);
    if (name.empty()) return false;
    names->push_back(name);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

const char* RootName(std::size_t index) {
  static constexpr const char* kNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKDD", "HKCC"};
  return kNames[index];
}

}  // namespace

bool MemoryRegistry::NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::InjectFailure(Operation operation, const std::string& path, long error) {
  failures_.push_back({operation, path, error});
}

std::optional<long> MemoryRegistry::Injected(Operation operation, const std::string& path) const {
  for (const Failure& f : failures_) {
    if (f.operation == operation && EqualsNoCase(f.path, path)) return f.error;
  }
  return std::nullopt;
}

MemoryRegistry::Node* MemoryRegistry::Find(Root root, const std::string& path, bool create,
                                           long* error) {
  std::vector<std::string> names;
  if (!SplitPath(path, &names)) {
    *error = kErrorInvalidParameter;
    return nullptr;
  }
  Node* node = &roots_[static_cast<std::size_t>(root)];
  for (const std::string& name : names) {
    auto it = node->children.find(name);
    if (it == node->children.end()) {
      if (!create) {
        *error = kErrorFileNotFound;
        return nullptr;
      }
      it = node->children.emplace(name, std::make_unique<Node>()).first;
    }
    node = it->second.get();
  }
  *error = kErrorSuccess;
  return node;
}

const MemoryRegistry::Node* MemoryRegistry::Find(Root root, const std::string& path) const {
  long error = 0;
  return const_cast<MemoryRegistry*>(this)->Find(root, path, false, &error);
}

long MemoryRegistry::OpenKey(Root root, const std::string& path) {
  if (auto e = Injected(Operation::kOpenKey, path)) return *e;
  long error = 0;
  Find(root, path, false, &error);
  return error;
}

long MemoryRegistry::CreateKey(Root root, const std::string& path) {
  if (auto e = Injected(Operation::kCreateKey, path)) return *e;
  long error = 0;
  Find(root, path, true, &error);
  return error;
}

long MemoryRegistry::SetValue(Root root, const std::string& path, const std::string& name,
                              const RegistryValue& value) {
  if (auto e = Injected(Operation::kSetValue, path)) return *e;
  long error = 0;
  Node* node = Find(root, path, false, &error);
  if (!node) return error;
  auto it = node->values.find(name);
  if (it == node->values.end()) {
    node->values.emplace(name, value);
  } else {
    it->second = value;
  }
  return kErrorSuccess;
}

long MemoryRegistry::DeleteValue(Root root, const std::string& path, const std::string& name) {
  if (auto e = Injected(Operation::kDeleteValue, path)) return *e;
  long error = 0;
  Node* node = Find(root, path, false, &error);
  if (!node) return error;
  return node->values.erase(name) ? kErrorSuccess : kErrorFileNotFound;
}

long MemoryRegistry::DeleteKey(Root root, const std::string& path) {
  if (auto e = Injected(Operation::kDeleteKey, path)) return *e;
  std::vector<std::string> names;
  if (!SplitPath(path, &names) || names.empty()) return kErrorInvalidParameter;
  const std::string last = names.back();
  const std::size_t cut = path.size() - last.size();
  long error = 0;
  Node* parent = Find(root, path.substr(0, cut ? cut - 1 : 0), false, &error);
  if (!parent) return error;
  auto it = parent->children.find(last);
  if (it == parent->children.end()) return kErrorFileNotFound;
  if (!it->second->children.empty()) return kErrorAccessDenied;  // as RegDeleteKey answers
  parent->children.erase(it);
  return kErrorSuccess;
}

long MemoryRegistry::ListSubkeys(Root root, const std::string& path,
                                 std::vector<std::string>* names) {
  if (auto e = Injected(Operation::kListSubkeys, path)) return *e;
  long error = 0;
  Node* node = Find(root, path, false, &error);
  if (!node) return error;
  names->clear();
  for (const auto& child : node->children) names->push_back(child.first);
  return kErrorSuccess;
}

bool MemoryRegistry::HasKey(Root root, const std::string& path) const {
  return Find(root, path) != nullptr;
}

std::optional<RegistryValue> MemoryRegistry::GetValue(Root root, const std::string& path,
                                                      const std::string& name) const {
  const Node* node = Find(root, path);
  if (!node) return std::nullopt;
  auto it = node->values.find(name);
  if (it == node->values.end()) return std::nullopt;
  return it->second;
}

void MemoryRegistry::DumpNode(const Node& node, const std::string& path,
                              std::vector<std::string>* lines) {
  for (const auto& [name, value] : node.values) {
    std::string line = path + ' ' + (name.empty() ? "@" : name) + " = ";
    line += value.type == RegistryValue::Type::kString ? "s '" + value.text + "'"
                                                       : "d " + std::to_string(value.number);
    lines->push_back(std::move(line));
  }
  for (const auto& [name, child] : node.children) {
    const std::string child_path = path + '\\' + name;
    lines->push_back(child_path);
    DumpNode(*child, child_path, lines);
  }
}

std::string MemoryRegistry::Dump() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < roots_.size(); ++i) DumpNode(roots_[i], RootName(i), &lines);
  std::string out;
  for (const std::string& line : lines) out += line + '\n';
  return out;
}

}  // namespace registrar
