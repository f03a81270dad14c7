// The Lookup object as scripts see it: ILookup mapped onto the portable CLookup.
//
// Every member answers S_OK on every path; outcomes travel in the result and in the
// object's error state. A call that the access control refuses leaves its result
// exactly as the caller passed it.
#pragma once

#include <windows.h>

#include "lookup/lookup.h"
#include "module/Kestra_h.h"
#include "module/com_object.h"

namespace kestra {

class LookupObject : public ComClass<ILookup> {
 public:
  // ILookup
  STDMETHODIMP get_MXRecords(short* pVal) override;
  STDMETHODIMP put_DNSServer(BSTR newVal) override;
  STDMETHODIMP put_DomainName(BSTR newVal) override;
  STDMETHODIMP put_Timeout(int newVal) override;
  STDMETHODIMP get_IsError(short* pVal) override;
  STDMETHODIMP get_ErrorReason(BSTR* pVal) override;
  STDMETHODIMP GetMXRecord(VARIANT* pVal) override;
  STDMETHODIMP DNSLookup(BSTR HostName, BSTR* pVal) override;
  STDMETHODIMP ReverseDNSLookup(BSTR IP, BSTR* pVal) override;
  STDMETHODIMP VerifySMTP(BSTR SMTPServer, short* pVal) override;

 private:
  lookup::CLookup m_lookup;
};

}  // namespace kestra
