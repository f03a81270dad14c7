// BSTR <-> the component's narrow text. Inside the component all text is 8-bit text in
// the ANSI code page; at the automation boundary it is converted with the calling
// thread's ANSI code page, afresh at every call.
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

// A new BSTR holding `text`, owned by the caller; null when memory runs out.
BSTR BstrFromText(std::string_view text);

}  // namespace kestra
