#include "support/nx_reg.h"

#include <cstdio>
#include <vector>

#include "platform/errors.h"
#include "support/nx_functions.h"

namespace {

// Closes the key on every path.
class KeyCloser {
 public:
  explicit KeyCloser(platform::RegKey key) : key_(key) {}
  ~KeyCloser() { platform::RegClose(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  platform::RegKey key_;
};

// A value may change between asking for its size and reading it; a few tries settle
// that, after which the read is refused with the system's text.
constexpr int kReadAttempts = 4;

}  // namespace

platform::RegKey CNxReg::GetRootKey(const std::string& name) {
  static constexpr struct {
    const char* name;
    std::uint32_t code;
  } kRoots[] = {
      {"HKEY_CLASSES_ROOT", 0x80000000u}, {"HKEY_CURRENT_CONFIG", 0x80000005u},
      {"HKEY_CURRENT_USER", 0x80000001u}, {"HKEY_LOCAL_MACHINE", 0x80000002u},
      {"HKEY_USERS", 0x80000003u},        {"HKEY_PERFORMANCE_DATA", 0x80000004u},
      {"HKEY_DYN_DATA", 0x80000006u},
  };
  for (const auto& root : kRoots) {
    std::string_view candidate = root.name;
    if (candidate.size() == name.size() &&
        CNxFunctions::EqualNoCase(candidate.data(), name.data(), name.size())) {
      return platform::PredefinedRegKey(root.code);
    }
  }
  return platform::kNullRegKey;
}

bool CNxReg::ReadString(std::string& out, platform::RegKey root, const std::string& subkey,
                        const std::string& value_name) {
  return Read(out, root, subkey, value_name, platform::kRegSz);
}

bool CNxReg::ReadNumber(std::string& out, platform::RegKey root, const std::string& subkey,
                        const std::string& value_name) {
  return Read(out, root, subkey, value_name, platform::kRegDword);
}

bool CNxReg::Read(std::string& out, platform::RegKey root, const std::string& subkey,
                  const std::string& value_name, std::uint32_t wanted_type) {
  CNxFunctions f;
  platform::RegKey key = platform::kNullRegKey;
  // Both bitnesses must read the same key, or a site escapes its settings by running in
  // the other kind of process: the 32-bit view, and the 64-bit one when it lacks the key.
  int rc = platform::RegOpenForRead(root, subkey, &key, platform::RegView::k32);
  if (rc == platform::syserr::kFileNotFound) {
    rc = platform::RegOpenForRead(root, subkey, &key, platform::RegView::k64);
  }
  if (rc != 0) {
    f.GetSystemErrorText(out, rc);
    return false;
  }
  KeyCloser closer(key);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  rc = platform::RegQueryValueInfo(key, value_name, &type, &size);
  if (rc != 0) {
    f.GetSystemErrorText(out, rc);
    return false;
  }
  std::vector<unsigned char> data;
  for (int attempt = 0;; ++attempt) {
    if (size == 0 || type != wanted_type) {
      out = kRegistryTypeMismatch;
      return false;
    }
    // One spare byte keeps a string's end in the buffer even when it was stored
    // without its NUL.
    data.assign(static_cast<std::size_t>(size) + 1, 0);
    std::uint32_t got = size;
    rc = platform::RegQueryValueData(key, value_name, &type, data.data(), &got);
    if (rc == platform::syserr::kMoreData && attempt + 1 < kReadAttempts) {
      size = got;
      continue;
    }
    if (rc != 0) {
      f.GetSystemErrorText(out, rc);
      return false;
    }
    if (got == 0 || type != wanted_type) {
      out = kRegistryTypeMismatch;
      return false;
    }
    size = got;
    break;
  }

  if (wanted_type == platform::kRegSz) {
    std::size_t n = 0;
    while (n < size && data[n] != 0) ++n;
    out.assign(reinterpret_cast<const char*>(data.data()), n);
    return true;
  }
  if (size != 4) {
    // A number is 4 bytes; anything else is not a number this reader can give.
    out = kRegistryTypeMismatch;
    return false;
  }
  std::uint32_t number =
      static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
      (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(number));
  out = text;
  return true;
}
