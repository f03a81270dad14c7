// Small PE images for the tests: a DOS header, a PE header (PE32+ for x64, PE32
// otherwise), one section holding the export table and its names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testpe {

struct ImageShape {
  std::uint16_t machine;
  bool dll;
  std::vector<std::string> exports;
};

inline constexpr std::size_t kPeHeader = 0x40;
inline constexpr std::size_t kOptionalHeader = kPeHeader + 24;
inline constexpr std::size_t kSectionFile = 0x200;
inline constexpr std::uint32_t kSectionRva = 0x1000;
inline constexpr std::size_t kExportTableFile = kSectionFile;
inline constexpr std::size_t kNameArrayFile = kSectionFile + 40;

inline void Put16(std::string* bytes, std::size_t at, std::uint32_t value) {
  (*bytes)[at] = static_cast<char>(value & 0xff);
  (*bytes)[at + 1] = static_cast<char>((value >> 8) & 0xff);
}
inline void Put32(std::string* bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value & 0xffff);
  Put16(bytes, at + 2, value >> 16);
}

inline bool IsPe32Plus(std::uint16_t machine) {
  return machine == 0x8664;
}
// Where the export directory's address sits, for the x64 images.
inline constexpr std::size_t kExportDirectoryEntry = kOptionalHeader + 112;

inline std::string MakeImage(const ImageShape& shape) {
  const bool plus = IsPe32Plus(shape.machine);
  const std::size_t optional_size = plus ? 240 : 224;
  std::string bytes(kSectionFile + 0x200, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(&bytes, 0x3c, kPeHeader);
  bytes.replace(kPeHeader, 4, std::string("PE\0\0", 4));
  Put16(&bytes, kPeHeader + 4, shape.machine);
  Put16(&bytes, kPeHeader + 6, 1);  // one section
  Put16(&bytes, kPeHeader + 20, static_cast<std::uint32_t>(optional_size));
  Put16(&bytes, kPeHeader + 22, shape.dll ? 0x2002 : 0x0002);
  Put16(&bytes, kOptionalHeader, plus ? 0x20b : 0x10b);
  Put32(&bytes, kOptionalHeader + (plus ? 108 : 92), 16);
  const std::size_t directories = kOptionalHeader + (plus ? 112 : 96);
  Put32(&bytes, directories, kSectionRva);
  Put32(&bytes, directories + 4, 0x100);
  const std::size_t section = kOptionalHeader + optional_size;
  bytes.replace(section, 6, ".edata");
  Put32(&bytes, section + 8, 0x200);  // virtual size
  Put32(&bytes, section + 12, kSectionRva);
  Put32(&bytes, section + 16, 0x200);  // raw size
  Put32(&bytes, section + 20, kSectionFile);
  // The export table: the count of names and where their addresses lie.
  Put32(&bytes, kExportTableFile + 24, static_cast<std::uint32_t>(shape.exports.size()));
  Put32(&bytes, kExportTableFile + 32, kSectionRva + 40);
  std::size_t text = kNameArrayFile + 4 * shape.exports.size();
  for (std::size_t i = 0; i < shape.exports.size(); ++i) {
    Put32(&bytes, kNameArrayFile + 4 * i,
          static_cast<std::uint32_t>(kSectionRva + (text - kSectionFile)));
    bytes.replace(text, shape.exports[i].size() + 1, shape.exports[i] + '\0');
    text += shape.exports[i].size() + 1;
  }
  return bytes;
}

}  // namespace testpe
