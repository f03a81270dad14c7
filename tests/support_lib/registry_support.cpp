#include "registry_support.h"

#include <cstdio>

namespace testbed {
namespace {

using platform::MemoryRegistry;
using platform::RegValue;
using Op = FailingRegistry::Operation;

std::string DumpValue(const RegValue& value) {
  if (value.type == platform::kRegSz) return "s '" + value.Text() + "'";
  if (value.type == platform::kRegDword && value.Number()) {
    return "d " + std::to_string(*value.Number());
  }
  std::string text = std::to_string(value.type) + ' ';
  for (unsigned char byte : value.data) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    text += hex;
  }
  return text;
}

void DumpNode(const MemoryRegistry::Node& node, const std::string& path, std::string* out) {
  for (const auto& [name, value] : node.values) {
    *out += path + ' ' + (name.empty() ? "@" : name) + " = " + DumpValue(value) + '\n';
  }
  for (const auto& [name, child] : node.children) {
    *out += path + '\\' + name + '\n';
    DumpNode(*child, path + '\\' + name, out);
  }
}

}  // namespace

int FailingRegistry::Picked(Operation operation, const std::string& path) const {
  for (const Failure& f : m_failures) {
    if (f.operation == operation && platform::EqualNoCase(f.path, path)) return f.error;
  }
  return 0;
}

int FailingRegistry::OpenKey(platform::RegRoot root, const std::string& path,
                             platform::RegView view) {
  if (int e = Picked(Op::kOpenKey, path)) return e;
  return m_inner->OpenKey(root, path, view);
}

int FailingRegistry::QueryValue(platform::RegRoot root, const std::string& path,
                                const std::string& name, platform::RegView view, RegValue* value) {
  return m_inner->QueryValue(root, path, name, view, value);
}

int FailingRegistry::CreateKey(platform::RegRoot root, const std::string& path) {
  if (int e = Picked(Op::kCreateKey, path)) return e;
  return m_inner->CreateKey(root, path);
}

int FailingRegistry::SetValue(platform::RegRoot root, const std::string& path,
                              const std::string& name, const RegValue& value) {
  if (int e = Picked(Op::kSetValue, path)) return e;
  return m_inner->SetValue(root, path, name, value);
}

int FailingRegistry::DeleteValue(platform::RegRoot root, const std::string& path,
                                 const std::string& name) {
  if (int e = Picked(Op::kDeleteValue, path)) return e;
  return m_inner->DeleteValue(root, path, name);
}

int FailingRegistry::DeleteKey(platform::RegRoot root, const std::string& path) {
  if (int e = Picked(Op::kDeleteKey, path)) return e;
  return m_inner->DeleteKey(root, path);
}

int FailingRegistry::ListSubkeys(platform::RegRoot root, const std::string& path,
                                 std::vector<std::string>* names) {
  if (int e = Picked(Op::kListSubkeys, path)) return e;
  return m_inner->ListSubkeys(root, path, names);
}

std::string Dump(const MemoryRegistry& registry) {
  std::string out;
  for (const platform::RegRootNames& names : platform::kRegRootNames) {
    DumpNode(registry.Root(names.root), std::string(names.short_name), &out);
  }
  return out;
}

}  // namespace testbed
