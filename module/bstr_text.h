// BSTR <-> the component's narrow text. Inside the component text is 8-bit text in the
// ANSI code page, converted at the automation boundary with the calling thread's ANSI
// code page, afresh at every call; host and domain names alone are UTF-8, so that they
// keep every character until the lookup takes their ASCII form.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

namespace kestra {

// The characters of `text` up to its first NUL (a null BSTR is the empty text);
// characters the code page cannot represent become its default character. Throws
// std::bad_alloc when memory runs out.
std::string TextFromBstr(BSTR text);

// The characters of `text` up to its first NUL as UTF-8 (a null BSTR is the empty
// text); a lone surrogate becomes U+FFFD, which no name can hold. All-ASCII text gives
// the same bytes as TextFromBstr. Throws std::bad_alloc when memory runs out.
std::string Utf8FromBstr(BSTR text);

// A new BSTR holding `text`, owned by the caller; null when memory runs out.
BSTR BstrFromText(std::string_view text);

}  // namespace kestra
