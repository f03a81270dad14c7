#include "win32_registry.h"

#include <windows.h>

namespace registrar {
namespace {

HKEY RootKey(Root root) {
  switch (root) {
    case Root::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case Root::kCurrentUser:
      return HKEY_CURRENT_USER;
    case Root::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case Root::kUsers:
      return HKEY_USERS;
    case Root::kPerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case Root::kDynData:
      return HKEY_DYN_DATA;
    case Root::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CLASSES_ROOT;
}

// An open key, closed on every path.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  long Open(Root root, const std::string& path, REGSAM access) {
    return RegOpenKeyExA(RootKey(root), path.c_str(), 0, access, &key_);
  }
  long Create(Root root, const std::string& path) {
    return RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

long Win32Registry::OpenKey(Root root, const std::string& path) {
  Key key;
  return key.Open(root, path, KEY_READ);
}

long Win32Registry::CreateKey(Root root, const std::string& path) {
  Key key;
  return key.Create(root, path);
}

long Win32Registry::SetValue(Root root, const std::string& path, const std::string& name,
                             const RegistryValue& value) {
  Key key;
  if (long e = key.Open(root, path, KEY_SET_VALUE)) return e;
  const char* value_name = name.empty() ? nullptr : name.c_str();
  if (value.type == RegistryValue::Type::kDword) {
    const DWORD number = value.number;
    return RegSetValueExA(key.get(), value_name, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  return RegSetValueExA(key.get(), value_name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.text.c_str()),
                        static_cast<DWORD>(value.text.size() + 1));
}

long Win32Registry::DeleteValue(Root root, const std::string& path, const std::string& name) {
  Key key;
  if (long e = key.Open(root, path, KEY_SET_VALUE)) return e;
  return RegDeleteValueA(key.get(), name.empty() ? nullptr : name.c_str());
}

long Win32Registry::DeleteKey(Root root, const std::string& path) {
  return RegDeleteKeyA(RootKey(root), path.c_str());
}

long Win32Registry::ListSubkeys(Root root, const std::string& path,
                                std::vector<std::string>* names) {
  Key key;
  if (long e = key.Open(root, path, KEY_READ)) return e;
  DWORD count = 0;
  DWORD longest = 0;
  if (long e = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return e;
  }
  names->clear();
  std::string buffer(longest + 1, '\0');
  for (DWORD i = 0; i < count; ++i) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const long e =
        RegEnumKeyExA(key.get(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e) return e;
    names->emplace_back(buffer.data(), size);
  }
  return ERROR_SUCCESS;
}

}  // namespace registrar
