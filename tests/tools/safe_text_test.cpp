// The one rule for bytes from outside: JSON text, terminal text and DNS names.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

#include "tools/safe_text.h"

namespace {

using kestra_tool::Encoding;
using namespace std::string_literals;

struct Case {
  std::string bytes, json, shown;
};

void Check(const std::vector<Case>& cases, Encoding encoding) {
  for (const Case& c : cases) {
    EXPECT_EQ(kestra_tool::JsonText(c.bytes, encoding), c.json) << c.shown;
    EXPECT_EQ(kestra_tool::ShownText(c.bytes, encoding), c.shown);
  }
}

TEST(SafeText, Utf8KeepsTextAndNamesEveryOtherByte) {
  const std::string text = "b\u00FCcher \U0001F4EE C:\\x";
  Check({{text, text, text},
         {"\xFF\xFE.lookup.test", "\\xFF\\xFE.lookup.test", "\\xFF\\xFE.lookup.test"},
         // Overlong, surrogate, above U+10FFFF, cut short, a stray continuation byte.
         {"\xC0\xAF\xED\xA0\x80", "\\xC0\\xAF\\xED\\xA0\\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},
         {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\\xF4\\x90\\x80\\x80"},
         {"a\xE2\x82", "a\\xE2\\x82", "a\\xE2\\x82"},
         {"\x80z", "\\x80z", "\\x80z"},
         // Controls: JSON carries them (its writer escapes them); a terminal sees bytes.
         {"mx\x1B[31mRED", "mx\x1B[31mRED", "mx\\x1B[31mRED"},
         {"one\r\ntwo\t\x7F", "one\r\ntwo\t\x7F", "one\\x0D\\x0Atwo\\x09\\x7F"},
         {"a\0b"s, "a\0b"s, "a\\x00b"},
         {"\x1F \x7E", "\x1F \x7E", "\\x1F \x7E"},  // the edges of C0 and DEL
         {"\xC2\x85\xC2\x9F\xC2\xA0", "\xC2\x85\xC2\x9F\xC2\xA0", "\\xC2\\x85\\xC2\\x9F\xC2\xA0"},
         // Bidirectional controls, and their neighbours that are text.
         {"a\u202Eb\u2069\u200F", "a\u202Eb\u2069\u200F",
          "a\\xE2\\x80\\xAEb\\xE2\\x81\\xA9\\xE2\\x80\\x8F"},
         {"\u2010\u2065\u202F", "\u2010\u2065\u202F", "\u2010\u2065\u202F"}},
        Encoding::kUtf8);
}

TEST(SafeText, NarrowTextIsReadInItsCodePage) {
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "the cases are those of code page 1252";
  Check({{"Caf\xE9\x85\x80", "Caf\xC3\xA9\xE2\x80\xA6\xE2\x82\xAC",
          "Caf\xC3\xA9\xE2\x80\xA6\xE2\x82\xAC"},
         {"a\r\nb", "a\r\nb", "a\\x0D\\x0Ab"}},
        Encoding::kAnsi);
#else
  Check({{"Caf\xC3\xA9", "Caf\xC3\xA9", "Caf\xC3\xA9"},  // UTF-8
         {"Caf\xE9", "Caf\\xE9", "Caf\\xE9"},
         {"a\r\nb", "a\r\nb", "a\\x0D\\x0Ab"}},
        Encoding::kAnsi);
#endif
}

TEST(SafeText, NamesInPresentationForm) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "."},
      {"\4mail\7example", "mail.example."},
      {"\3a.b\1c", "a\\.b.c."},
      {"\3a b", "a\\032b."},
      {"\x0Bmx\x1B[31mRED\x1B", "mx\\027[31mRED\\027."},
      {"\x02\\\x7F", "\\\\\\127."},
      {"\x04\xC3\xBC\x01\0"s, "\\195\\188\\001\\000."},
      {"\x08\"();@$~A", "\\\"\\(\\)\\;\\@\\$~A."},
      {"\5ab", "ab."},  // a length past the end takes what is there
  };
  for (const auto& [labels, presented] : cases) {
    EXPECT_EQ(kestra_tool::PresentedName(labels), presented);
  }
}

}  // namespace
