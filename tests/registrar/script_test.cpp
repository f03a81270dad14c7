// The registry-script language: words, quoting, keywords, blocks, and the %name%
// replacements that are expanded before parsing.
#include "script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry_scripts.h"

namespace registrar {
namespace {

using platform::RegRoot;
using platform::RegValue;
using Flag = ScriptEntry::Flag;
using Kind = ScriptEntry::Kind;

Script MustParse(const std::string& text) {
  const platform::Result<Script> script = ParseScript(text);
  EXPECT_TRUE(script) << text;
  return script ? *script : Script{};
}

TEST(ParseScript, ReadsTheLookupClassScript) {
  const std::optional<std::string> text = ReadRegistryScript("Lookup");
  ASSERT_TRUE(text);
  const Script script = MustParse(*text);
  ASSERT_EQ(script.roots.size(), 1u);
  EXPECT_EQ(script.roots[0].root, RegRoot::kClassesRoot);
  const auto& top = script.roots[0].entries;
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top[0].name, "Brevan.MX.1");
  EXPECT_EQ(top[0].value, RegValue::String("Lookup Class"));
  EXPECT_EQ(top[1].children[1].name, "CurVer");
  EXPECT_EQ(top[1].children[1].value, RegValue::String("Brevan.MX.1"));

  const ScriptEntry& clsid = top[2];
  EXPECT_EQ(clsid.flag, Flag::kNoRemove);
  EXPECT_EQ(clsid.name, "CLSID");
  ASSERT_EQ(clsid.children.size(), 1u);
  const ScriptEntry& cls = clsid.children[0];
  EXPECT_EQ(cls.flag, Flag::kForceRemove);
  EXPECT_EQ(cls.name, "{" + std::string(kClsidLookup) + "}");
  ASSERT_EQ(cls.children.size(), 5u);
  EXPECT_EQ(cls.children[2].name, "Programmable");
  EXPECT_EQ(cls.children[2].flag, Flag::kForceRemove);
  EXPECT_FALSE(cls.children[2].value.has_value());
  const ScriptEntry& server = cls.children[3];
  EXPECT_EQ(server.name, "InprocServer32");
  EXPECT_EQ(server.value, RegValue::String("%MODULE%"));  // not expanded yet
  ASSERT_EQ(server.children.size(), 1u);
  EXPECT_EQ(server.children[0].kind, Kind::kValue);
  EXPECT_EQ(server.children[0].name, "ThreadingModel");
  EXPECT_EQ(cls.children[4].name, "TypeLib");
  EXPECT_EQ(cls.children[4].value, RegValue::String("{" + std::string(kLibid) + "}"));
}

TEST(ParseScript, GeneratedScriptsKeepTheirLayout) {
  for (const char* name : {"Lookup", "List", "ListEntries"}) {
    const std::string text = ReadRegistryScript(name).value_or("");
    ASSERT_FALSE(text.empty()) << name;
    EXPECT_EQ(text.rfind("HKCR\r\n{\r\n\t", 0), 0u) << name;
    EXPECT_EQ(text.find("\r\r"), std::string::npos) << name;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " at " << i;
      }
    }
    EXPECT_EQ(text.find("    "), std::string::npos) << name << ": indentation is by tabs";
    EXPECT_EQ(text.find('@'), std::string::npos) << name << ": every GUID is written in";
  }
}

struct WordCase {
  const char* text;
  const char* name;  // of the first entry
  Flag flag;
  Kind kind;
  const char* value;  // its string value, or null for none
};

