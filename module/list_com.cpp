#include "module/list_com.h"

#include <cstddef>
#include <new>
#include <utility>

#include "module/enum_com.h"
#include "module/list_entries_com.h"

namespace kestra {

void ListObject::SetEntries(std::vector<dns::MxRecord> entries) {
  m_entries.clear();
  try {
    m_entries.reserve(entries.size());  // so that no push_back below can fail
  } catch (const std::bad_alloc&) {
    return;
  }
  for (dns::MxRecord& source : entries) {
    platform::OwnedInterface<HeapObject<ListEntriesObject>> entry;
    if (FAILED(HeapObject<ListEntriesObject>::Create(&entry))) return;
    entry->SetRecord(std::move(source));
    // The entry's only reference once `entry` lets go, until a script takes one of its own.
    platform::OwnedInterface<IDispatch> item;
    if (FAILED(entry->QueryInterface(__uuidof(IDispatch), item.put_void()))) return;
    m_entries.push_back(std::move(item));
  }
}

STDMETHODIMP ListObject::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  platform::OwnedInterface<HeapObject<VariantEnumerator>> enumerator;
  HRESULT hr = HeapObject<VariantEnumerator>::Create(&enumerator);
  if (FAILED(hr)) return hr;
  hr = enumerator->InitCopy(m_entries);
  if (FAILED(hr)) return hr;
  return enumerator->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(pVal));
}

STDMETHODIMP ListObject::get_Count(long* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<long>(m_entries.size());
  return S_OK;
}

STDMETHODIMP ListObject::get_Item(long index, VARIANT* pVal) {
  if (!pVal) return E_POINTER;
  VariantInit(pVal);
  V_VT(pVal) = VT_UNKNOWN;
  V_UNKNOWN(pVal) = nullptr;
  if (index < 1 || static_cast<std::size_t>(index) > m_entries.size()) return E_INVALIDARG;
  IDispatch* entry = m_entries[static_cast<std::size_t>(index - 1)].get();
  entry->AddRef();
  V_VT(pVal) = VT_DISPATCH;
  V_DISPATCH(pVal) = entry;
  return S_OK;
}

}  // namespace kestra
