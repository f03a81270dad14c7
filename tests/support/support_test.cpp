// The support library against the platform it runs on: the same cases natively (the
// POSIX readers) and under Wine (the system registry and profile functions).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"
#include "support/error_text.h"
#include "support/ini_values.h"
#include "support/registry_values.h"
#include "support/text.h"
#include "test_registry.h"
#include "testbed.h"

namespace {

std::string Join(const std::string& dir, const std::string& name) {
  return dir + (dir.find('\\') != std::string::npos ? "\\" : "/") + name;
}

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& text) {
  std::string path = Join(dir, name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return path;
}

std::string SystemText(int code) {
  return support::SystemErrorText(code);
}

using Lines = std::vector<std::string>;

// --- text helpers ---

TEST(Trim, RemovesWhiteSpaceAtBothEndsOnly) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},   {" \t \t", ""},     {" \t\r\n\v\fx y\f\v\n\r\t ", "x y"},
      {"a", "a"}, {"  a b  ", "a b"}, {"\xFA text \xFA", "\xFA text \xFA"},
  };
  for (const Case& c : cases) EXPECT_EQ(support::Trim(c.in), c.out) << '"' << c.in << '"';
}

TEST(IsInList, MatchesTrimmedItemsWithoutRegardToCase) {
  struct Case {
    const char* list;
    const char* name;
    bool in;
  } cases[] = {
      {"Brevan, Other", "brevan", true},
      {"Brevan;Other", "Brevan", false},
      {"", "Brevan", false},
      {" MXRecords ,Lookup", "Lookup", true},
      {" MXRecords ,Lookup", "MXRecords", true},
      {"brevan , other", "Brevan", true},
      {"Other,Brevan", "BREVAN", true},
      {"Brevanx", "Brevan", false},
      {"Brev", "Brevan", false},
      {"Brevan,", "Brevan", true},
      {",,Brevan", "Brevan", true},
      {"a,b,c", "d", false},
      {"Brevan", " Brevan", false},  // the name itself is not trimmed
      {"All, Lookup", "VerifySMTP", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(support::IsInList(c.list, c.name), c.in) << "'" << c.list << "' / '" << c.name << "'";
  }
}

TEST(FindEntryByValuePrefix, FirstLineWhoseValueBeginsTheTarget) {
  struct Case {
    Lines lines;
    const char* target;
    const char* found;
  } cases[] = {
      {Lines({"a = C:\\web\\site1"}), "c:\\WEB\\SITE1\\page.asp", "a = C:\\web\\site1"},
      {Lines({"a=C:\\web\\site1", "b=C:\\web\\site10"}), "C:\\web\\site10\\x.asp",
       "a=C:\\web\\site1"},
      {Lines({"b=C:\\web\\site10", "a=C:\\web\\site1"}), "C:\\web\\site10\\x.asp",
       "b=C:\\web\\site10"},
      {Lines({"a=C:\\web\\site1"}), "C:\\web\\site2\\x.asp", ""},
      {Lines({"noseparator", "b=C:\\x"}), "C:\\x\\y", "b=C:\\x"},
      {Lines({"C:\\x"}), "C:\\x", ""},
      {Lines({"a=C:\\longer\\than\\target"}), "C:\\longer", ""},
      {Lines({"a=", "b=C:\\x"}), "C:\\x\\y", "a="},
      {Lines({"a=   "}), "", "a=   "},
      {Lines({"a=x=y"}), "x=y\\z", "a=x=y"},
      {Lines({}), "C:\\x", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(support::FindEntryByValuePrefix(c.lines, c.target, '='), c.found) << c.target;
  }
}

TEST(FindEntryByFolderPrefix, FolderMustEndAtAPathBoundary) {
  struct Case {
    Lines lines;
    const char* target;
    const char* found;
  } cases[] = {
      {Lines({"a=C:\\web\\site1", "b=C:\\web\\site10"}), "C:\\web\\site10\\default.asp",
       "b=C:\\web\\site10"},
      {Lines({"a=C:\\web\\site1", "b=C:\\web\\site10"}), "C:\\web\\site1\\default.asp",
       "a=C:\\web\\site1"},
      {Lines({"a=c:\\WEB\\site1"}), "C:\\web\\SITE1\\x.asp", "a=c:\\WEB\\site1"},
      {Lines({"a=C:\\web\\site1\\"}), "C:\\web\\site1\\x.asp", "a=C:\\web\\site1\\"},
      {Lines({"a=/srv/site1"}), "/srv/site1/x.asp", "a=/srv/site1"},
      {Lines({"a=/srv/"}), "/srv/site1/x.asp", "a=/srv/"},
      {Lines({"a=C:\\web\\site1"}), "C:\\web\\site1", "a=C:\\web\\site1"},
      {Lines({"a=C:\\web\\site1"}), "C:\\web\\site1.asp", ""},
      {Lines({"a=", "b=C:\\x"}), "C:\\x\\y", "a="},
      {Lines({"a="}), "", "a="},
      {Lines({"a=C:\\web", "b=C:\\web\\site1"}), "C:\\web\\site1\\x.asp", "a=C:\\web"},
      {Lines({"x", "a = C:\\web\\site1 "}), "c:\\web\\site1\\p", "a = C:\\web\\site1 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(support::FindEntryByFolderPrefix(c.lines, c.target, '='), c.found) << c.target;
  }
}

TEST(SplitTrimmed, PiecesBetweenSeparatorsTrimmed) {
  struct Case {
    std::string text;
    char sep;
    Lines pieces;
  } cases[] = {
      {"", ',', {}},
      {"a", ',', {"a"}},
      {" a , b ", ',', {"a", "b"}},
      {"a,,b", ',', {"a", "", "b"}},
      {"a,", ',', {"a"}},
      {",a", ',', {"", "a"}},
      {std::string("x=1\0y=\xFA\0", 8), '\0', {"x=1", "y=\xFA"}},
  };
  for (const Case& c : cases) EXPECT_EQ(support::SplitTrimmed(c.text, c.sep), c.pieces) << c.text;
}

TEST(SystemErrorText, SystemTextOrTheFallback) {
  EXPECT_EQ(SystemText(123456), "The system cannot find error message for error number 123456");
  EXPECT_EQ(SystemText(-5), "The system cannot find error message for error number -5");
  for (int code : {platform::syserr::kFileNotFound, platform::syserr::kInvalidHandle}) {
    std::string text = SystemText(code);
    EXPECT_EQ(text.find("The system cannot find error message"), std::string::npos) << code;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "system texts end with their line break: " << text;
  }
  EXPECT_NE(SystemText(platform::syserr::kFileNotFound),
            SystemText(platform::syserr::kInvalidHandle));
}

// --- INI reading ---

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = testbed::ScratchDir(std::string("support-") + info->name());
  }
  std::string Ini(const std::string& text) { return WriteFile(dir_, "test.ini", text); }
  std::string Value(const std::string& file, const std::string& section, const std::string& key) {
    return support::IniValue(section, key, file);
  }
  Lines Section(const std::string& file, const std::string& section) {
    return support::IniSectionLines(section, file);
  }
  std::string dir_;
};

TEST_F(IniTest, ValuesTrimmedAndMatchedWithoutRegardToCase) {
  std::string file =
      Ini("[Settings]\r\n"
          "Installed=Brevan\r\n"
          "key =   text   \r\n"
          "Empty=\r\n"
          "  Spaced Key  =  v  \r\n"
          "[Other]\r\n"
          "Installed=Other\r\n");
  EXPECT_EQ(Value(file, "Settings", "Installed"), "Brevan");
  EXPECT_EQ(Value(file, "settings", "INSTALLED"), "Brevan");
  EXPECT_EQ(Value(file, "Settings", "key"), "text");
  EXPECT_EQ(Value(file, "Settings", "Spaced Key"), "v");
  EXPECT_EQ(Value(file, "Other", "Installed"), "Other");
  EXPECT_EQ(Value(file, "Settings", "Empty"), "");
  EXPECT_EQ(Value(file, "Settings", "Missing"), "");
  EXPECT_EQ(Value(file, "Missing", "Installed"), "");
  EXPECT_EQ(Value(Join(dir_, "absent.ini"), "Settings", "Installed"), "");
}

TEST_F(IniTest, LongValuesAreReadWhole) {
  // Around each size the reader's buffer passes through: 256, 512, 1024.
  for (std::size_t n : {254u, 255u, 256u, 300u, 511u, 512u, 513u, 5000u}) {
    std::string value;
    for (std::size_t i = 0; i < n; ++i) value.push_back(static_cast<char>('a' + i % 26));
    std::string file = Ini("[S]\nk=" + value + "\n");
    EXPECT_EQ(Value(file, "S", "k"), value) << n;
  }
}

TEST_F(IniTest, SectionLinesInFileOrderEachTrimmed) {
  std::string file =
      Ini("[Path]\n"
          "Site1=C:\\sites\\one\n"
          "  Site2 = C:\\sites\\two  \n"
          "NoEquals\n"
          "[Security]\n"
          "Site1=Brevan\n");
  Lines lines = Section(file, "path");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "Site1=C:\\sites\\one");
  EXPECT_EQ(lines.back(), "NoEquals");
  EXPECT_TRUE(Section(file, "Missing").empty());
  EXPECT_TRUE(Section(Join(dir_, "absent.ini"), "Path").empty());
}

