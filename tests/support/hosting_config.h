// A hosting configuration written by a test: the access key (InstallationPath naming a
// scratch folder of the test's own, EnableGatehouse) in the test's registry
// (test_registry.h), and Admin.ini and WebSite.ini in that folder. Write() gives the
// worked configuration: Site1 at C:\sites\one may use MXRecords and Lookup of Brevan.
#pragma once

#include <cstdint>
#include <string>

#include "support/texts.h"
#include "test_registry.h"

namespace testreg {

inline constexpr char kWorkedWebSite[] =
    "[Path]\r\nSite1=C:\\sites\\one\r\n[Security]\r\nSite1=Brevan\r\n"
    "[Site1]\r\nBrevan=MXRecords, Lookup\r\n";

class HostingConfig {
 public:
  // An empty scratch folder `name` and a registry without the key.
  explicit HostingConfig(const std::string& name);

  // The key, switched on, Admin.ini installing and applying Brevan, and `website`.
  void Write(const std::string& website = kWorkedWebSite);
  void Install() { registry.SetString(support::texts::kConfigKeyPath, "InstallationPath", folder); }
  void Switch(std::uint32_t value) {
    registry.SetNumber(support::texts::kConfigKeyPath, "EnableGatehouse", value);
  }
  void Admin(const std::string& installed = "Brevan", const std::string& applied = "Brevan");
  void WebSite(const std::string& text) { WriteFile("WebSite.ini", text); }
  void WriteFile(const std::string& name, const std::string& text);
  // A file of the folder, in the form the running program opens.
  std::string Path(const std::string& name) const;

  const std::string folder;
  ScopedRegistry registry;
};

}  // namespace testreg
