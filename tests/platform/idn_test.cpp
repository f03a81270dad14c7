// The ASCII form of names, one table for both systems: natively it holds libidn2 to
// what IdnToAscii answers under Wine, where the same table runs.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/idn.h"

namespace {

struct Row {
  const char* what;
  std::string input;
  std::optional<std::string> ascii;  // nothing: the conversion refuses it
};

TEST(AsciiName, ConvertsAsTheSystemDoes) {
  const Row rows[] = {
      {"Latin", "münchen.de", "xn--mnchen-3ya.de"},
      {"CJK", "例子.测试", "xn--fsqu00a.xn--0zwm56d"},
      {"Arabic", "مثال.إختبار", "xn--mgbh0fb.xn--kgbechtv"},
      {"mixed case folds", "Bücher.Example", "xn--bcher-kva.example"},
      {"sharp s maps to ss", "faß.de", "fass.de"},
      {"A-labels stay", "xn--bcher-kva.example", "xn--bcher-kva.example"},
      {"ASCII stays byte for byte", "Mail..Example_", "Mail..Example_"},
      {"not UTF-8", "\xff.de", std::nullopt},
      {"the lowest byte above ASCII", "a\x80.de", std::nullopt},
      {"a surrogate's bytes", "\xed\xa0\x80x.de", std::nullopt},
      {"U+FFFD (a lone surrogate from a page)", "\xef\xbf\xbdx.de", std::nullopt},
      {"label of 63 bytes once converted", "ü" + std::string(55, 'a') + ".de",
       "xn--" + std::string(55, 'a') + "-oxf.de"},
      {"label of 65 bytes once converted", "ü" + std::string(57, 'a') + ".de", std::nullopt},
  // Where the two differ by design: IdnToAscii (flags 0) leaves the hyphen rules to
  // the resolver, libidn2 applies them.
#ifdef _WIN32
      {"leading hyphen (Windows)", "-ü.de", "xn----eha.de"},
#else
      {"leading hyphen (libidn2)", "-ü.de", std::nullopt},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto result = platform::AsciiName(row.input);
    if (row.ascii) {
      ASSERT_TRUE(result.ok());
      EXPECT_EQ(*result, *row.ascii);
    } else {
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(result.failure().cause, platform::Cause::kInvalidInput);
    }
  }
}

}  // namespace
