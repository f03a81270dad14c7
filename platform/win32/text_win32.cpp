#include <climits>

#include "platform/win32/text.h"

namespace platform {
namespace {

// `convert(in, length, out, size)` is the system's call: asked for the size first, then
// into a buffer of that size.
template <class To, class Char, class Convert>
Result<To> ConvertText(std::basic_string_view<Char> text, TextEnd end, Convert convert) {
  if (end == TextEnd::kFirstNul) text = text.substr(0, text.find(Char{}));
  const int length = text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
  if (length == 0) return To();
  int size = convert(text.data(), length, nullptr, 0);
  To out;
  if (size > 0) {
    out.resize(static_cast<std::size_t>(size));
    size = convert(text.data(), length, out.data(), size);
  }
  if (size <= 0) return Failure{Cause::kSystem, static_cast<int>(GetLastError())};
  out.resize(static_cast<std::size_t>(size));
  return out;
}

}  // namespace

Result<std::string> NarrowText(std::wstring_view text, UINT code_page, TextEnd end) {
  return ConvertText<std::string>(text, end, [code_page](auto in, int n, char* out, int size) {
    return WideCharToMultiByte(code_page, 0, in, n, out, size, nullptr, nullptr);
  });
}

Result<std::wstring> WideText(std::string_view text, UINT code_page, TextEnd end, DWORD flags) {
  return ConvertText<std::wstring>(text, end, [=](auto in, int n, wchar_t* out, int size) {
    return MultiByteToWideChar(code_page, flags, in, n, out, size);
  });
}

}  // namespace platform
