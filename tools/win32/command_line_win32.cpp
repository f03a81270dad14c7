// Windows half of tools/command_line.h: the wide command line, split as
// CommandLineToArgvW splits it, each argument converted to UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <new>

#include "platform/win32/text.h"
#include "tools/command_line.h"

namespace kestra_tool {

using platform::TextEnd;

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  // It fails only when memory runs out.
  if (!wide) throw std::bad_alloc();
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> owned(wide, &LocalFree);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    auto arg = platform::NarrowText(wide[i], CP_UTF8, TextEnd::kFirstNul);
    args.push_back(arg ? std::move(*arg) : std::string());
  }
  return args;
}

std::string AnsiText(std::string_view utf8) {
  // A text the system refuses goes on as it is.
  const auto wide = platform::WideText(utf8, CP_UTF8, TextEnd::kWhole);
  if (!wide) return std::string(utf8);
  auto ansi = platform::NarrowText(*wide, CP_ACP, TextEnd::kWhole);
  return ansi ? std::move(*ansi) : std::string();
}

}  // namespace kestra_tool
