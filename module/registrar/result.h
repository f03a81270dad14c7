// Results of the registrar as COM HRESULT values, so that DllRegisterServer can hand
// them on unchanged. Kept free of <windows.h>: the registrar is portable code.
#pragma once

#include <cstdint>

#include "platform/result.h"

namespace registrar {

using HResult = std::int32_t;

inline constexpr HResult kOk = 0;
// A replacement name longer than the registrar accepts.
inline constexpr HResult kFail = static_cast<HResult>(0x80004005u);
// Any error of the script text itself: syntax, an unknown replacement name, a '%'
// without its closing '%'.
inline constexpr HResult kDispException = static_cast<HResult>(0x80020009u);

inline constexpr bool Failed(HResult hr) {
  return hr < 0;
}

// The registrar's own failures, each with its HRESULT as the code.
inline constexpr platform::Failure kSyntaxError{platform::Cause::kInvalidInput, kDispException};
inline constexpr platform::Failure kNameTooLong{platform::Cause::kInvalidInput, kFail};

// HRESULT_FROM_WIN32 of a registry failure's system code; a code that is an HRESULT
// already (the registrar's own) as it is.
inline constexpr HResult FromFailure(const platform::Failure& failure) {
  const int error = failure.code;
  return error <= 0
             ? static_cast<HResult>(error)
             : static_cast<HResult>((static_cast<std::uint32_t>(error) & 0xFFFFu) | 0x80070000u);
}

}  // namespace registrar
