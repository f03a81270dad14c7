// Registry contents written by a test, in the real registry on Windows (the test's own
// Wine prefix) and in the .reg store that KESTRA_REGISTRY_FILE names on POSIX. Keys
// are paths under HKEY_LOCAL_MACHINE, written in the test's own registry view unless a
// view is named (the POSIX store has one view). The trees SOFTWARE\Halverd and
// SOFTWARE\KestraTest are emptied, in both views, when the object is made and when it
// goes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/memory_registry.h"
#include "platform/registry.h"

namespace testreg {

inline constexpr const char* kConfigKey = "SOFTWARE\\Halverd\\Tarnwick";

class ScopedRegistry {
 public:
  // `scratch` is a folder of the test's own (testbed::ScratchDir) for the POSIX store.
  explicit ScopedRegistry(const std::string& scratch);
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  void SetString(const std::string& key, const std::string& name, const std::string& value,
                 platform::RegView view = platform::RegView::kOwn);
  void SetNumber(const std::string& key, const std::string& name, std::uint32_t value);
  // Any type and bytes (REG_EXPAND_SZ, a REG_DWORD of 8 bytes, an empty REG_SZ ...).
  void SetRaw(const std::string& key, const std::string& name, std::uint32_t type,
              const std::vector<unsigned char>& data,
              platform::RegView view = platform::RegView::kOwn);
  // Makes the key (empty) without writing a value.
  void CreateKey(const std::string& key, platform::RegView view = platform::RegView::kOwn);
  void DeleteValue(const std::string& key, const std::string& name);
  // Removes everything this object wrote.
  void Clear();

 private:
  void Flush();

  std::string file_;
  // POSIX: the store's contents, written out whole after every change.
  std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::vector<unsigned char>>>>
      keys_;
};

// Two registry views in memory, for the order in which they are read where the system's
// registry has one view: k32 reads `view32`, k64 and kOwn read `view64`, which takes the
// writes (they name no view).
class TwoViewRegistry final : public platform::Registry {
 public:
  using RegRoot = platform::RegRoot;
  platform::MemoryRegistry& Of(platform::RegView view) {
    return view == platform::RegView::k32 ? view32 : view64;
  }
  int OpenKey(RegRoot root, const std::string& path, platform::RegView view) override {
    return Of(view).OpenKey(root, path, view);
  }
  int QueryValue(RegRoot root, const std::string& path, const std::string& name,
                 platform::RegView view, platform::RegValue* value) override {
    return Of(view).QueryValue(root, path, name, view, value);
  }
  int CreateKey(RegRoot root, const std::string& path) override {
    return view64.CreateKey(root, path);
  }
  int SetValue(RegRoot root, const std::string& path, const std::string& name,
               const platform::RegValue& value) override {
    return view64.SetValue(root, path, name, value);
  }
  int DeleteValue(RegRoot root, const std::string& path, const std::string& name) override {
    return view64.DeleteValue(root, path, name);
  }
  int DeleteKey(RegRoot root, const std::string& path) override {
    return view64.DeleteKey(root, path);
  }
  int ListSubkeys(RegRoot root, const std::string& path, std::vector<std::string>* names) override {
    return view64.ListSubkeys(root, path, names);
  }

  platform::MemoryRegistry view32, view64;
};

}  // namespace testreg
