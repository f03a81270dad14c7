// The registry: one interface with two implementations.
//
//   OpenSystemRegistry()  Windows: the system registry (platform/win32/registry_win32.cpp).
//                         POSIX: a MemoryRegistry loaded from a REGEDIT4 file, the
//                         store named by KESTRA_REGISTRY_FILE (/etc/kestra/registry.reg
//                         when that is unset or empty), read afresh at every call; a
//                         missing file is an empty registry.
//   MemoryRegistry        (platform/memory_registry.h) a registry kept in memory: the
//                         POSIX store, the registrar's tests and its fuzzer.
//
// Keys are addressed by a root and a path of names separated by "\". A path that begins
// with "\" is refused (syserr::kBadPathname); empty names are skipped, so a trailing "\"
// changes nothing. Key and value names compare without regard to case (platform/mbcs.h);
// an empty value name is the key's default value. A failed call carries the system's
// error code (platform/errors.h) and its cause (RegFailure): a missing key or value is
// kNotFound with syserr::kFileNotFound.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform {

// The predefined roots, in the order of their Windows codes (HKEY_CLASSES_ROOT is
// 0x80000000, each next one a step further).
enum class RegRoot {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kPerformanceData,
  kCurrentConfig,
  kDynData,
};

// The one table of root names: the long name registry files and key paths use, and the
// short one registry scripts may use besides.
struct RegRootNames {
  RegRoot root;
  std::string_view name;
  std::string_view short_name;
};
inline constexpr RegRootNames kRegRootNames[] = {
    {RegRoot::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegRoot::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::kUsers, "HKEY_USERS", "HKU"},
    {RegRoot::kPerformanceData, "HKEY_PERFORMANCE_DATA", "HKPD"},
    {RegRoot::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {RegRoot::kDynData, "HKEY_DYN_DATA", "HKDD"},
};

enum class RegRootForms { kLong, kLongOrShort };
// The root `name` names, without regard to case; nothing for any other text.
std::optional<RegRoot> FindRegRoot(std::string_view name, RegRootForms forms);

// Registry value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A value as the registry holds it: a type and bytes, whatever the type.
struct RegValue {
  std::uint32_t type = kRegSz;
  std::vector<unsigned char> data;

  // REG_SZ: the text and its NUL.
  static RegValue String(std::string_view text);
  // REG_DWORD: four bytes, least significant first.
  static RegValue Dword(std::uint32_t number);
  // The bytes up to the first NUL (all of them when there is none).
  std::string Text() const;
  // The number of a four-byte value; nothing for any other length.
  std::optional<std::uint32_t> Number() const;

  friend bool operator==(const RegValue&, const RegValue&) = default;
};

// Which of the two registry views of 64-bit Windows a read reaches: the caller's own
// (SOFTWARE of a 32-bit process is SOFTWARE\Wow6432Node of a 64-bit one), the 32-bit
// view or the 64-bit view, whatever the caller's bitness. 32-bit-only Windows has one
// view and ignores the choice, as does a MemoryRegistry.
enum class RegView { kOwn, k32, k64 };

class Registry {
 public:
  virtual ~Registry() = default;

  // Succeeds when the key exists (and may be read).
  virtual Result<void> OpenKey(RegRoot root, const std::string& path, RegView view) = 0;
  virtual Result<RegValue> QueryValue(RegRoot root, const std::string& path,
                                      const std::string& name, RegView view) = 0;
  // The value of the key in view `first`, or in view `second` when `first` has no such
  // key (a missing value in `first` is a missing value): a value read with one open of
  // the key where `first` has it.
  virtual Result<RegValue> QueryValueOfFirstKey(RegRoot root, const std::string& path,
                                                const std::string& name, RegView first,
                                                RegView second) = 0;
  // Opens the key or creates it, with any missing keys above it.
  virtual Result<void> CreateKey(RegRoot root, const std::string& path) = 0;
  virtual Result<void> SetValue(RegRoot root, const std::string& path, const std::string& name,
                                const RegValue& value) = 0;
  virtual Result<void> DeleteValue(RegRoot root, const std::string& path,
                                   const std::string& name) = 0;
  // Deletes a key that has no subkeys, with its values.
  virtual Result<void> DeleteKey(RegRoot root, const std::string& path) = 0;
  // The names of the key's direct subkeys.
  virtual Result<std::vector<std::string>> ListSubkeys(RegRoot root, const std::string& path) = 0;
};

// The failure of a registry call the system answered with `code`: kNotFound for a
// missing key or value (kFileNotFound, kPathNotFound), kInvalidInput for a path or
// argument it refuses, kNoMemory, else kSystem.
Failure RegFailure(int code);

// The registry of this machine (see the top of this file).
std::unique_ptr<Registry> OpenSystemRegistry();

#ifndef _WIN32
// The path of the POSIX store: $KESTRA_REGISTRY_FILE or /etc/kestra/registry.reg.
std::string RegistryFilePath();
#endif

}  // namespace platform
