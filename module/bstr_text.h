// BSTR <-> the component's narrow text. Inside the component text is 8-bit text in the
// ANSI code page, converted at the automation boundary with the calling thread's ANSI
// code page (CP_THREAD_ACP), afresh at every call; host and domain names alone are
// UTF-8 (CP_UTF8), so that they keep every character until the lookup takes their
// ASCII form.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

namespace kestra {

// The characters of `text` up to its first NUL in `code_page` (a null BSTR, or text the
// code page refuses, is the empty text); characters the code page cannot represent
// become its default character, a lone surrogate in UTF-8 U+FFFD, which no name can
// hold. Throws std::bad_alloc when memory runs out.
std::string TextFromBstr(BSTR text, UINT code_page);

// A new BSTR holding `text`, read in the calling thread's ANSI code page, owned by the
// caller; null when memory runs out.
BSTR BstrFromText(std::string_view text);

}  // namespace kestra
