#include "registry_support.h"

#include <cstdio>

namespace testbed {
namespace {

using platform::MemoryRegistry;
using platform::RegValue;

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

std::string Dump(const MemoryRegistry& registry) {
  std::string out;
  for (const platform::RegRootNames& names : platform::kRegRootNames) {
    DumpNode(registry.Root(names.root), std::string(names.short_name), &out);
  }
  return out;
}

}  // namespace testbed
