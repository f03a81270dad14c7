#include "script_runner.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/mbcs.h"

namespace registrar {
namespace {

using platform::Result;

// The registry allows 512 levels of keys; a deeper tree cannot exist, so a walk that
// goes further is refused rather than trusted.
constexpr std::size_t kMaxRegistryDepth = 512;

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + '\\' + name;
}

// Whether a removal left nothing behind: it succeeded, or there was nothing to remove.
template <class T>
bool Gone(const Result<T>& removed) {
  return removed || removed.failure().cause == platform::Cause::kNotFound;
}

// The key names that a script may never remove with everything below them.
bool IsProtectedKeyName(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kProtected = {
      "AppID",    "CLSID",     "Component Categories",
      "FileType", "Interface", "Hardware",
      "Mime",     "SAM",       "SECURITY",
      "SYSTEM",   "Software",  "TypeLib",
  };
  return std::ranges::any_of(kProtected,
                             [&](std::string_view p) { return platform::EqualNoCase(name, p); });
}

// Removes the key with everything below it; false when a part of it stays (a missing
// key is gone).
bool DeleteTree(platform::Registry* registry, platform::RegRoot root, const std::string& path,
                std::size_t depth) {
  if (depth > kMaxRegistryDepth) return false;
  const auto names = registry->ListSubkeys(root, path);
  if (!names) return Gone(names);
  for (const std::string& name : *names) {
    if (!DeleteTree(registry, root, Join(path, name), depth + 1)) return false;
  }
  return Gone(registry->DeleteKey(root, path));
}

Result<void> Register(platform::Registry* registry, platform::RegRoot root,
                      const std::string& parent, const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      if (auto r = registry->SetValue(root, parent, entry.name, *entry.value); !r) return r;
      continue;
    }
    const std::string path = Join(parent, entry.name);
    const bool protected_name = IsProtectedKeyName(entry.name);
    if (entry.flag == ScriptEntry::Flag::kDelete) {
      if (!protected_name) DeleteTree(registry, root, path, 0);
      continue;
    }
    // A failed removal is no failure: the key is then opened and written over.
    if (entry.flag == ScriptEntry::Flag::kForceRemove && !protected_name) {
      DeleteTree(registry, root, path, 0);
    }
    if (auto r = registry->CreateKey(root, path); !r) return r;
    if (entry.value) {
      if (auto r = registry->SetValue(root, path, {}, *entry.value); !r) return r;
    }
    if (auto r = Register(registry, root, path, entry.children); !r) return r;
  }
  return {};
}

Result<void> Unregister(platform::Registry* registry, platform::RegRoot root,
                        const std::string& parent, const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      if (auto r = registry->DeleteValue(root, parent, entry.name); !Gone(r)) return r;
      continue;
    }
    if (entry.flag == ScriptEntry::Flag::kDelete) continue;  // a register-time action
    const std::string path = Join(parent, entry.name);
    const Result<void> opened = registry->OpenKey(root, path, platform::RegView::kOwn);
    if (!opened && Gone(opened)) continue;  // nothing to unregister
    if (!opened) return opened;
    if (auto r = Unregister(registry, root, path, entry.children); !r) return r;
    if (entry.flag == ScriptEntry::Flag::kNoRemove) continue;
    const auto left = registry->ListSubkeys(root, path);
    if (!left) return left.failure();
    if (!left->empty()) continue;  // keys the script does not know of stay, and so does this
    if (auto r = registry->DeleteKey(root, path); !Gone(r)) return r;
  }
  return {};
}

}  // namespace

HResult RunScript(std::string_view text, const Replacements& replacements, Mode mode,
                  platform::Registry* registry) {
  const Result<std::string> expanded = ExpandReplacements(text, replacements);
  if (!expanded) return FromFailure(expanded.failure());
  const Result<Script> script = ParseScript(*expanded);
  if (!script) return FromFailure(script.failure());
  for (const ScriptRoot& root : script->roots) {
    const Result<void> done = mode == Mode::kRegister
                                  ? Register(registry, root.root, {}, root.entries)
                                  : Unregister(registry, root.root, {}, root.entries);
    if (!done) return FromFailure(done.failure());
  }
  return kOk;
}

}  // namespace registrar
