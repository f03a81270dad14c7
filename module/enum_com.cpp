#include "module/enum_com.h"

#include <new>

namespace kestra {

CComEnum::~CComEnum() {
  if (m_bOwnsSnapshot) {
    for (VARIANT* item = m_begin; item != m_end; ++item) VariantClear(item);
    delete[] m_begin;
  } else if (m_pOwner) {
    m_pOwner->Release();
  }
}

HRESULT CComEnum::InitCopy(const VARIANT* items, LONG count) {
  if (count < 0) return E_INVALIDARG;
  // An empty list still gets a snapshot (of no items): its enumerator answers S_FALSE,
  // not E_FAIL.
  VARIANT* copy = new (std::nothrow) VARIANT[static_cast<std::size_t>(count)];
  if (!copy) return E_OUTOFMEMORY;
  for (LONG i = 0; i < count; ++i) {
    VariantInit(&copy[i]);
    HRESULT hr = VariantCopy(&copy[i], const_cast<VARIANT*>(&items[i]));
    if (FAILED(hr)) {
      for (LONG j = 0; j < i; ++j) VariantClear(&copy[j]);
      delete[] copy;
      return hr;
    }
  }
  m_begin = copy;
  m_end = copy + count;
  m_iter = copy;
  m_bOwnsSnapshot = true;
  return S_OK;
}

void CComEnum::InitShared(const CComEnum& source, IUnknown* owner) {
  m_begin = source.m_begin;
  m_end = source.m_end;
  m_iter = source.m_iter;
  m_bOwnsSnapshot = false;
  m_pOwner = owner;
  if (m_pOwner) m_pOwner->AddRef();
}

STDMETHODIMP CComEnum::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
  if (pCeltFetched) *pCeltFetched = 0;
  if (celt == 0) return E_INVALIDARG;
  if (!rgVar || (celt != 1 && !pCeltFetched)) return E_POINTER;
  if (!m_begin) return E_FAIL;
  ULONG left = static_cast<ULONG>(m_end - m_iter);
  ULONG n = celt < left ? celt : left;
  VARIANT* start = m_iter;
  for (ULONG i = 0; i < n; ++i) {
    VariantInit(&rgVar[i]);
    HRESULT hr = VariantCopy(&rgVar[i], m_iter);
    if (FAILED(hr)) {
      // Nothing of this call is delivered, and the position stays where it was.
      for (ULONG j = 0; j < i; ++j) VariantClear(&rgVar[j]);
      m_iter = start;
      return hr;
    }
    ++m_iter;
  }
  if (pCeltFetched) *pCeltFetched = n;
  return n == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CComEnum::Skip(ULONG celt) {
  if (celt == 0) return E_INVALIDARG;
  ULONG left = static_cast<ULONG>(m_end - m_iter);
  ULONG n = celt < left ? celt : left;
  m_iter += n;
  return n == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CComEnum::Reset() {
  m_iter = m_begin;
  return S_OK;
}

STDMETHODIMP CComEnum::Clone(IEnumVARIANT** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  CComObject<CComEnum>* clone = nullptr;
  HRESULT hr = CComObject<CComEnum>::CreateInstance(&clone);
  if (FAILED(hr)) return hr;
  // A clone of a clone keeps the snapshot's owner alive, not its source.
  IUnknown* owner = m_bOwnsSnapshot ? static_cast<IUnknown*>(this) : m_pOwner;
  clone->InitShared(*this, owner);
  hr = clone->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(ppEnum));
  if (FAILED(hr)) delete clone;
  return hr;
}

}  // namespace kestra
