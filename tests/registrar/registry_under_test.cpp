#include "registry_under_test.h"

#include "platform/memory_registry.h"
#include "registry_scripts.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#endif

namespace registrar {
namespace {

using platform::RegRoot;
using platform::RegValue;

class MemoryUnderTest : public RegistryUnderTest {
 public:
  platform::Registry* registry() override { return &m_registry; }
  std::optional<RegValue> Get(RegRoot root, const std::string& path,
                              const std::string& name) override {
    RegValue value;
    if (m_registry.QueryValue(root, path, name, platform::RegView::kOwn, &value) != 0) return {};
    return value;
  }
  void Clear() override {}

 private:
  platform::MemoryRegistry m_registry;
};

#ifdef _WIN32
// The system registry, read back through the system's own calls.
class SystemUnderTest : public RegistryUnderTest {
 public:
  SystemUnderTest() { Clear(); }
  ~SystemUnderTest() override { Clear(); }

  platform::Registry* registry() override { return m_registry.get(); }

  std::optional<RegValue> Get(RegRoot root, const std::string& path,
                              const std::string& name) override {
    HKEY top = root == RegRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
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
      return RegValue::Dword(number);
    }
    return RegValue::String(buffer);
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
  std::unique_ptr<platform::Registry> m_registry = platform::OpenSystemRegistry();
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
