// POSIX half of tools/command_line.h: arguments are UTF-8 already, and so is the narrow
// text of the rest of the component.
#include "tools/command_line.h"

namespace kestra_tool {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string AnsiText(std::string_view utf8) {
  return std::string(utf8);
}

}  // namespace kestra_tool
