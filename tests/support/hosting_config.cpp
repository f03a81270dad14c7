#include "hosting_config.h"

#include <fstream>

#include "testbed.h"

namespace testreg {

HostingConfig::HostingConfig(const std::string& name)
    : folder(testbed::ScratchDir(name)), registry(folder) {}

void HostingConfig::Write(const std::string& website) {
  Install();
  Switch(1);
  Admin();
  WebSite(website);
}

void HostingConfig::Admin(const std::string& installed, const std::string& applied) {
  WriteFile("Admin.ini",
            "[Settings]\r\nInstalled=" + installed + "\r\nApplied=" + applied + "\r\n");
}

void HostingConfig::WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(Path(name), std::ios::binary | std::ios::trunc) << text;
}

std::string HostingConfig::Path(const std::string& name) const {
  return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

}  // namespace testreg