TEST_F(IniTest, LongSectionsAreReadWhole) {
  // Sections whose lines fill the 256-byte buffer to the byte, and far beyond it.
  for (int total : {250, 253, 254, 255, 256, 257, 300, 2000}) {
    std::string text = "[Path]\n";
    Lines expected;
    int used = 0;
    for (int i = 0; used < total; ++i) {
      std::string line = "s" + std::to_string(i) + "=C:\\w";
      int room = total - used - static_cast<int>(line.size()) - 1;
      if (room < 0) room = 0;
      if (room > 20) room = 20;
      line += std::string(static_cast<std::size_t>(room), 'x');
      used += static_cast<int>(line.size()) + 1;
      text += line + "\n";
      expected.push_back(line);
    }
    EXPECT_EQ(Section(Ini(text), "Path"), expected) << total;
  }
}

TEST_F(IniTest, ByteFAStaysInsideItsLine) {
  // 0xFA is the letter u-acute in the Western code page; a folder holding it is one line.
  std::string file = Ini("[Path]\nSite\xFA=C:\\sites\\men\xFA\nOther=C:\\x\n");
  EXPECT_EQ(Section(file, "Path"), Lines({"Site\xFA=C:\\sites\\men\xFA", "Other=C:\\x"}));
  EXPECT_EQ(support::FindIniEntry("Path", "C:\\sites\\men\xFA\\x.asp", file),
            "Site\xFA=C:\\sites\\men\xFA");
}

