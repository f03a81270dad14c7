// The system's private-profile functions behind platform/profile.h.
#include <windows.h>

#include "platform/profile.h"

namespace platform {

std::uint32_t ProfileString(const std::string& section, const std::string& key, char* buffer,
                            std::uint32_t size, const std::string& file) {
  return GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, size, file.c_str());
}

std::uint32_t ProfileSection(const std::string& section, char* buffer, std::uint32_t size,
                             const std::string& file) {
  return GetPrivateProfileSectionA(section.c_str(), buffer, size, file.c_str());
}

std::uint32_t ProfileFile::String(const std::string& section, const std::string& key, char* buffer,
                                  std::uint32_t size) {
  return ProfileString(section, key, buffer, size, m_strPath);
}

std::uint32_t ProfileFile::Section(const std::string& section, char* buffer, std::uint32_t size) {
  return ProfileSection(section, buffer, size, m_strPath);
}

}  // namespace platform
