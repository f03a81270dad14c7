// Runs the kestra command line in-process, as the tests of tools_tests do.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tools/cli.h"

namespace kestra_test {

struct Result {
  int rc;
  std::string out;
  std::string err;
};

inline Result Kestra(std::vector<std::string> args) {
  std::ostringstream out, err;
  int rc = kestra_tool::Run(args, out, err);
  return {rc, out.str(), err.str()};
}

}  // namespace kestra_test
