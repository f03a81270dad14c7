// The system's private-profile functions behind platform/profile.h.
#include <windows.h>

#include "platform/profile.h"

namespace platform {
namespace {

// A profile answer whatever its length: `read` fills a buffer and returns the bytes it
// used, `slack` short of the size when the answer may not have fitted. Answers are
// bounded by memory; the limit bounds the doubling besides.
template <class Read>
std::string ReadWhole(DWORD slack, Read read) {
  for (DWORD size = 256;; size *= 2) {
    std::string buffer(size, '\0');
    const DWORD n = read(buffer.data(), size);
    if (n != size - slack || size >= (1u << 30)) return buffer.substr(0, n);
  }
}

}  // namespace

std::string ProfileFile::String(const std::string& section, const std::string& key) {
  return ReadWhole(1, [&](char* buffer, DWORD size) {
    return GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, size,
                                    m_strPath.c_str());
  });
}

std::vector<std::string> ProfileFile::Section(const std::string& section) {
  const std::string text = ReadWhole(2, [&](char* buffer, DWORD size) {
    return GetPrivateProfileSectionA(section.c_str(), buffer, size, m_strPath.c_str());
  });
  // Each line ends with a NUL.
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\0', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

}  // namespace platform