TEST_F(IniTest, FindIniEntry) {
  std::string file = Ini("[Path]\nC:\\sites\\one\nb=C:\\sites\\one\n");
  // The line without "=" is listed but never found.
  EXPECT_EQ(support::FindIniEntry("Path", "C:\\sites\\one\\x.asp", file), "b=C:\\sites\\one");
  EXPECT_EQ(support::FindIniEntry("Path", "C:\\sites\\two\\x.asp", file), "");
  EXPECT_EQ(support::FindIniEntry("Path", "C:\\sites\\one\\x.asp", Join(dir_, "WebSite.ini")), "");
  EXPECT_EQ(support::IniValue("Path", "b", file), "C:\\sites\\one");
}

// --- registry ---

// Values written by the test to the machine's registry (the Wine prefix's, or the POSIX
// store) and read through platform::OpenSystemRegistry, as the access control reads them.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    reg_ = std::make_unique<testreg::ScopedRegistry>(
        testbed::ScratchDir(std::string("support-") + info->name()));
  }
  void TearDown() override { reg_.reset(); }
  static support::TextResult String(const std::string& path, const std::string& name) {
    return support::ReadRegistryString(*platform::OpenSystemRegistry(), path, name);
  }
  static support::TextResult Number(const std::string& path, const std::string& name) {
    return support::ReadRegistryNumber(*platform::OpenSystemRegistry(), path, name);
  }
  std::unique_ptr<testreg::ScopedRegistry> reg_;
};

