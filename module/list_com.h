// The List object: the collection GetMXRecord returns.
//
// CMXList resolves, sorts and drives the filling; this class keeps the items as an
// array of VARIANTs, each holding the one reference the list owns to its entry object.
// Count, the 1-based Item and _NewEnum only read that array.
#pragma once

#include <windows.h>

#include <cstdint>

#include "collections/mx_list.h"
#include "module/Kestra_h.h"
#include "module/com_object.h"
#include "module/owned.h"

namespace kestra {

class ListObject : public ComClass<ListObject, IList>, public CMXList {
 public:
  ListObject() = default;

  // IList
  STDMETHODIMP get__NewEnum(IUnknown** pVal) override;
  STDMETHODIMP get_Count(long* pVal) override;
  STDMETHODIMP get_Item(long index, VARIANT* pVal) override;

 protected:
  // Item storage for CMXList::Fill: one entry object per exchanger.
  void ClearItems() override;
  bool AllocateItems(std::int32_t count) override;
  bool StoreItem(std::int32_t index, CEntryNode& node) override;

 private:
  OwnedVariants m_items;  // m_nCount never exceeds its size
};

}  // namespace kestra
