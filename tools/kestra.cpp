#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    int rc = kestra_tool::Run(args, std::cout, std::cerr);
    std::cout.flush();
    return rc;
  } catch (const std::exception& e) {
    // Memory ran out, say: a failed lookup for the administrator, not a crash.
    std::cout.flush();
    std::cerr << "kestra: " << e.what() << "\n";
    return 1;
  }
}
