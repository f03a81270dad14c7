// Text between UTF-16 and a narrow code page, the one conversion each way. The caller
// names the code page (CP_UTF8 for names, CP_ACP or CP_THREAD_ACP for the component's
// narrow text) and where its text ends: a BSTR or a counted text may hold NULs.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

enum class TextEnd {
  kWhole,     // every character of the view, NULs included
  kFirstNul,  // the characters before the first NUL
};

// `text` in `code_page`, a character it cannot hold becoming its default character.
// Empty text gives empty text; text longer than INT_MAX is cut there. Fails with kSystem
// and the system's code when the system refuses. Throws std::bad_alloc.
Result<std::string> NarrowText(std::wstring_view text, UINT code_page, TextEnd end);

// `text`, read in `code_page`, as UTF-16, as NarrowText. `flags` are the system's
// (MB_ERR_INVALID_CHARS: fail on bytes that are no text in the code page).
Result<std::wstring> WideText(std::string_view text, UINT code_page, TextEnd end, DWORD flags = 0);

}  // namespace platform
