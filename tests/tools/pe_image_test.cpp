// The PE reader on images made here: a DLL of each bitness with its export names, and
// every way the bytes can fall short.
#include "tools/pe_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/tools/pe_builder.h"

namespace {

using kestra_tool::ReadPeImage;

TEST(PeImage, ReadsMachineKindAndExports) {
  struct Case {
    std::uint16_t machine;
    bool dll;
    std::vector<std::string> exports;
  };
  const Case cases[] = {
      {kestra_tool::kMachineX64, true, {"DllCanUnloadNow", "DllGetClassObject"}},
      {kestra_tool::kMachineX86, true, {"DllRegisterServer"}},
      {kestra_tool::kMachineX86, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    const kestra_tool::PeImage image =
        ReadPeImage(testpe::MakeImage({c.machine, c.dll, c.exports}));
    EXPECT_TRUE(image.valid) << image.problem;
    EXPECT_EQ(image.machine, c.machine);
    EXPECT_EQ(image.is_dll, c.dll);
    EXPECT_EQ(image.exports, c.exports);
  }
}

TEST(PeImage, MalformedBytesAreAProblemNotACrash) {
  const std::string whole = testpe::MakeImage({kestra_tool::kMachineX64, true, {"DllMain"}});
  // Every cut of a good image up to the end of its one name ("DllMain" and its NUL):
  // no read past the end, and never a full answer.
  const std::size_t name_end = testpe::kNameArrayFile + 4 + 8;
  for (std::size_t size = 0; size < name_end; ++size) {
    const kestra_tool::PeImage image = ReadPeImage(std::string_view(whole).substr(0, size));
    EXPECT_FALSE(image.valid && image.exports == std::vector<std::string>{"DllMain"}) << size;
  }
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    const char* problem;
  };
  const Case cases[] = {
      {"no MZ", 0, 0x0000, "no MZ header"},
      {"PE header past the end", 0x3c, 0x7fffffff, "no PE header"},
      {"export table outside every section", testpe::kExportDirectoryEntry, 0x9000,
       "export table outside the file"},
      {"a huge count of names", testpe::kExportTableFile + 24, 0x7fffffff, "too many export names"},
      {"a name outside every section", testpe::kNameArrayFile, 0x9000,
       "export name outside the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = whole;
    testpe::Put32(&bytes, c.offset, c.value);
    const kestra_tool::PeImage image = ReadPeImage(bytes);
    EXPECT_FALSE(image.valid);
    EXPECT_NE(image.problem.find(c.problem), std::string::npos) << image.problem;
  }
}

}  // namespace
