// The one rule for bytes from outside: JSON text, terminal text and DNS names.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

#include "tools/safe_text.h"

namespace {

using kestra_tool::Encoding;
using namespace std::string_literals;

struct Case {
  std::string bytes, json, shown;
};

template <std::size_t N>
void Check(const Case (&cases)[N], Encoding encoding) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(kestra_tool::JsonText(c.bytes, encoding), c.json);
    EXPECT_EQ(kestra_tool::ShownText(c.bytes, encoding), c.shown);
  }
}

TEST(SafeText, Utf8KeepsTextAndNamesEveryOtherByte) {
  const Case cases[] = {
      {"mx.example", "mx.example", "mx.example"},
      {"b\xC3\xBC"
       "cher \xF0\x9F\x93\xAE",
       "b\xC3\xBC"
       "cher \xF0\x9F\x93\xAE",
       "b\xC3\xBC"
       "cher \xF0\x9F\x93\xAE"},
      {"\xFF\xFE.lookup.test", "\\xFF\\xFE.lookup.test", "\\xFF\\xFE.lookup.test"},
      // Overlong, surrogate, above U+10FFFF, cut short, a stray continuation byte.
      {"\xC0\xAF", "\\xC0\\xAF", "\\xC0\\xAF"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\\xF4\\x90\\x80\\x80"},
      {"a\xE2\x82", "a\\xE2\\x82", "a\\xE2\\x82"},
      {"\x80z", "\\x80z", "\\x80z"},
      // Controls: JSON carries them (its writer escapes them); a terminal sees their bytes.
      {"mx\x1B[31mRED\x1B[0m", "mx\x1B[31mRED\x1B[0m", "mx\\x1B[31mRED\\x1B[0m"},
      {"one\r\ntwo\t\x7F", "one\r\ntwo\t\x7F", "one\\x0D\\x0Atwo\\x09\\x7F"},
      {"a\0b"s, "a\0b"s, "a\\x00b"},
      {"\xC2\x85\xC2\x9F\xC2\xA0", "\xC2\x85\xC2\x9F\xC2\xA0", "\\xC2\\x85\\xC2\\x9F\xC2\xA0"},
      {"C:\\sites\\one", "C:\\sites\\one", "C:\\sites\\one"},
  };
  Check(cases, Encoding::kUtf8);
}

TEST(SafeText, NarrowTextIsReadInItsCodePage) {
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "the cases are those of code page 1252";
  const Case cases[] = {
      {"Caf\xE9", "Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"\x85\x80", "\xE2\x80\xA6\xE2\x82\xAC", "\xE2\x80\xA6\xE2\x82\xAC"},
      {"a\r\nb", "a\r\nb", "a\\x0D\\x0Ab"},
  };
#else
  // POSIX narrow text is UTF-8.
  const Case cases[] = {
      {"Caf\xC3\xA9", "Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"Caf\xE9", "Caf\\xE9", "Caf\\xE9"},
      {"a\r\nb", "a\r\nb", "a\\x0D\\x0Ab"},
  };
#endif
  Check(cases, Encoding::kAnsi);
}

TEST(SafeText, NamesInPresentationForm) {
  const struct {
    std::string labels, presented;
  } cases[] = {
      {"", "."},
      {"\x04mail\x07"
       "example",
       "mail.example."},
      {"\x03"
       "a.b\x01"
       "c",
       "a\\.b.c."},
      {"\x03"
       "a b",
       "a\\032b."},
      {"\x0Bmx\x1B[31mRED\x1B", "mx\\027[31mRED\\027."},
      {"\x02\\\x7F", "\\\\\\127."},
      {"\x03\xC3\xBC\x01", "\\195\\188\\001."},
      {"\x01\0"s, "\\000."},
      {"\x08\"();@$~A", "\\\"\\(\\)\\;\\@\\$~A."},
      // A length past the end takes what is there.
      {"\x05"
       "ab",
       "ab."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kestra_tool::PresentedName(c.labels), c.presented);
  }
}

}  // namespace
