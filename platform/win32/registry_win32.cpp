// The system registry behind platform/registry.h. Names and texts are in the ANSI code
// page. Every call opens the key it needs and closes it before returning.
#include <windows.h>

#include "platform/registry.h"
#include "platform/win32/owned.h"

namespace platform {
namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
      return HKEY_USERS;
    case RegRoot::kPerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case RegRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegRoot::kDynData:
      return HKEY_DYN_DATA;
  }
  return HKEY_CLASSES_ROOT;
}

REGSAM ViewFlag(RegView view) {
  switch (view) {
    case RegView::k32:
      return KEY_WOW64_32KEY;
    case RegView::k64:
      return KEY_WOW64_64KEY;
    case RegView::kOwn:
      break;
  }
  return 0;
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
  for (int attempt = 0; rc == ERROR_SUCCESS && size > 0; ++attempt) {
    data.assign(size, 0);
    DWORD got = size;
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (rc == ERROR_MORE_DATA && attempt + 1 < kReadAttempts) {
      size = got;
      rc = ERROR_SUCCESS;
      continue;
    }
    data.resize(got);
    break;
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