TEST(ParseScript, WordsQuotesAndKeywords) {
  const WordCase cases[] = {
      {"HKCR { a }", "a", Flag::kNone, Kind::kKey, nullptr},
      {"hkcr { 'it''s' = s 'x''y''' }", "it's", Flag::kNone, Kind::kKey, "x'y'"},
      {"HKEY_CLASSES_ROOT { forceremove A }", "A", Flag::kForceRemove, Kind::kKey, nullptr},
      {"HKCR { NOREMOVE A }", "A", Flag::kNoRemove, Kind::kKey, nullptr},
      {"HKCR { Delete A }", "A", Flag::kDelete, Kind::kKey, nullptr},
      {"HKCR { VAL n = S 'v' }", "n", Flag::kNone, Kind::kValue, "v"},
      {"HKCR { 'NoRemove' }", "NoRemove", Flag::kNone, Kind::kKey, nullptr},
      {"HKCR { 'val' = s 'x' }", "val", Flag::kNone, Kind::kKey, "x"},
      {"HKCR { NoRemove val }", "val", Flag::kNoRemove, Kind::kKey, nullptr},
      {"HKCR { {00000000-0000-0000-0000-000000000000} }", "{00000000-0000-0000-0000-000000000000}",
       Flag::kNone, Kind::kKey, nullptr},
      {"HKCR\r\n{\r\n\ta = s ''\r\n}\r\n", "a", Flag::kNone, Kind::kKey, ""},
      {"HKCR { a = s bare }", "a", Flag::kNone, Kind::kKey, "bare"},
      {"HKCR { 'with space' = s 'a { b } = c' }", "with space", Flag::kNone, Kind::kKey,
       "a { b } = c"},
      {"HKCR { val '' = s 'default' }", "", Flag::kNone, Kind::kValue, "default"},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Script script = MustParse(c.text);
    ASSERT_EQ(script.roots.size(), 1u);
    ASSERT_EQ(script.roots[0].entries.size(), 1u);
    const ScriptEntry& e = script.roots[0].entries[0];
    EXPECT_EQ(e.name, c.name);
    EXPECT_EQ(e.flag, c.flag);
    EXPECT_EQ(e.kind, c.kind);
    if (c.value) {
      EXPECT_EQ(e.value, RegValue::String(c.value));
    } else {
      EXPECT_FALSE(e.value.has_value());
    }
  }
}

TEST(ParseScript, RootsDwordsAndNesting) {
  const Script s = MustParse(
      "HKCU { a = d 42 { val b = d 0xFFFFFFFF val c = d '0x1f' } }\n"
      "HKLM { x { y { z } } }\n");
  ASSERT_EQ(s.roots.size(), 2u);
  EXPECT_EQ(s.roots[0].root, RegRoot::kCurrentUser);
  EXPECT_EQ(s.roots[1].root, RegRoot::kLocalMachine);
  const ScriptEntry& a = s.roots[0].entries[0];
  EXPECT_EQ(a.value, RegValue::Dword(42));
  EXPECT_EQ(a.children[0].value, RegValue::Dword(0xFFFFFFFFu));
  EXPECT_EQ(a.children[1].value, RegValue::Dword(0x1F));
  EXPECT_EQ(s.roots[1].entries[0].children[0].children[0].name, "z");

  EXPECT_TRUE(MustParse("").roots.empty());
  EXPECT_TRUE(MustParse(" \r\n\t ").roots.empty());
}

TEST(ParseScript, NulEndsTheText) {
  const std::string text("HKCR { a }\0HKCR { b", 19);
  const Script s = MustParse(text);
  ASSERT_EQ(s.roots.size(), 1u);
  EXPECT_EQ(s.roots[0].entries[0].name, "a");
}

std::string Nested(std::size_t depth) {
  std::string text = "HKCR ";
  for (std::size_t i = 0; i < depth; ++i) text += "{ k ";
  for (std::size_t i = 0; i < depth; ++i) text += "} ";
  return text;
}

TEST(ParseScript, NestingIsBounded) {
  // Depth counts the root's block: Nested(n) opens n blocks, the last one empty.
  EXPECT_TRUE(ParseScript(Nested(kMaxScriptDepth)));
  EXPECT_FALSE(ParseScript(Nested(kMaxScriptDepth + 1)));
  EXPECT_FALSE(ParseScript(Nested(100000)));
}

