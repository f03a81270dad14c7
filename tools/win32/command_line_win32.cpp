// Windows half of tools/command_line.h: the wide command line, split as
// CommandLineToArgvW splits it, each argument converted to UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <climits>
#include <memory>
#include <new>

#include "tools/command_line.h"

namespace kestra_tool {
namespace {

std::string Narrow(const wchar_t* text, int length, UINT code_page) {
  if (length <= 0) return {};
  int bytes = WideCharToMultiByte(code_page, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<std::size_t>(bytes), '\0');
  bytes = WideCharToMultiByte(code_page, 0, text, length, result.data(), bytes, nullptr, nullptr);
  result.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
  return result;
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  // It fails only when memory runs out.
  if (!wide) throw std::bad_alloc();
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> owned(wide, &LocalFree);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    const std::size_t length = wcslen(wide[i]);
    args.push_back(Narrow(wide[i], length > INT_MAX ? INT_MAX : static_cast<int>(length), CP_UTF8));
  }
  return args;
}

std::string AnsiText(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return std::string(utf8);
  const int bytes = static_cast<int>(utf8.size());
  const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
  if (chars <= 0) return std::string(utf8);
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), chars);
  return Narrow(wide.data(), chars, CP_ACP);
}

}  // namespace kestra_tool
