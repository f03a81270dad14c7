#include "script_runner.h"

#include <array>
#include <vector>

#include "platform/mbcs.h"

namespace registrar {
namespace {

// The registry allows 512 levels of keys; a deeper tree cannot exist, so a walk that
// goes further is refused rather than trusted.
constexpr std::size_t kMaxRegistryDepth = 512;

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + '\\' + name;
}

}  // namespace

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

HResult ScriptRunner::Run(const Script& script, Mode mode) {
  for (const ScriptRoot& root : script.roots) {
    const HResult hr = mode == Mode::kRegister ? Register(root.root, {}, root.entries)
                                               : Unregister(root.root, {}, root.entries);
    if (Failed(hr)) return hr;
  }
  return kOk;
}

HResult ScriptRunner::Register(platform::RegRoot root, const std::string& parent,
                               const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      if (int e = m_pRegistry->SetValue(root, parent, entry.name, *entry.value))
        return FromWin32(e);
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
    if (int e = m_pRegistry->CreateKey(root, path)) return FromWin32(e);
    if (entry.value) {
      if (int e = m_pRegistry->SetValue(root, path, {}, *entry.value)) return FromWin32(e);
    }
    if (HResult hr = Register(root, path, entry.children); Failed(hr)) return hr;
  }
  return kOk;
}

HResult ScriptRunner::Unregister(platform::RegRoot root, const std::string& parent,
                                 const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::kValue) {
      const int e = m_pRegistry->DeleteValue(root, parent, entry.name);
      if (e != platform::syserr::kSuccess && !IsMissing(e)) return FromWin32(e);
      continue;
    }
    if (entry.flag == ScriptEntry::Flag::kDelete) continue;  // a register-time action
    const std::string path = Join(parent, entry.name);
    if (int e = m_pRegistry->OpenKey(root, path, platform::RegView::kOwn)) {
      if (IsMissing(e)) continue;
      return FromWin32(e);
    }
    if (HResult hr = Unregister(root, path, entry.children); Failed(hr)) return hr;
    if (entry.flag == ScriptEntry::Flag::kNoRemove) continue;
    std::vector<std::string> left;
    if (int e = m_pRegistry->ListSubkeys(root, path, &left)) return FromWin32(e);
    if (!left.empty()) continue;  // keys the script does not know of stay, and so does this
    const int e = m_pRegistry->DeleteKey(root, path);
    if (e != platform::syserr::kSuccess && !IsMissing(e)) return FromWin32(e);
  }
  return kOk;
}

int ScriptRunner::DeleteTree(platform::RegRoot root, const std::string& path, std::size_t depth) {
  if (depth > kMaxRegistryDepth) return platform::syserr::kInvalidParameter;
  std::vector<std::string> names;
  if (int e = m_pRegistry->ListSubkeys(root, path, &names)) return e;
  for (const std::string& name : names) {
    const int e = DeleteTree(root, Join(path, name), depth + 1);
    if (e != platform::syserr::kSuccess && !IsMissing(e)) return e;
  }
  return m_pRegistry->DeleteKey(root, path);
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
