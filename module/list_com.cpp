#include "module/list_com.h"

#include <new>
#include <utility>

#include "module/enum_com.h"
#include "module/list_entries_com.h"

namespace kestra {

CList1::~CList1() {
  ClearItems();
}

void CList1::ClearItems() {
  for (std::int32_t i = 0; i < m_nAllocated; ++i) VariantClear(&m_pItems[i]);
  delete[] m_pItems;
  m_pItems = nullptr;
  m_nAllocated = 0;
  m_nCount = 0;
}

bool CList1::AllocateItems(std::int32_t count) {
  ClearItems();
  if (count <= 0) return true;
  m_pItems = new (std::nothrow) VARIANT[static_cast<std::size_t>(count)];
  if (!m_pItems) return false;
  for (std::int32_t i = 0; i < count; ++i) VariantInit(&m_pItems[i]);
  m_nAllocated = count;
  return true;
}

bool CList1::StoreItem(std::int32_t index, CEntryNode& node) {
  if (index < 0 || index >= m_nAllocated) return false;
  CComObject<CList1Entries>* entry = nullptr;
  if (FAILED(CComObject<CList1Entries>::CreateInstance(&entry))) return false;
  entry->m_strMX = std::move(node.m_strMX);
  entry->m_strPreference = std::move(node.m_strPreference);
  IDispatch* dispatch = nullptr;
  if (FAILED(entry->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch)))) {
    delete entry;
    return false;
  }
  // The entry's only reference until a script takes one of its own.
  V_VT(&m_pItems[index]) = VT_DISPATCH;
  V_DISPATCH(&m_pItems[index]) = dispatch;
  return true;
}

STDMETHODIMP CList1::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  CComObject<CComEnum>* enumerator = nullptr;
  HRESULT hr = CComObject<CComEnum>::CreateInstance(&enumerator);
  if (FAILED(hr)) return hr;
  hr = enumerator->InitCopy(m_pItems, m_nCount);
  if (SUCCEEDED(hr)) {
    hr = enumerator->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(pVal));
  }
  if (FAILED(hr)) delete enumerator;
  return hr;
}

STDMETHODIMP CList1::get_Count(long* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = m_nCount;
  return S_OK;
}

STDMETHODIMP CList1::get_Item(long index, VARIANT* pVal) {
  if (!pVal) return E_POINTER;
  VariantInit(pVal);
  V_VT(pVal) = VT_UNKNOWN;
  V_UNKNOWN(pVal) = nullptr;
  if (index < 1 || index > m_nCount) return E_INVALIDARG;
  // A copy of a VT_DISPATCH only takes a reference; it has no failure to report.
  VariantCopy(pVal, &m_pItems[index - 1]);
  return S_OK;
}

}  // namespace kestra
