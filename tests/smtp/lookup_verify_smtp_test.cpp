// VerifySMTP through the Lookup object's frame: a failed probe shows in the result
// alone, and the error state stays as the access check left it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "access/access_control.h"
#include "lookup/lookup.h"
#include "testbed.h"

namespace {

// An access control that allows every call.
class AllowAll : public hosting::AccessControl {
 public:
  hosting::ConfigFiles LocateConfigFiles(support::Account*) override { return {}; }
  hosting::Decision Check(const std::string&, const std::string&, const hosting::ConfigFiles&,
                          support::Account*) override {
    return {true, hosting::Reason::kNoConfiguration, "", std::nullopt};
  }
};

// Access allowed, and an earlier failure already recorded.
struct AllowingLookup : lookup::CLookup {
  AllowingLookup() {
    SetAccessControl(&allow_all);
    (void)MXRecords();  // fails: no domain
  }
  AllowAll allow_all;
};

TEST(VerifySMTP, ReportsTheProbeInTheResultAlone) {
  KESTRA_REQUIRE_TESTBED();
  const struct {
    const char* name;
    std::string server;
    std::int16_t result;
  } cases[] = {
      {"real server", testbed::SmtpServer(), 1},
      {"name that does not resolve", "no-such-host.bed.test", 0},
      {"refused port", testbed::FakeAddress(20, 60), 0},
      {"empty server", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AllowingLookup lookup;
    EXPECT_EQ(lookup.VerifySMTP(c.server), c.result);
    EXPECT_EQ(lookup.GetIsError(), 0);
    EXPECT_EQ(lookup.GetErrorReason(), "Please specify domain name");
  }
}

}  // namespace
