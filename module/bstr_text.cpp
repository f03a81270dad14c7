#include "module/bstr_text.h"

#include <climits>
#include <cwchar>

namespace kestra {

namespace {

std::string NarrowFromBstr(BSTR text, UINT code_page) {
  if (!text) return {};
  // Up to the first NUL: what follows an embedded NUL is not part of the text.
  std::size_t length = std::wcslen(text);
  if (length == 0) return {};
  if (length > INT_MAX) length = INT_MAX;
  int wide = static_cast<int>(length);
  int bytes = WideCharToMultiByte(code_page, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<std::size_t>(bytes), '\0');
  bytes = WideCharToMultiByte(code_page, 0, text, wide, result.data(), bytes, nullptr, nullptr);
  result.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
  return result;
}

}  // namespace

std::string TextFromBstr(BSTR text) {
  return NarrowFromBstr(text, CP_THREAD_ACP);
}

std::string Utf8FromBstr(BSTR text) {
  return NarrowFromBstr(text, CP_UTF8);
}

BSTR BstrFromText(std::string_view text) {
  if (text.size() > INT_MAX) text = text.substr(0, INT_MAX);
  int bytes = static_cast<int>(text.size());
  if (bytes == 0) return SysAllocStringLen(L"", 0);
  int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), bytes, nullptr, 0);
  if (chars <= 0) return SysAllocStringLen(L"", 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(chars));
  if (!result) return nullptr;
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), bytes, result, chars);
  return result;
}

}  // namespace kestra
