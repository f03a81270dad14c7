// What the tests know of the loopback test bed that scripts/test starts: a real DNS
// server (Knot) serving tests/zones, a real SMTP server (aiosmtpd), and free loopback
// addresses for the scripted fake servers of the tests themselves. Everything lives
// inside the private network namespace that scripts/test makes, so no test can reach
// the machine's own nameserver.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testbed {

// True inside the namespace of scripts/test (KESTRA_TESTBED=1).
bool Available();
// True when a missing test bed must fail the test instead of skipping it.
bool Required();
// Dotted address of the real DNS server (port 53), e.g. "127.0.0.2".
std::string DnsServer();
// Dotted address of the real SMTP server (port 25), e.g. "127.0.0.4".
std::string SmtpServer();
// A second IPv6 address of the namespace's loopback (scripts/lib/namespace) where
// nothing listens: a datagram sent there meets a closed port.
std::string ClosedIpv6();
// A loopback address reserved for scripted fake servers: "127.0.<block>.<n>".
// Each test program uses its own block (see the list in testbed.cpp) so that programs
// may run side by side.
std::string FakeAddress(int block, int n);
// A path of the source tree in the form the running program opens: the Unix path
// natively, the Z: drive path under Wine.
std::string SourcePath(const std::string& relative);
// A fresh empty folder for one test, removed by nobody (it lives under the build tree).
std::string ScratchDir(const std::string& name);

}  // namespace testbed

// Skips (or, under scripts/test, fails) a test that needs the loopback test bed.
#define KESTRA_REQUIRE_TESTBED()                                                   \
  do {                                                                             \
    if (!::testbed::Available()) {                                                 \
      if (::testbed::Required()) FAIL() << "the loopback test bed is not running"; \
      GTEST_SKIP() << "needs the loopback test bed (run through scripts/test)";    \
    }                                                                              \
  } while (0)
