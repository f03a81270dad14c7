#include "module/list_com.h"

#include <cstddef>
#include <utility>

#include "module/enum_com.h"
#include "module/list_entries_com.h"

namespace kestra {

void ListObject::SetEntries(std::vector<dns::MxRecord> entries) {
  m_items.clear();
  m_nCount = 0;
  if (entries.empty() || !m_items.Allocate(entries.size())) return;
  for (dns::MxRecord& source : entries) {
    platform::OwnedInterface<HeapObject<ListEntriesObject>> entry;
    if (FAILED(HeapObject<ListEntriesObject>::Create(&entry))) return;
    static_cast<dns::MxRecord&>(*entry.get()) = std::move(source);
    // The entry's only reference once `entry` lets go, until a script takes one of its own.
    VARIANT& item = m_items[static_cast<std::size_t>(m_nCount)];
    if (FAILED(entry->QueryInterface(__uuidof(IDispatch),
                                     reinterpret_cast<void**>(&V_DISPATCH(&item))))) {
      return;
    }
    V_VT(&item) = VT_DISPATCH;
    ++m_nCount;
  }
}

STDMETHODIMP ListObject::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  platform::OwnedInterface<HeapObject<VariantEnumerator>> enumerator;
  HRESULT hr = HeapObject<VariantEnumerator>::Create(&enumerator);
  if (FAILED(hr)) return hr;
  hr = enumerator->InitCopy(m_items.data(), m_nCount);
  if (FAILED(hr)) return hr;
  return enumerator->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(pVal));
}

STDMETHODIMP ListObject::get_Count(long* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = m_nCount;
  return S_OK;
}

STDMETHODIMP ListObject::get_Item(long index, VARIANT* pVal) {
  if (!pVal) return E_POINTER;
  VariantInit(pVal);
  V_VT(pVal) = VT_UNKNOWN;
  V_UNKNOWN(pVal) = nullptr;
  if (index < 1 || index > m_nCount) return E_INVALIDARG;
  // A copy of a VT_DISPATCH only takes a reference; it has no failure to report.
  VariantCopy(pVal, &m_items[static_cast<std::size_t>(index - 1)]);
  return S_OK;
}

}  // namespace kestra
