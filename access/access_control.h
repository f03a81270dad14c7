// What a lookup's frame (CLookup::EnterFrame) asks before every call: where the
// configuration is, then whether the call may run. Tests put stand-ins in its place.
#pragma once

#include <string>

#include "access/access_policy.h"

namespace hosting {

class AccessControl {
 public:
  virtual ~AccessControl() = default;
  virtual ConfigFiles LocateConfigFiles() = 0;
  virtual Decision Check(const std::string& component, const std::string& method,
                         const ConfigFiles& files) = 0;
};

// The hosting administrator's configuration (access_policy.h), with the calling page
// from `caller` (null: the platform's request).
class ConfiguredAccess final : public AccessControl {
 public:
  explicit ConfiguredAccess(CallerSource* caller = nullptr) : m_pCaller(caller) {}
  ConfigFiles LocateConfigFiles() override { return hosting::LocateConfigFiles(); }
  Decision Check(const std::string& component, const std::string& method,
                 const ConfigFiles& files) override {
    return Decide(component, method, files, m_pCaller);
  }

 private:
  CallerSource* m_pCaller;
};

}  // namespace hosting
