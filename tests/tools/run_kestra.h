// Runs the kestra command line in-process, as the tests of tools_tests do.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
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

// Each --json document goes to the folder KESTRA_JSON_DIR names, when it names one, for
// the schema check that runs after the tests (tests/tools/validate-json).
inline void KeepJsonDocument(const std::string& document) {
  const char* folder = std::getenv("KESTRA_JSON_DIR");
  if (!folder || !*folder) return;
  static int count = 0;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "";
  std::ofstream(std::string(folder) + "/" + name + "." + std::to_string(++count) + ".json",
                std::ios::binary)
      << document;
}

inline Result Kestra(std::vector<std::string> args) {
  std::ostringstream out, err;
  int rc = kestra_tool::Run(args, out, err);
  const bool usage = rc == kestra_tool::kExitUsage;
  if (!usage && std::find(args.begin(), args.end(), "--json") != args.end()) {
    KeepJsonDocument(out.str());
  }
  return {rc, out.str(), err.str()};
}

}  // namespace kestra_test
