#include "module/list_entries_com.h"

#include <string>

#include "module/bstr_text.h"

namespace kestra {

STDMETHODIMP ListEntriesObject::get_MX(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = BstrFromText(m_record.exchange);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ListEntriesObject::get_Preference(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = BstrFromText(std::to_string(m_record.preference));
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kestra
