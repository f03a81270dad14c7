// PE header and export table reading (see pe_image.h).
#include "tools/pe_image.h"

#include <optional>

namespace kestra_tool {
namespace {

// Little-endian reads at absolute offsets; a read out of range yields 0 and sets a
// sticky failure that the parser checks at each step's end.
class ByteCursor {
 public:
  explicit ByteCursor(std::string_view bytes) : m_strBytes(bytes) {}
  bool Failed() const { return m_bFailed; }

  std::uint32_t U16(std::uint64_t at) { return Read(at, 2); }
  std::uint32_t U32(std::uint64_t at) { return Read(at, 4); }

  // A NUL-ended name of at most `limit` bytes.
  std::string Name(std::uint64_t at, std::size_t limit) {
    const std::string_view rest = at < m_strBytes.size() ? m_strBytes.substr(at, limit) : "";
    const std::size_t end = rest.find('\0');
    if (end != std::string_view::npos) return std::string(rest.substr(0, end));
    m_bFailed = true;
    return {};
  }

 private:
  std::uint32_t Read(std::uint64_t at, int width) {
    if (at > m_strBytes.size() || m_strBytes.size() - at < static_cast<std::uint64_t>(width)) {
      m_bFailed = true;
      return 0;
    }
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
      value = (value << 8) | static_cast<unsigned char>(m_strBytes[at + i]);
    }
    return value;
  }

  std::string_view m_strBytes;
  bool m_bFailed = false;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t raw_size;
  std::uint32_t raw_offset;
};

// The file offset of an address in the loaded image, when a section's file data holds it.
std::optional<std::uint64_t> FileOffset(const std::vector<Section>& sections, std::uint32_t rva) {
  for (const Section& s : sections) {
    if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size) {
      return static_cast<std::uint64_t>(s.raw_offset) + (rva - s.virtual_address);
    }
  }
  return std::nullopt;
}

PeImage Problem(std::string text) {
  PeImage image;
  image.problem = std::move(text);
  return image;
}

// Windows itself loads at most 96 sections; export names beyond this many are not ours.
constexpr std::uint32_t kMaxSections = 96;
constexpr std::uint32_t kMaxExportNames = 65536;
constexpr std::size_t kMaxNameLength = 512;
constexpr std::uint16_t kFileIsDll = 0x2000;

}  // namespace

PeImage ReadPeImage(std::string_view bytes) {
  ByteCursor in(bytes);
  if (in.U16(0) != 0x5a4d || in.Failed()) return Problem("not a program file (no MZ header)");
  const std::uint64_t pe = in.U32(0x3c);
  if (in.U32(pe) != 0x00004550 || in.Failed()) return Problem("no PE header");

  PeImage image;
  const std::uint64_t coff = pe + 4;
  image.machine = static_cast<std::uint16_t>(in.U16(coff));
  const std::uint32_t section_count = in.U16(coff + 2);
  const std::uint32_t optional_size = in.U16(coff + 16);
  image.is_dll = (in.U16(coff + 18) & kFileIsDll) != 0;
  const std::uint64_t optional = coff + 20;
  const std::uint32_t magic = in.U16(optional);
  if (in.Failed()) return Problem("truncated PE header");
  if (magic != 0x10b && magic != 0x20b) return Problem("unknown optional header");
  // The data directories follow the optional header's fixed part, their count just
  // before them; PE32+ (0x20b) has 16 bytes more of it (64-bit stack and heap sizes).
  const std::uint64_t directories = optional + (magic == 0x20b ? 112 : 96);
  const std::uint32_t directory_count = in.U32(directories - 4);
  if (section_count > kMaxSections) return Problem("too many sections");

  std::vector<Section> sections;
  const std::uint64_t table = optional + optional_size;
  for (std::uint32_t i = 0; i < section_count; ++i) {
    const std::uint64_t at = table + 40ull * i;
    sections.push_back({in.U32(at + 12), in.U32(at + 16), in.U32(at + 20)});
  }
  if (in.Failed()) return Problem("truncated section table");

  image.valid = true;
  if (directory_count == 0) return image;
  const std::uint32_t export_rva = in.U32(directories);
  if (in.Failed()) return Problem("truncated data directories");
  if (export_rva == 0) return image;
  const std::optional<std::uint64_t> exports = FileOffset(sections, export_rva);
  if (!exports) return Problem("export table outside the file");

  const std::uint32_t name_count = in.U32(*exports + 24);
  const std::uint32_t names_rva = in.U32(*exports + 32);
  if (in.Failed()) return Problem("truncated export table");
  if (name_count > kMaxExportNames) return Problem("too many export names");
  if (name_count == 0) return image;
  const std::optional<std::uint64_t> names = FileOffset(sections, names_rva);
  if (!names) return Problem("export names outside the file");
  for (std::uint32_t i = 0; i < name_count; ++i) {
    const std::optional<std::uint64_t> name = FileOffset(sections, in.U32(*names + 4ull * i));
    if (in.Failed() || !name) return Problem("export name outside the file");
    image.exports.push_back(in.Name(*name, kMaxNameLength));
    if (in.Failed()) return Problem("unreadable export name");
  }
  return image;
}

}  // namespace kestra_tool
