#include "module/lookup_com.h"

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "module/bstr_text.h"
#include "module/list_com.h"
#include "platform/win32/owned.h"

namespace kestra {
namespace {

// A text argument (CP_UTF8 for a host or domain name), or nothing when memory runs out
// converting it: a property then keeps its old value, and a lookup runs with the empty
// text and reports it as the empty input it sees.
std::optional<std::string> Argument(BSTR text, UINT code_page) {
  try {
    return TextFromBstr(text, code_page);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace

STDMETHODIMP LookupObject::get_MXRecords(short* pVal) {
  const auto count = m_lookup.MXRecords();
  if (count && m_lookup.GetIsError() == 0 && pVal) *pVal = *count;
  return S_OK;
}

STDMETHODIMP LookupObject::put_DNSServer(BSTR newVal) {
  if (auto text = Argument(newVal, CP_UTF8)) m_lookup.PutDNSServer(std::move(*text));
  return S_OK;
}

STDMETHODIMP LookupObject::put_DomainName(BSTR newVal) {
  if (auto text = Argument(newVal, CP_UTF8)) m_lookup.PutDomainName(std::move(*text));
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
  auto entries = m_lookup.GetMXRecord();
  if (!entries) return S_OK;
  platform::OwnedVariant ignored;
  if (!pVal) pVal = ignored.get();
  VariantInit(pVal);
  V_VT(pVal) = VT_DISPATCH;
  V_DISPATCH(pVal) = nullptr;
  if (m_lookup.GetIsError() != 0) return S_OK;
  // Unless the result takes a reference of its own, the list goes unseen when
  // `list_object` lets go of it.
  platform::OwnedInterface<HeapObject<ListObject>> list_object;
  HeapObject<ListObject>::Create(&list_object);
  if (!list_object) {
    m_lookup.FailAsGeneralFailure();
    return S_OK;
  }
  list_object->SetEntries(std::move(*entries));
  list_object->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&V_DISPATCH(pVal)));
  return S_OK;
}

STDMETHODIMP LookupObject::DNSLookup(BSTR HostName, BSTR* pVal) {
  const auto address = m_lookup.DNSLookup(Argument(HostName, CP_UTF8).value_or(""));
  if (address && pVal) *pVal = BstrFromText(*address);
  return S_OK;
}

STDMETHODIMP LookupObject::ReverseDNSLookup(BSTR IP, BSTR* pVal) {
  const auto host_name = m_lookup.ReverseDNSLookup(Argument(IP, CP_THREAD_ACP).value_or(""));
  if (host_name && pVal) *pVal = BstrFromText(*host_name);
  return S_OK;
}

STDMETHODIMP LookupObject::VerifySMTP(BSTR SMTPServer, short* pVal) {
  const auto result = m_lookup.VerifySMTP(Argument(SMTPServer, CP_UTF8).value_or(""));
  if (result && pVal) *pVal = *result;
  return S_OK;
}

}  // namespace kestra
