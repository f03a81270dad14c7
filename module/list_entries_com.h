// A ListEntries object: one mail exchanger of a list, read-only to scripts.
#pragma once

#include <windows.h>

#include <utility>

#include "lookup/mx_list.h"
#include "module/Kestra_h.h"
#include "module/com_object.h"

namespace kestra {

// The list sets the record right after making the object and never changes it; an entry
// made through its class object reads "" and "0".
class ListEntriesObject : public ComClass<IListEntries> {
 public:
  void SetRecord(dns::MxRecord record) { m_record = std::move(record); }

  // IListEntries: a new BSTR each time, owned by the caller; the preference in decimal.
  STDMETHODIMP get_MX(BSTR* pVal) override;
  STDMETHODIMP get_Preference(BSTR* pVal) override;

 private:
  dns::MxRecord m_record;
};

}  // namespace kestra
