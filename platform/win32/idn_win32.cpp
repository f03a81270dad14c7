// IdnToAscii (normaliz) behind platform/idn.h.
#include <windows.h>

#include <climits>

#include "platform/idn.h"

namespace platform {
namespace {

Failure ConversionFailure() {
  const DWORD err = GetLastError();
  const bool no_memory = err == ERROR_NOT_ENOUGH_MEMORY || err == ERROR_OUTOFMEMORY;
  return Failure{no_memory ? Cause::kNoMemory : Cause::kInvalidInput, 0};
}

}  // namespace

Result<std::string> AsciiName(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  if (utf8.size() > INT_MAX / 2) return Failure{Cause::kInvalidInput, 0};
  const int bytes = static_cast<int>(utf8.size());
  int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, nullptr, 0);
  if (chars <= 0) return ConversionFailure();
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, wide.data(), chars);
  // Flags 0: IDN_USE_STD3_ASCII_RULES would refuse every name that is not ASCII under
  // Wine, and the resolvers check the ASCII form themselves.
  int length = IdnToAscii(0, wide.c_str(), chars, nullptr, 0);
  if (length <= 0) return ConversionFailure();
  std::wstring ascii(static_cast<std::size_t>(length), L'\0');
  length = IdnToAscii(0, wide.c_str(), chars, ascii.data(), length);
  if (length <= 0) return ConversionFailure();
  std::string result;
  result.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    if (ascii[i] >= 0x80) return Failure{Cause::kInvalidInput, 0};
    result.push_back(static_cast<char>(ascii[i]));
  }
  return result;
}

}  // namespace platform
