#include "script_runner.h"

#include <array>
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
  for (std::string_view p : kProtected) {
    if (platform::EqualNoCase(name, p)) return true;
  }
  return false;
}

}  // namespace

HResult ScriptRunner::Run(const Script& script, Mode mode) {
  for (const ScriptRoot& root : script.roots) {
    const Result<void> done = mode == Mode::kRegister ? Register(root.root, {}, root.entries)
                                                      : Unregister(root.root, {}, root.entries);
    if (!done) return FromFailure(done.failure());
  }
  return kOk;
}

Result<void> ScriptRunner::Register(platform::RegRoot root, const std::string& parent,
                                    const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      if (auto r = m_pRegistry->SetValue(root, parent, entry.name, *entry.value); !r) return r;
      continue;
    }
    const std::string path = Join(parent, entry.name);
    const bool protected_name = IsProtectedKeyName(entry.name);
    if (entry.flag == ScriptEntry::Flag::kDelete) {
      if (!protected_name) DeleteTree(root, path, 0);
      continue;
    }
    // A failed removal is no failure: the key is then opened and written over.
    if (entry.flag == ScriptEntry::Flag::kForceRemove && !protected_name) {
      DeleteTree(root, path, 0);
    }
    if (auto r = m_pRegistry->CreateKey(root, path); !r) return r;
    if (entry.value) {
      if (auto r = m_pRegistry->SetValue(root, path, {}, *entry.value); !r) return r;
    }
    if (auto r = Register(root, path, entry.children); !r) return r;
  }
  return {};
}

Result<void> ScriptRunner::Unregister(platform::RegRoot root, const std::string& parent,
                                      const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      if (auto r = m_pRegistry->DeleteValue(root, parent, entry.name); !Gone(r)) return r;
      continue;
    }
    if (entry.flag == ScriptEntry::Flag::kDelete) continue;  // a register-time action
    const std::string path = Join(parent, entry.name);
    const Result<void> opened = m_pRegistry->OpenKey(root, path, platform::RegView::kOwn);
    if (!opened && Gone(opened)) continue;  // nothing to unregister
    if (!opened) return opened;
    if (auto r = Unregister(root, path, entry.children); !r) return r;
    if (entry.flag == ScriptEntry::Flag::kNoRemove) continue;
    const auto left = m_pRegistry->ListSubkeys(root, path);
    if (!left) return left.failure();
    if (!left->empty()) continue;  // keys the script does not know of stay, and so does this
    if (auto r = m_pRegistry->DeleteKey(root, path); !Gone(r)) return r;
  }
  return {};
}

bool ScriptRunner::DeleteTree(platform::RegRoot root, const std::string& path, std::size_t depth) {
  if (depth > kMaxRegistryDepth) return false;
  const auto names = m_pRegistry->ListSubkeys(root, path);
  if (!names) return Gone(names);
  for (const std::string& name : *names) {
    if (!DeleteTree(root, Join(path, name), depth + 1)) return false;
  }
  return Gone(m_pRegistry->DeleteKey(root, path));
}

HResult RunScript(std::string_view text, const Replacements& replacements, Mode mode,
                  platform::Registry* registry) {
  std::string expanded;
  if (HResult hr = ExpandReplacements(text, replacements, &expanded); Failed(hr)) return hr;
  const std::optional<Script> script = ParseScript(expanded);
  if (!script) return kDispException;
  return ScriptRunner(registry).Run(*script, mode);
}

}  // namespace registrar
