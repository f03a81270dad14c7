// Read-only registry access, shaped like RegOpenKeyExA / RegQueryValueExA so that the
// support library runs the same steps on both platforms.
//
// Windows: the system registry. POSIX: a store read from a REGEDIT4 text file, the
// format regedit exports:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick]
//   "InstallationPath"="/srv/gatehouse"
//   "EnableGatehouse"=dword:00000001
//
// The file is named by the environment variable KESTRA_REGISTRY_FILE, and is
// /etc/kestra/registry.reg when that is unset or empty. It is read afresh at every
// open; a missing file is an empty registry. Key and value names match without regard
// to case; keys exist when they or a key below them are listed. Values: "text"
// (REG_SZ, with \\ and \" escapes), dword:XXXXXXXX (REG_DWORD), hex:bytes (REG_BINARY)
// and hex(N):bytes (type N), lines continued with a trailing backslash; "@" names the
// default value; malformed lines are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An open key, or one of the predefined roots. 0 is the null key, with which every
// open fails.
using RegKey = std::uintptr_t;
inline constexpr RegKey kNullRegKey = 0;

// The predefined root with the given 32-bit code (0x80000002 is HKEY_LOCAL_MACHINE),
// sign-extended to pointer width as Windows defines the handles.
constexpr RegKey PredefinedRegKey(std::uint32_t code) {
  return static_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(code)));
}

// Registry value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Which of the two registry views of 64-bit Windows an open reaches: the caller's own
// (SOFTWARE of a 32-bit process is SOFTWARE\Wow6432Node of a 64-bit one), the 32-bit
// view or the 64-bit view, whatever the caller's bitness. 32-bit-only Windows has one
// view and ignores the choice, as does the POSIX store.
enum class RegView { kOwn, k32, k64 };

// Each call returns 0 or a system error code (platform/errors.h).
// RegOpenKeyExA(root, subkey, 0, KEY_READ | KEY_WOW64_32KEY or KEY_WOW64_64KEY).
int RegOpenForRead(RegKey root, const std::string& subkey, RegKey* key,
                   RegView view = RegView::kOwn);
// RegQueryValueExA without a buffer: the value's type and size in bytes.
int RegQueryValueInfo(RegKey key, const std::string& name, std::uint32_t* type,
                      std::uint32_t* size);
// RegQueryValueExA into `data` of `*size` bytes; `*size` becomes the bytes written, or
// the bytes needed when the value is larger (syserr::kMoreData).
int RegQueryValueData(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                      std::uint32_t* size);
// RegCloseKey; predefined roots and the null key are left alone.
void RegClose(RegKey key);

#ifndef _WIN32
// The POSIX store's parser, public for its tests and its fuzzer. Keys map to their
// values; key paths and value names are kept as written ("" is the default value).
struct RegFileValue {
  std::uint32_t type = 0;
  std::vector<unsigned char> data;
};
struct RegFileKey {
  std::string path;
  std::vector<std::pair<std::string, RegFileValue>> values;
};
// Parses the text of a .reg file. Returns false (and no keys) when the header is not
// REGEDIT4 or "Windows Registry Editor Version 5.00"; malformed lines are skipped and
// counted in *skipped when given.
bool ParseRegFile(std::string_view text, std::vector<RegFileKey>* keys,
                  std::size_t* skipped = nullptr);
// The path of the store: $KESTRA_REGISTRY_FILE or /etc/kestra/registry.reg.
std::string RegistryFilePath();
#endif

}  // namespace platform
