// The kestra command line, apart from main() so that the tests can run it in-process.
//
//   kestra [--server ADDR] [--timeout SECONDS] [--caller-path PATH] COMMAND ARGUMENT
//   kestra doctor | policy [--site NAME]
//
// Commands: resolve DOMAIN, mx DOMAIN, mxcount DOMAIN, host NAME, reverse ADDRESS,
// smtp HOST, access NAME [--explain]. Each object command makes one Lookup object,
// sets what the options give, calls the one method as a page script would and prints
// its result; every command runs the real access check first, with --caller-path
// standing in for the calling page's path. `doctor` checks the installation
// (tools/doctor.h) and `policy` prints every site's grants (tools/policy.h).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestra_tool {

// Exit codes: 0 success, 1 the lookup failed or was refused, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// `args` excludes the program name and is UTF-8 (tools/command_line.h).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestra_tool
