// What a lookup's frame (CLookup::EnterFrame) asks before every call: where the
// configuration is, then whether the call may run. Tests put stand-ins in its place.
#pragma once

#include <string>

#include "access/access_policy.h"

namespace hosting {

class AccessControl {
 public:
  virtual ~AccessControl() = default;
  // An account, when the frame has one, hears both steps.
  virtual ConfigFiles LocateConfigFiles(support::Account* account) = 0;
  virtual Decision Check(const std::string& component, const std::string& method,
                         const ConfigFiles& files, support::Account* account) = 0;
};

// The hosting administrator's configuration (access_policy.h), with the calling page
// from `caller` (null: the platform's request). With an account, both steps are told
// there: where the files are, every value read, and how the decision came out.
class ConfiguredAccess final : public AccessControl {
 public:
  explicit ConfiguredAccess(CallerSource* caller = nullptr) : m_pCaller(caller) {}
  ConfigFiles LocateConfigFiles(support::Account* account) override {
    ConfigFiles files = hosting::LocateConfigFiles();
    NoteConfigFiles(account, files);
    return files;
  }
  Decision Check(const std::string& component, const std::string& method, const ConfigFiles& files,
                 support::Account* account) override {
    Decision decision = Decide(component, method, files, m_pCaller, account);
    NoteDecision(account, decision);
    return decision;
  }

 private:
  CallerSource* m_pCaller;
};

}  // namespace hosting
