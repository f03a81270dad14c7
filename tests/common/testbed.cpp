#include "testbed.h"

#include <cstdlib>
#include <filesystem>

// Fake-server address blocks (127.0.<block>.x), one per test program:
//   10 dns_tests   20 smtp_tests   30 lookup_tests   40 access_tests
//   50 com_tests   60 tools_tests  70 platform_tests

namespace testbed {
namespace {
std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : fallback;
}

std::string ToRunningForm(std::string path) {
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
#endif
  return path;
}
}  // namespace

bool Available() {
  return Env("KESTRA_TESTBED", "") == "1";
}
bool Required() {
  return Env("KESTRA_REQUIRE_TESTBED", "") == "1";
}
std::string DnsServer() {
  return Env("KESTRA_TEST_DNS", "127.0.0.2");
}
std::string SmtpServer() {
  return Env("KESTRA_TEST_SMTP", "127.0.0.4");
}
std::string ClosedIpv6() {
  return "fd00::53";
}

std::string FakeAddress(int block, int n) {
  return "127.0." + std::to_string(block) + "." + std::to_string(n);
}

std::string SourcePath(const std::string& relative) {
  return ToRunningForm(std::string(KESTRA_SOURCE_DIR) + "/" + relative);
}

std::string ScratchDir(const std::string& name) {
  std::string unix_path = std::string(KESTRA_BINARY_DIR) + "/scratch/" + name;
  std::string path = ToRunningForm(unix_path);
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  std::filesystem::create_directories(path, ec);
  return path;
}

}  // namespace testbed
