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
// from `caller` (null: the platform's request). With an account, both steps are told
// there: where the files are, every value read, and how the decision came out.
class ConfiguredAccess final : public AccessControl {
 public:
  explicit ConfiguredAccess(CallerSource* caller = nullptr, support::Account* account = nullptr)
      : m_pCaller(caller), m_pAccount(account) {}
  ConfigFiles LocateConfigFiles() override {
    ConfigFiles files = hosting::LocateConfigFiles();
    NoteConfigFiles(m_pAccount, files);
    return files;
  }
  Decision Check(const std::string& component, const std::string& method,
                 const ConfigFiles& files) override {
    Decision decision = Decide(component, method, files, m_pCaller, m_pAccount);
    NoteDecision(m_pAccount, decision);
    return decision;
  }

 private:
  CallerSource* m_pCaller;
  support::Account* m_pAccount;
};

}  // namespace hosting
