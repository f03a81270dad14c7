// REGEDIT4 text, the format regedit exports and the POSIX registry store is kept in:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick]
//   "InstallationPath"="/srv/gatehouse"
//   "EnableGatehouse"=dword:00000001
//
// Values: "text" (REG_SZ, with \\ and \" escapes), dword:XXXXXXXX (REG_DWORD), hex:bytes
// (REG_BINARY) and hex(N):bytes (type N), lines continued with a trailing backslash;
// "@" names the default value; "name"=- deletes a value and [-path] a key with
// everything below it; a later line replaces an earlier value; key paths and value
// names match without regard to case. Malformed lines are skipped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace platform {

// One key as written: its full path (root name first, kept as written) and its values
// ("" is the default value), in file order.
struct RegFileKey {
  std::string path;
  std::vector<std::pair<std::string, RegValue>> values;
};

struct RegFile {
  std::vector<RegFileKey> keys;
};

// Nothing when the header is not REGEDIT4 or "Windows Registry Editor Version 5.00".
std::optional<RegFile> ParseRegFile(std::string_view text);

}  // namespace platform