constexpr const char* kKey = "SOFTWARE\\KestraTest\\Values";
constexpr const char* kPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\KestraTest\\Values";

void ExpectRead(const support::TextResult& result, const std::string& text) {
  EXPECT_TRUE(result.ok) << result.text;
  EXPECT_EQ(result.text, text);
}

TEST_F(RegistryTest, StringsAndNumbers) {
  reg_->SetString(kKey, "Text", "C:\\Program Files\\Tarnwick");
  reg_->SetString(kKey, "Empty", "");
  reg_->SetNumber(kKey, "Max", 4294967295u);
  reg_->SetNumber(kKey, "Zero", 0);
  reg_->SetNumber(kKey, "One", 1);
  ExpectRead(String(kPath, "Text"), "C:\\Program Files\\Tarnwick");
  ExpectRead(String(kPath, "text"), "C:\\Program Files\\Tarnwick");  // value names ignore case
  ExpectRead(String("hkey_local_machine\\software\\kestratest\\values", "Text"),
             "C:\\Program Files\\Tarnwick");
  ExpectRead(String(kPath, "Empty"), "");
  ExpectRead(Number(kPath, "Max"), "4294967295");
  ExpectRead(Number(kPath, "Zero"), "0");
  ExpectRead(Number(kPath, "One"), "1");
}

TEST_F(RegistryTest, LongStringsAreReadWhole) {
  for (std::size_t n : {255u, 256u, 300u, 4000u}) {
    std::string value(n, 'v');
    value[n - 1] = 'e';
    reg_->SetString(kKey, "Long", value);
    SCOPED_TRACE(n);
    ExpectRead(String(kPath, "Long"), value);
  }
}

TEST_F(RegistryTest, StringEndsAtItsFirstNulEvenWithoutATerminator) {
  reg_->SetRaw(kKey, "Inner", platform::kRegSz, {'a', 'b', 0, 'c', 0});
  reg_->SetRaw(kKey, "Unended", platform::kRegSz, {'x', 'y', 'z'});
  ExpectRead(String(kPath, "Inner"), "ab");
  ExpectRead(String(kPath, "Unended"), "xyz");
}

TEST_F(RegistryTest, WrongTypeOrEmptyIsAMismatch) {
  reg_->SetString(kKey, "Text", "1");
  reg_->SetNumber(kKey, "Number", 1);
  reg_->SetRaw(kKey, "Expand", platform::kRegExpandSz, {'%', 'x', '%', 0});
  reg_->SetRaw(kKey, "Multi", platform::kRegMultiSz, {'a', 0, 0});
  reg_->SetRaw(kKey, "NoBytes", platform::kRegSz, {});
  reg_->SetRaw(kKey, "WideNumber", platform::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0});
  reg_->SetRaw(kKey, "ShortNumber", platform::kRegDword, {1, 0});
  struct Case {
    const char* name;
    bool number;
  } cases[] = {{"Text", true},     {"Number", false},    {"Expand", false},    {"Multi", false},
               {"NoBytes", false}, {"WideNumber", true}, {"ShortNumber", true}};
  for (const Case& c : cases) {
    const support::TextResult result = c.number ? Number(kPath, c.name) : String(kPath, c.name);
    EXPECT_FALSE(result.ok) << c.name;
    EXPECT_EQ(result.text, support::kRegistryTypeMismatch) << c.name;
  }
}

