// The Lookup object's logic, independent of the automation binding: its inputs, its
// error state, the frame every lookup runs in, and the five lookups. The COM class in
// module/ maps ILookup onto this; the kestra tool and the tests call it directly.
#pragma once

#include <cstdint>
#include <string>

namespace collections {
class CMXList;  // collections/mx_list.h: the sorted MX list behind the List object
}
namespace hosting {
class AccessControl;  // access/access_control.h: what the frame asks before each call
}

namespace lookup {

class CLookup {
 public:
  CLookup();
  virtual ~CLookup();
  CLookup(const CLookup&) = delete;
  CLookup& operator=(const CLookup&) = delete;

  // Properties. They only store or return fields: no access check, and the error state
  // stays as it is. Texts are narrow text in the ANSI code page, stored as given (no
  // trimming or validation); a binding passes a null argument as the empty text.
  void PutDNSServer(std::string text);
  void PutDomainName(std::string text);
  void PutTimeout(std::int32_t seconds);
  std::int16_t GetIsError() const { return m_nIsError; }
  const std::string& GetErrorReason() const { return m_strErrorReason; }

  // The frame shared by the five lookups: sets the access name and the error flag,
  // has the access control locate the configuration, then asks it whether the call may
  // run, keeping both answers in the fields below. Returns false when the call is
  // refused (the refusal text is then the ErrorReason, and the caller returns at once,
  // its result unwritten); on true the error flag is back at 0 and the lookup's own
  // work follows.
  bool EnterFrame(const char* access_name);

  // The lookups, frame included. Each returns false when the access control refused
  // the call, in which case the result is not written.
  bool MXRecords(std::int16_t* count);
  // On success `list` holds the exchangers of a second query of its own, sorted (see
  // CMXList); on a failure the list is left as it was and the result the binding hands
  // out is a null object reference: *has_list tells which.
  bool GetMXRecord(collections::CMXList* list, bool* has_list);
  bool DNSLookup(const std::string& host_name, std::string* address);
  bool ReverseDNSLookup(const std::string& ip, std::string* host_name);
  bool VerifySMTP(const std::string& smtp_server, std::int16_t* result);

  // The lookups' own work, for bindings that run the frame themselves.
  void MXRecordsWork(std::int16_t* count, bool* written);
  void GetMXRecordWork(collections::CMXList* list, bool* has_list);
  void DNSLookupWork(const std::string& host_name, std::string* address);
  void ReverseDNSLookupWork(const std::string& ip, std::string* host_name);
  void VerifySMTPWork(const std::string& smtp_server, std::int16_t* result);

  // Tests and the kestra tool: the access control the frame asks (null: the hosting
  // configuration with the platform's request, the web server's on Windows). It must
  // outlive the calls made while it is set.
  void SetAccessControl(hosting::AccessControl* control) { m_pAccessControl = control; }

 protected:
  // Records a failure the lookup reports through the error state.
  void Fail(const char* reason);

  // Fields, in the order of the object's data model.
  std::int32_t m_nTimeout = 60;
  std::string m_strErrorReason;
  std::int16_t m_nIsError = 0;
  std::string m_strDNSServer;
  std::string m_strDomainName;
  std::string m_strComponent = "Brevan";
  std::string m_strCallerPath;
  std::string m_strAdminIni;
  std::string m_strWebSiteIni;
  std::int32_t m_bNoConfig = 1;
  std::string m_strMethod;

  hosting::AccessControl* m_pAccessControl = nullptr;
};

}  // namespace lookup
