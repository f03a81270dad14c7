// CComEnum: the IEnumVARIANT that IList::_NewEnum hands out.
//
// The enumerator made by _NewEnum owns a snapshot: its own copy of the list's items,
// each holding a reference to its entry, so the list may go while an enumeration runs.
// Clones share that snapshot without copying it and keep its owner alive instead.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "module/com_object.h"

namespace kestra {

class CComEnum : public ComClass<CComEnum, IEnumVARIANT> {
 public:
  CComEnum() = default;
  ~CComEnum();
  CComEnum(const CComEnum&) = delete;
  CComEnum& operator=(const CComEnum&) = delete;

  // Takes a copy of `count` items: E_OUTOFMEMORY when the array cannot be made, or the
  // failure of a copy (the copies made so far are cleared again).
  HRESULT InitCopy(const VARIANT* items, LONG count);

  // IEnumVARIANT
  STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
  STDMETHODIMP Skip(ULONG celt) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override;

 private:
  // Shares `source`'s snapshot; `owner` is the enumerator that owns it.
  void InitShared(const CComEnum& source, IUnknown* owner);

  VARIANT* m_begin = nullptr;  // null: no snapshot
  VARIANT* m_end = nullptr;
  VARIANT* m_iter = nullptr;
  bool m_bOwnsSnapshot = false;
  IUnknown* m_pOwner = nullptr;  // counted; only when the snapshot is another's
};

}  // namespace kestra
