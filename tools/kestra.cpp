#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  int rc = kestra_tool::Run(args, std::cout, std::cerr);
  std::cout.flush();
  return rc;
}
