#include "module/bstr_text.h"

#include <new>

#include "platform/win32/text.h"

namespace kestra {

std::string TextFromBstr(BSTR text, UINT code_page) {
  // What follows an embedded NUL is not part of the text.
  auto narrow =
      platform::NarrowText({text, SysStringLen(text)}, code_page, platform::TextEnd::kFirstNul);
  return narrow ? std::move(*narrow) : std::string();
}

BSTR BstrFromText(std::string_view text) {
  try {
    const auto wide = platform::WideText(text, CP_THREAD_ACP, platform::TextEnd::kWhole);
    if (!wide) return SysAllocStringLen(L"", 0);
    return SysAllocStringLen(wide->data(), static_cast<UINT>(wide->size()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kestra
