#include "module/enum_com.h"

#include <algorithm>
#include <cstddef>

namespace kestra {

HRESULT VariantEnumerator::InitCopy(const std::vector<platform::OwnedInterface<IDispatch>>& items) {
  // An empty list still gets a snapshot (of no items): its enumerator answers S_FALSE,
  // not E_FAIL.
  if (!m_snapshot.Allocate(items.size())) return E_OUTOFMEMORY;
  for (std::size_t i = 0; i < items.size(); ++i) {
    V_VT(&m_snapshot[i]) = VT_DISPATCH;
    V_DISPATCH(&m_snapshot[i]) = items[i].get();
    items[i]->AddRef();
  }
  m_pBegin = m_snapshot.data();
  m_pEnd = m_pBegin + items.size();
  m_pIter = m_pBegin;
  return S_OK;
}

STDMETHODIMP VariantEnumerator::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
  if (pCeltFetched) *pCeltFetched = 0;
  if (celt == 0) return E_INVALIDARG;
  if (!rgVar || (celt != 1 && !pCeltFetched)) return E_POINTER;
  if (!m_pBegin) return E_FAIL;
  const ULONG n = std::min(celt, static_cast<ULONG>(m_pEnd - m_pIter));
  const VARIANT* start = m_pIter;
  for (ULONG i = 0; i < n; ++i) {
    VariantInit(&rgVar[i]);
    HRESULT hr = VariantCopy(&rgVar[i], const_cast<VARIANT*>(m_pIter));
    if (FAILED(hr)) {
      // Nothing of this call is delivered (the caller's array is the caller's, so it is
      // cleared here by hand), and the position stays where it was.
      for (ULONG j = 0; j < i; ++j) VariantClear(&rgVar[j]);
      m_pIter = start;
      return hr;
    }
    ++m_pIter;
  }
  if (pCeltFetched) *pCeltFetched = n;
  return n == celt ? S_OK : S_FALSE;
}

STDMETHODIMP VariantEnumerator::Skip(ULONG celt) {
  if (celt == 0) return E_INVALIDARG;
  const ULONG n = std::min(celt, static_cast<ULONG>(m_pEnd - m_pIter));
  m_pIter += n;
  return n == celt ? S_OK : S_FALSE;
}

STDMETHODIMP VariantEnumerator::Reset() {
  m_pIter = m_pBegin;
  return S_OK;
}

STDMETHODIMP VariantEnumerator::Clone(IEnumVARIANT** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  platform::OwnedInterface<HeapObject<VariantEnumerator>> clone;
  HRESULT hr = HeapObject<VariantEnumerator>::Create(&clone);
  if (FAILED(hr)) return hr;
  // The clone shares the snapshot and keeps its owner alive (a clone's owner is the
  // enumerator that made the snapshot, not its source).
  VariantEnumerator& shared = *clone.get();
  shared.m_owner = platform::OwnedInterface<IUnknown>::Share(m_owner ? m_owner.get() : this);
  shared.m_pBegin = m_pBegin;
  shared.m_pEnd = m_pEnd;
  shared.m_pIter = m_pIter;
  return clone->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(ppEnum));
}

}  // namespace kestra
