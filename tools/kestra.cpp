#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"
#include "tools/command_line.h"

int main(int argc, char** argv) {
  try {
    int rc = kestra_tool::Run(kestra_tool::ProgramArguments(argc, argv), std::cout, std::cerr);
    std::cout.flush();
    return rc;
  } catch (const std::exception& e) {
    // Memory ran out, say: a failed lookup for the administrator, not a crash.
    std::cout.flush();
    std::cerr << "kestra: " << e.what() << "\n";
    return 1;
  }
}
