// The object map: the three creatable classes, in the order registration walks them.
#include "module/Kestra_h.h"
#include "module/com_object.h"
#include "module/list_com.h"
#include "module/list_entries_com.h"
#include "module/lookup_com.h"
#include "module/module.h"

namespace kestra {

ObjectMapEntry* ObjectMap() {
  static ObjectMapEntry map[] = {
      {&CLSID_Lookup, 102, &CreateComObject<CLookupCom>, nullptr},
      {&CLSID_List, 103, &CreateComObject<CList1>, nullptr},
      {&CLSID_ListEntries, 104, &CreateComObject<CList1Entries>, nullptr},
      {nullptr, 0, nullptr, nullptr},
  };
  return map;
}

}  // namespace kestra
