#include "module/list_entries_com.h"

#include "module/bstr_text.h"

namespace kestra {

STDMETHODIMP ListEntriesObject::get_MX(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = BstrFromText(m_strMX);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ListEntriesObject::get_Preference(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = BstrFromText(m_strPreference);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kestra
