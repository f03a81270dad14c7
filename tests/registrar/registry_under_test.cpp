#include "registry_under_test.h"

#include "memory_registry.h"
#include "registry_scripts.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>

#include "win32_registry.h"
#endif

namespace registrar {
namespace {

class MemoryUnderTest : public RegistryUnderTest {
 public:
  Registry* registry() override { return &registry_; }
  std::optional<RegistryValue> Get(Root root, const std::string& path,
                                   const std::string& name) override {
    return registry_.GetValue(root, path, name);
  }
  void Clear() override {}

 private:
  MemoryRegistry registry_;
};

#ifdef _WIN32
class SystemUnderTest : public RegistryUnderTest {
 public:
  SystemUnderTest() { Clear(); }
  ~SystemUnderTest() override { Clear(); }

  Registry* registry() override { return &registry_; }

  std::optional<RegistryValue> Get(Root root, const std::string& path,
                                   const std::string& name) override {
    HKEY top = root == Root::kCurrentUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
    char buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegGetValueA(top, path.c_str(), name.empty() ? nullptr : name.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, buffer, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    if (type == REG_DWORD) {
      DWORD number;
      memcpy(&number, buffer, sizeof number);
      return RegistryValue::Dword(number);
    }
    return RegistryValue::String(buffer);
  }

  void Clear() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    for (const char* progid : {"Brevan.MX", "Brevan.MX.1", "Kestra.List", "Kestra.List.1",
                               "Kestra.ListEntries", "Kestra.ListEntries.1"}) {
      RegDeleteTreeA(HKEY_CLASSES_ROOT, progid);
    }
    for (const char* clsid : {kClsidLookup, kClsidList, kClsidListEntries}) {
      RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\{" + std::string(clsid) + "}").c_str());
    }
  }

 private:
  Win32Registry registry_;
};
#endif

}  // namespace

std::vector<RegistryKind> RegistryKinds() {
  std::vector<RegistryKind> kinds = {
      {"Memory", [] { return std::make_unique<MemoryUnderTest>(); }},
  };
#ifdef _WIN32
  kinds.push_back({"System", [] { return std::make_unique<SystemUnderTest>(); }});
#endif
  return kinds;
}

}  // namespace registrar
