// The system registry behind platform/registry.h. Names and texts are in the ANSI code
// page. Every call opens the key it needs and closes it before returning.
#include <windows.h>

#include "platform/registry.h"
#include "platform/win32/owned.h"

namespace platform {
namespace {

// The predefined key of each root, in RegRoot's order.
HKEY RootKey(RegRoot root) {
  static const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,     HKEY_LOCAL_MACHINE,
                                HKEY_USERS,        HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                                HKEY_DYN_DATA};
  return kRoots[static_cast<std::size_t>(root)];
}

REGSAM ViewFlag(RegView view) {
  return view == RegView::k32 ? KEY_WOW64_32KEY : view == RegView::k64 ? KEY_WOW64_64KEY : 0;
}

const char* ValueName(const std::string& name) {
  return name.empty() ? nullptr : name.c_str();
}

Result<void> Checked(LONG rc) {
  if (rc != ERROR_SUCCESS) return RegFailure(static_cast<int>(rc));
  return {};
}

Result<void> Open(RegRoot root, const std::string& path, REGSAM access, OwnedRegKey* key) {
  return Checked(RegOpenKeyExA(RootKey(root), path.c_str(), 0, access, key->put()));
}

// A value may change between asking for its size and reading it; a few tries settle
// that, after which the read fails with ERROR_MORE_DATA.
constexpr int kReadAttempts = 4;

// The value `name` of an open key: its type, and its bytes whatever their length.
Result<RegValue> Read(HKEY key, const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<unsigned char> data;
  for (int attempt = 1; rc == ERROR_SUCCESS && size > 0; ++attempt) {
    data.assign(size, 0);
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (rc == ERROR_SUCCESS) {
      data.resize(size);
      break;
    }
    if (rc == ERROR_MORE_DATA && attempt < kReadAttempts) rc = ERROR_SUCCESS;
  }
  if (rc != ERROR_SUCCESS) return RegFailure(static_cast<int>(rc));
  return RegValue{type, std::move(data)};
}

class SystemRegistry final : public Registry {
 public:
  Result<void> OpenKey(RegRoot root, const std::string& path, RegView view) override {
    OwnedRegKey key;
    return Open(root, path, KEY_READ | ViewFlag(view), &key);
  }

  Result<RegValue> QueryValue(RegRoot root, const std::string& path, const std::string& name,
                              RegView view) override {
    OwnedRegKey key;
    if (Result<void> opened = Open(root, path, KEY_READ | ViewFlag(view), &key); !opened) {
      return opened.failure();
    }
    return Read(key.get(), name);
  }

  Result<RegValue> QueryValueOfFirstKey(RegRoot root, const std::string& path,
                                        const std::string& name, RegView first,
                                        RegView second) override {
    OwnedRegKey key;
    Result<void> opened = Open(root, path, KEY_READ | ViewFlag(first), &key);
    if (!opened && opened.failure().code == ERROR_FILE_NOT_FOUND) {
      opened = Open(root, path, KEY_READ | ViewFlag(second), &key);
    }
    if (!opened) return opened.failure();
    return Read(key.get(), name);
  }

  Result<void> CreateKey(RegRoot root, const std::string& path) override {
    OwnedRegKey key;
    return Checked(RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
  }

  Result<void> SetValue(RegRoot root, const std::string& path, const std::string& name,
                        const RegValue& value) override {
    OwnedRegKey key;
    if (Result<void> opened = Open(root, path, KEY_SET_VALUE, &key); !opened) return opened;
    return Checked(RegSetValueExA(key.get(), ValueName(name), 0, value.type, value.data.data(),
                                  static_cast<DWORD>(value.data.size())));
  }

  Result<void> DeleteValue(RegRoot root, const std::string& path,
                           const std::string& name) override {
    OwnedRegKey key;
    if (Result<void> opened = Open(root, path, KEY_SET_VALUE, &key); !opened) return opened;
    return Checked(RegDeleteValueA(key.get(), ValueName(name)));
  }

  Result<void> DeleteKey(RegRoot root, const std::string& path) override {
    return Checked(RegDeleteKeyA(RootKey(root), path.c_str()));
  }

  Result<std::vector<std::string>> ListSubkeys(RegRoot root, const std::string& path) override {
    OwnedRegKey key;
    if (Result<void> opened = Open(root, path, KEY_READ, &key); !opened) return opened.failure();
    DWORD count = 0;
    DWORD longest = 0;
    if (LONG rc = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr)) {
      return RegFailure(static_cast<int>(rc));
    }
    std::vector<std::string> names;
    std::string buffer(longest + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
      DWORD size = static_cast<DWORD>(buffer.size());
      const LONG rc =
          RegEnumKeyExA(key.get(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return RegFailure(static_cast<int>(rc));
      names.emplace_back(buffer.data(), size);
    }
    return names;
  }
};

}  // namespace

std::unique_ptr<Registry> OpenSystemRegistry() {
  return std::make_unique<SystemRegistry>();
}

}  // namespace platform