TEST_F(RegistryTest, FailuresGiveTheSystemText) {
  reg_->SetString(kKey, "Text", "x");
  struct Case {
    const char* path;
    const char* name;
    int code;
  } cases[] = {
      {kPath, "Missing", platform::syserr::kFileNotFound},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\KestraTest\\Absent", "Text", platform::syserr::kFileNotFound},
      {"HKLM\\SOFTWARE\\KestraTest\\Values", "Text", platform::syserr::kInvalidHandle},
      {"HKEY_LOCAL_MACHINE", "Text", platform::syserr::kInvalidHandle},
      {"", "Text", platform::syserr::kInvalidHandle},
  };
  for (const Case& c : cases) {
    for (const support::TextResult& result : {String(c.path, c.name), Number(c.path, c.name)}) {
      EXPECT_FALSE(result.ok) << c.path;
      EXPECT_EQ(result.text, SystemText(c.code)) << c.path;
    }
  }
}

// 64-bit Windows keeps a 32-bit and a 64-bit registry view; 32-bit-only Windows and the
// POSIX store have one, where a write to either view lands in the same key.
bool HasTwoRegistryViews() {
#ifdef _WIN32
  if (sizeof(void*) == 8) return true;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#else
  return false;
#endif
}

// Both bitnesses read one configuration: the key of the 32-bit view, or when that view
// has no such key, the key of the 64-bit view. A key of the 32-bit view that lacks the
// value is still the one read.
TEST_F(RegistryTest, ThirtyTwoBitViewFirstThenSixtyFourBitView) {
  using platform::RegView;
  const std::string not_found = SystemText(platform::syserr::kFileNotFound);
  struct Case {
    const char* what;
    const char* in32;  // null: no key in that view; "": the key without the value
    const char* in64;
    const char* two_views;  // the result where the views differ (null: refused)
    const char* one_view;
  } cases[] = {
      {"32-bit view only", "thirty-two", nullptr, "thirty-two", "thirty-two"},
      {"64-bit view only", nullptr, "sixty-four", "sixty-four", "sixty-four"},
      {"both views", "thirty-two", "sixty-four", "thirty-two", "sixty-four"},
      {"32-bit key without the value", "", "sixty-four", nullptr, "sixty-four"},
      {"neither view", nullptr, nullptr, nullptr, nullptr},
  };
  const bool two_views = HasTwoRegistryViews();
  for (const Case& c : cases) {
    reg_->Clear();
    for (auto [view, value] : {std::pair{RegView::k32, c.in32}, std::pair{RegView::k64, c.in64}}) {
      if (value == nullptr) continue;
      if (*value == '\0') {
        reg_->CreateKey(kKey, view);
      } else {
        reg_->SetString(kKey, "Where", value, view);
      }
    }
    const char* want = two_views ? c.two_views : c.one_view;
    const support::TextResult result = String(kPath, "Where");
    EXPECT_EQ(result.ok, want != nullptr) << c.what;
    EXPECT_EQ(result.text, want ? want : not_found) << c.what;
  }
  // The same with two views in memory, wherever the system's registry has one.
  for (const Case& c : cases) {
    testreg::TwoViewRegistry registry;
    for (auto [view, value] : {std::pair{RegView::k32, c.in32}, std::pair{RegView::k64, c.in64}}) {
      if (value == nullptr) continue;
      registry.Of(view).CreateKey(platform::RegRoot::kLocalMachine, kKey);
      if (*value) {
        registry.Of(view).SetValue(platform::RegRoot::kLocalMachine, kKey, "Where",
                                   platform::RegValue::String(value));
      }
    }
    const support::TextResult result = support::ReadRegistryString(registry, kPath, "Where");
    EXPECT_EQ(result.ok, c.two_views != nullptr) << c.what;
    EXPECT_EQ(result.text, c.two_views ? c.two_views : not_found) << c.what;
  }
}

}  // namespace
