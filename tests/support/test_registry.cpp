#include "test_registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testreg {

#ifdef _WIN32

namespace {
REGSAM ViewFlag(platform::RegView view) {
  switch (view) {
    case platform::RegView::k32:
      return KEY_WOW64_32KEY;
    case platform::RegView::k64:
      return KEY_WOW64_64KEY;
    case platform::RegView::kOwn:
      break;
  }
  return 0;
}

void DeleteTestTrees() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) !=
        ERROR_SUCCESS) {
      continue;
    }
    RegDeleteTreeA(software, "Halverd");
    RegDeleteTreeA(software, "KestraTest");
    RegCloseKey(software);
  }
}

HKEY CreateFor(const std::string& key, platform::RegView view) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                            KEY_WRITE | ViewFlag(view), nullptr, &h, nullptr);
  EXPECT_EQ(rc, ERROR_SUCCESS) << "RegCreateKeyExA " << key;
  return rc == ERROR_SUCCESS ? h : nullptr;
}
}  // namespace

ScopedRegistry::ScopedRegistry(const std::string&) {
  DeleteTestTrees();
}
ScopedRegistry::~ScopedRegistry() {
  DeleteTestTrees();
}
void ScopedRegistry::Clear() {
  DeleteTestTrees();
}
void ScopedRegistry::Flush() {}

void ScopedRegistry::SetRaw(const std::string& key, const std::string& name, std::uint32_t type,
                            const std::vector<unsigned char>& data, platform::RegView view) {
  HKEY h = CreateFor(key, view);
  if (h == nullptr) return;
  LONG rc = RegSetValueExA(h, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                           static_cast<DWORD>(data.size()));
  RegCloseKey(h);
  ASSERT_EQ(rc, ERROR_SUCCESS) << "RegSetValueExA " << name;
}

void ScopedRegistry::CreateKey(const std::string& key, platform::RegView view) {
  if (HKEY h = CreateFor(key, view)) RegCloseKey(h);
}

void ScopedRegistry::DeleteValue(const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, &h) != ERROR_SUCCESS) return;
  RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
}

#else

ScopedRegistry::ScopedRegistry(const std::string& scratch) : file_(scratch + "/registry.reg") {
  Flush();
  setenv("KESTRA_REGISTRY_FILE", file_.c_str(), 1);
}

ScopedRegistry::~ScopedRegistry() {
  unsetenv("KESTRA_REGISTRY_FILE");
  std::remove(file_.c_str());
}

void ScopedRegistry::Clear() {
  keys_.clear();
  Flush();
}

void ScopedRegistry::SetRaw(const std::string& key, const std::string& name, std::uint32_t type,
                            const std::vector<unsigned char>& data, platform::RegView) {
  keys_[key][name] = {type, data};
  Flush();
}

void ScopedRegistry::CreateKey(const std::string& key, platform::RegView) {
  keys_[key];
  Flush();
}

void ScopedRegistry::DeleteValue(const std::string& key, const std::string& name) {
  auto it = keys_.find(key);
  if (it != keys_.end()) it->second.erase(name);
  Flush();
}

// Every value is written in hex(N) form, which holds any type and any bytes exactly;
// the store's own tests cover the other notations.
void ScopedRegistry::Flush() {
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  out << "REGEDIT4\r\n";
  for (const auto& [key, values] : keys_) {
    out << "\r\n[HKEY_LOCAL_MACHINE\\" << key << "]\r\n";
    for (const auto& [name, value] : values) {
      out << '"';
      for (char c : name) {
        if (c == '\\' || c == '"') out << '\\';
        out << c;
      }
      char head[32];
      std::snprintf(head, sizeof head, "\"=hex(%x):", static_cast<unsigned>(value.first));
      out << head;
      for (std::size_t i = 0; i < value.second.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", value.second[i]);
        out << (i ? "," : "") << b;
      }
      out << "\r\n";
    }
  }
}

#endif

void ScopedRegistry::SetString(const std::string& key, const std::string& name,
                               const std::string& value, platform::RegView view) {
  std::vector<unsigned char> data(value.begin(), value.end());
  data.push_back(0);
  SetRaw(key, name, 1, data, view);
}

void ScopedRegistry::SetNumber(const std::string& key, const std::string& name,
                               std::uint32_t value) {
  SetRaw(key, name, 4,
         {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

}  // namespace testreg
