// VariantEnumerator: the IEnumVARIANT that IList::_NewEnum hands out.
//
// The enumerator made by _NewEnum owns a snapshot: its own copy of the list's items,
// each holding a reference to its entry, so the list may go while an enumeration runs.
// Clones share that snapshot without copying it and keep its owner alive instead.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <vector>

#include "module/com_object.h"
#include "platform/win32/owned.h"

namespace kestra {

class VariantEnumerator : public ComClass<IEnumVARIANT> {
 public:
  // Takes a snapshot of `items`, a reference to each; E_OUTOFMEMORY when its array
  // cannot be made.
  HRESULT InitCopy(const std::vector<platform::OwnedInterface<IDispatch>>& items);

  // IEnumVARIANT
  STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
  STDMETHODIMP Skip(ULONG celt) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override;

 private:
  platform::OwnedVariants m_snapshot;  // only in the enumerator that made the copy
  platform::OwnedInterface<IUnknown>
      m_owner;                        // the snapshot's owner, when the snapshot is another's
  const VARIANT* m_pBegin = nullptr;  // null: no snapshot
  const VARIANT* m_pEnd = nullptr;
  const VARIANT* m_pIter = nullptr;
};

}  // namespace kestra
