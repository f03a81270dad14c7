// IdnToAscii (normaliz) behind platform/idn.h.
#include <windows.h>

#include <climits>

#include "platform/idn.h"
#include "platform/win32/text.h"

namespace platform {
namespace {

Failure ConversionFailure(DWORD err) {
  const bool no_memory = err == ERROR_NOT_ENOUGH_MEMORY || err == ERROR_OUTOFMEMORY;
  return Failure{no_memory ? Cause::kNoMemory : Cause::kInvalidInput, 0};
}

}  // namespace

Result<std::string> AsciiName(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  if (utf8.size() > INT_MAX / 2) return Failure{Cause::kInvalidInput, 0};
  const auto wide = WideText(utf8, CP_UTF8, TextEnd::kWhole, MB_ERR_INVALID_CHARS);
  if (!wide) return ConversionFailure(static_cast<DWORD>(wide.failure().code));
  const int chars = static_cast<int>(wide->size());
  // Flags 0: IDN_USE_STD3_ASCII_RULES would refuse every name that is not ASCII under
  // Wine, and the resolvers check the ASCII form themselves.
  int length = IdnToAscii(0, wide->c_str(), chars, nullptr, 0);
  if (length <= 0) return ConversionFailure(GetLastError());
  std::wstring ascii(static_cast<std::size_t>(length), L'\0');
  length = IdnToAscii(0, wide->c_str(), chars, ascii.data(), length);
  if (length <= 0) return ConversionFailure(GetLastError());
  std::string result;
  result.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    if (ascii[i] >= 0x80) return Failure{Cause::kInvalidInput, 0};
    result.push_back(static_cast<char>(ascii[i]));
  }
  return result;
}

}  // namespace platform