TEST(ParseScript, RefusesBrokenScripts) {
  const char* cases[] = {
      "HKCR",                          // no block
      "HKCR a }",                      // no '{'
      "HKXX { a }",                    // unknown root
      "'HKCR' = { a }",                // '=' where the block belongs
      "{ a }",                         // no root
      "HKCR { a",                      // block not closed
      "HKCR { a { b }",                // inner closed, outer not
      "HKCR { a } }",                  // one '}' too many
      "HKCR { 'a }",                   // quote not closed
      "HKCR { a = s 'x }",             // quote not closed in a value
      "HKCR { a = }",                  // no type
      "HKCR { a = s }",                // no data ('}' is no word)
      "HKCR { a = s",                  // ends inside a value
      "HKCR { a = x 'y' }",            // unknown type
      "HKCR { a = 's' 'y' }",          // a quoted type is no keyword
      "HKCR { a = d 'x' }",            // not a number
      "HKCR { a = d 0x }",             // no digits
      "HKCR { a = d 4294967296 }",     // more than 32 bits
      "HKCR { a = d 12ab }",           // trailing junk
      "HKCR { val n }",                // value without data
      "HKCR { val n = s 'x' { b } }",  // values have no block
      "HKCR { val }",                  // no name ('}' is no word)
      "HKCR { Delete a = s 'x' }",     // Delete takes a name only
      "HKCR { Delete a { b } }",
      "HKCR { ForceRemove a\\b }",  // trees go by one name
      "HKCR { Delete 'a\\b' }",
      "HKCR { '' }",  // a key needs a name
      "HKCR { \\ }",  // nor a name in its path
      "HKCR { 'a\\' }",
      "HKCR { '\\a' }",
      "HKCR { NoRemove a\\\\b }",
      "HKCR { = s 'x' }",
      "HKCR { ForceRemove }",
      "HKCR { a { { } }",
      "HKCR { a}",  // words end at white space only
  };
  EXPECT_EQ(MustParse("HKCR { NoRemove a\\b }").roots[0].entries[0].name, "a\\b");
  for (const char* text : cases) EXPECT_FALSE(ParseScript(text)) << text;
}

TEST(ExpandReplacements, NamesPercentAndFailures) {
  const Replacements r = Replacements::ForModule("C:\\it's\\Kestra.dll");
  const std::string name31(31, 'n');
  const std::string name32(32, 'n');
  struct Case {
    std::string text;
    HResult result;
    std::string expanded;
  } cases[] = {
      {"s '%MODULE%'", kOk, "s 'C:\\it''s\\Kestra.dll'"},
      {"%module%|%Module_Raw%|%APPID%|", kOk, "C:\\it''s\\Kestra.dll|C:\\it's\\Kestra.dll||"},
      {"100%% sure %%%%", kOk, "100% sure %%"},
      {"no replacements at all", kOk, "no replacements at all"},
      {"", kOk, ""},
      {"%" + name31 + "%", kDispException, ""},  // short enough, but unknown
      {"%" + name32 + "%", kFail, ""},
      {"%MODULE", kDispException, ""},
      {"ends with %", kDispException, ""},
      {"%NOSUCH%", kDispException, ""},
      {"%MODULE% %" + name32 + "% %NOSUCH%", kFail, ""},  // the first problem decides
      {std::string("%APPID%\0%", 9), kOk, ""},            // a NUL ends the text
  };
  for (const Case& c : cases) {
    const platform::Result<std::string> out = ExpandReplacements(c.text, r);
    EXPECT_EQ(out ? kOk : FromFailure(out.failure()), c.result) << c.text;
    EXPECT_EQ(out ? *out : "", c.expanded) << c.text;
  }
}

TEST(ExpandReplacements, QuotedPathParsesBackToItself) {
  for (const std::string path :
       {"C:\\plain\\Kestra.dll", "C:\\it's\\Kestra.dll", "''", "'", "C:\\a'b'c\\d''e.dll"}) {
    const platform::Result<std::string> text =
        ExpandReplacements("HKCR { k = s '%MODULE%' }", Replacements::ForModule(path));
    ASSERT_TRUE(text);
    const Script s = MustParse(*text);
    ASSERT_EQ(s.roots.size(), 1u);
    ASSERT_EQ(s.roots[0].entries.size(), 1u);
    EXPECT_EQ(s.roots[0].entries[0].value, RegValue::String(path)) << path;
  }
}

}  // namespace
}  // namespace registrar
