// `kestra policy` against the access control itself: the worked configuration's
// table agrees cell for cell with `kestra access` for a page in each site's folder.
#include "tools/policy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "hosting_config.h"
#include "tests/tools/run_kestra.h"

namespace {

using kestra_test::Kestra;
using kestra_test::Result;

// Three sites: one granted All, one MXRecords and Lookup, one without a [Security] entry.
class KestraPolicy : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.Write(
        "[Path]\nFull=C:\\sites\\full\nSome=C:\\sites\\some\nNone=C:\\sites\\none\n"
        "[Security]\nFull=Brevan\nSome=Other, Brevan\n"
        "[Full]\nBrevan=All\n[Some]\nBrevan=MXRecords, Lookup\n[None]\nBrevan=All\n");
#ifndef _WIN32
    ::unsetenv("PATH_TRANSLATED");
#endif
  }
  testreg::HostingConfig config_{"kestra-policy"};
};

TEST_F(KestraPolicy, EveryCellIsWhatTheAccessCommandAnswers) {
  const kestra_tool::Policy policy = kestra_tool::ComputePolicy(std::nullopt);
  ASSERT_FALSE(policy.everywhere);
  ASSERT_EQ(policy.sites.size(), 3u);
  for (const kestra_tool::SiteGrants& site : policy.sites) {
    ASSERT_EQ(site.cells.size(), std::size(lookup::kMemberAccess));
    for (std::size_t i = 0; i < site.cells.size(); ++i) {
      const auto& method = lookup::kMemberAccess[i];
      SCOPED_TRACE(site.site + " " + method.member);
      Result r = Kestra({"--caller-path", site.folder + "\\page.asp", "access", method.member});
      const std::string expected =
          site.cells[i] == "allowed" ? "allowed\n" : "refused\n" + site.cells[i] + "\n";
      EXPECT_EQ(r.out, expected);
    }
  }
}

TEST_F(KestraPolicy, PrintsATableWithEachRefusalOnce) {
  Result r = Kestra({"policy"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "Site  MXRecords    GetMXRecord  DNSLookup    ReverseDNSLookup  VerifySMTP\n"
            "Full  allowed      allowed      allowed      allowed           allowed\n"
            "Some  allowed      allowed      allowed      allowed           refused [1]\n"
            "None  refused [2]  refused [2]  refused [2]  refused [2]       refused [2]\n"
            "\n"
            "[1] Please contact your hosting administrator, as you are not allowed to use "
            "VerifySMTP method of Brevan component\n"
            "[2] Please contact your hosting administrator, as you are not allowed to use "
            "Brevan component\n");
  Result one = Kestra({"policy", "--site", "some"});
  EXPECT_EQ(one.rc, 0);
  EXPECT_EQ(one.out.find("Full"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("\nSome  allowed"), std::string::npos) << one.out;
  Result unknown = Kestra({"policy", "--site", "Other"});
  EXPECT_EQ(unknown.rc, 1);
  EXPECT_EQ(unknown.err, "kestra: no site Other in [Path]\n");
}

// What holds for every site is said once, instead of the table.
TEST_F(KestraPolicy, AControlThatDecidesForEverySiteIsSaidOnce) {
  const struct {
    std::uint32_t enable;
    const char* applied;
    const char* line;
  } cases[] = {
      {0x10000, "Brevan", "the access control is switched off (EnableGatehouse)"},
      {1, "Other", "the access control is not applied to Brevan (Admin.ini [Settings] Applied)"},
  };
  for (const auto& c : cases) {
    config_.Switch(c.enable);
    config_.Admin("Brevan", c.applied);
    Result r = Kestra({"policy"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, std::string(c.line) + ": every site may use every method\n");
  }
}

// Site names and folders are the configuration's bytes: the doctor and the policy show
// them by the one rule, in text and in JSON, whatever they are.
TEST_F(KestraPolicy, OutsideBytesAreShownSafely) {
  config_.Write(
      "[Path]\nCaf\xE9=C:\\sites\\caf\xE9\nRed\x1B[31m=C:\\sites\\red\n"
      "[Security]\nCaf\xE9=Brevan\n[Caf\xE9]\nBrevan=All\n");
#ifdef _WIN32
  const std::string cafe_shown = "Caf\xC3\xA9", cafe_json = cafe_shown;  // code page 1252
#else
  const std::string cafe_shown = "Caf\\xE9", cafe_json = "Caf\\\\xE9";  // in a dump
#endif
  for (const char* command : {"policy", "doctor"}) {
    SCOPED_TRACE(command);
    Result text = Kestra({command});
    EXPECT_NE(text.out.find(cafe_shown), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Red\\x1B[31m"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('\x1B'), std::string::npos);
    Result json = Kestra({"--json", command});
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    const std::string all = doc.dump();  // every string, escaped as JSON escapes them
    EXPECT_NE(all.find(cafe_json), std::string::npos) << all;
    EXPECT_NE(all.find("Red\\u001b[31m"), std::string::npos) << all;
  }
  Result unknown = Kestra({"policy", "--site", "\x1B[2J"});
  EXPECT_EQ(unknown.err, "kestra: no site \\x1B[2J in [Path]\n");
}

}  // namespace
