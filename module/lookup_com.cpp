#include "module/lookup_com.h"

#include <new>
#include <string>

#include "module/bstr_text.h"
#include "module/list_com.h"
#include "platform/win32/owned.h"

namespace kestra {
namespace {

// A text argument, or nothing when memory runs out converting it (the lookup then runs
// with the empty text and reports it as the empty input it sees).
std::string Argument(BSTR text) {
  try {
    return TextFromBstr(text);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace

LookupObject::LookupObject() = default;
LookupObject::~LookupObject() = default;

STDMETHODIMP LookupObject::get_MXRecords(short* pVal) {
  if (!m_lookup.EnterFrame("MXRecords")) return S_OK;
  std::int16_t count = 0;
  bool written = false;
  m_lookup.MXRecordsWork(&count, &written);
  if (written && pVal) *pVal = count;
  return S_OK;
}

STDMETHODIMP LookupObject::put_DNSServer(BSTR newVal) {
  try {
    m_lookup.PutDNSServer(TextFromBstr(newVal));
  } catch (const std::bad_alloc&) {
    // The old value stays.
  }
  return S_OK;
}

STDMETHODIMP LookupObject::put_DomainName(BSTR newVal) {
  try {
    m_lookup.PutDomainName(TextFromBstr(newVal));
  } catch (const std::bad_alloc&) {
  }
  return S_OK;
}

STDMETHODIMP LookupObject::put_Timeout(int newVal) {
  m_lookup.PutTimeout(newVal);
  return S_OK;
}

STDMETHODIMP LookupObject::get_IsError(short* pVal) {
  if (pVal) *pVal = m_lookup.GetIsError();
  return S_OK;
}

STDMETHODIMP LookupObject::get_ErrorReason(BSTR* pVal) {
  if (pVal) *pVal = BstrFromText(m_lookup.GetErrorReason());
  return S_OK;
}

STDMETHODIMP LookupObject::GetMXRecord(VARIANT* pVal) {
  if (!m_lookup.EnterFrame("MXRecords")) return S_OK;
  platform::OwnedVariant ignored;
  if (!pVal) pVal = ignored.get();
  VariantInit(pVal);
  // The list object is made before any input is looked at; unless the result takes a
  // reference of its own, it goes unseen when `list_object` lets go of it. Without it
  // the lookup fails the call.
  platform::OwnedInterface<HeapObject<ListObject>> list_object;
  HeapObject<ListObject>::Create(&list_object);
  collections::CMXList list;
  bool has_list = false;
  m_lookup.GetMXRecordWork(list_object ? &list : nullptr, &has_list);
  V_VT(pVal) = VT_DISPATCH;
  V_DISPATCH(pVal) = nullptr;
  if (has_list) {
    list_object->SetEntries(list.TakeEntries());
    list_object->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&V_DISPATCH(pVal)));
  }
  return S_OK;
}

STDMETHODIMP LookupObject::DNSLookup(BSTR HostName, BSTR* pVal) {
  if (!m_lookup.EnterFrame("Lookup")) return S_OK;
  std::string address;
  m_lookup.DNSLookupWork(Argument(HostName), &address);
  if (pVal) *pVal = BstrFromText(address);
  return S_OK;
}

STDMETHODIMP LookupObject::ReverseDNSLookup(BSTR IP, BSTR* pVal) {
  if (!m_lookup.EnterFrame("Lookup")) return S_OK;
  std::string host_name;
  m_lookup.ReverseDNSLookupWork(Argument(IP), &host_name);
  if (pVal) *pVal = BstrFromText(host_name);
  return S_OK;
}

STDMETHODIMP LookupObject::VerifySMTP(BSTR SMTPServer, short* pVal) {
  if (!m_lookup.EnterFrame("VerifySMTP")) return S_OK;
  std::int16_t result = 0;
  m_lookup.VerifySMTPWork(Argument(SMTPServer), &result);
  if (pVal) *pVal = result;
  return S_OK;
}

}  // namespace kestra
