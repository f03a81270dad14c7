// The List object: the collection GetMXRecord returns.
//
// It takes over the sorted exchangers of an answer (lookup/mx_list.h) and holds one
// reference to one ListEntries object per entry. Count, the 1-based Item and _NewEnum
// only read those.
#pragma once

#include <windows.h>

#include <vector>

#include "lookup/mx_list.h"
#include "module/Kestra_h.h"
#include "module/com_object.h"
#include "platform/win32/owned.h"

namespace kestra {

class ListObject : public ComClass<IList> {
 public:
  // Replaces the items with one entry object per entry, in the entries' order. When
  // memory runs out part-way, the list keeps the entry objects made before.
  void SetEntries(std::vector<dns::MxRecord> entries);

  // IList
  STDMETHODIMP get__NewEnum(IUnknown** pVal) override;
  STDMETHODIMP get_Count(long* pVal) override;
  STDMETHODIMP get_Item(long index, VARIANT* pVal) override;

 private:
  std::vector<platform::OwnedInterface<IDispatch>> m_entries;
};

}  // namespace kestra
