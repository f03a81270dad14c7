// The program's arguments as the tool reads them: UTF-8, so that host and domain names
// keep every character until a lookup takes their ASCII form. The texts that are no
// names go on into the rest of the component (the hosting configuration, the files) in
// its narrow text, the ANSI code page on Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestra_tool {

// The arguments after the program's name as UTF-8: argv as it is on POSIX, the wide
// command line on Windows (argv there is already in the ANSI code page).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A UTF-8 argument in the component's narrow text: as it is on POSIX, in the ANSI code
// page on Windows (a character it cannot hold becomes its default character, as in
// argv).
std::string AnsiText(std::string_view utf8);

}  // namespace kestra_tool
