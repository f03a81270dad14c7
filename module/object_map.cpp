// The object map: the three creatable classes, in the order registration walks them.
#include "module/Kestra_h.h"
#include "module/class_objects.h"
#include "module/com_object.h"
#include "module/list_com.h"
#include "module/list_entries_com.h"
#include "module/lookup_com.h"
#include "module/resource_ids.h"

namespace kestra {

ObjectMapEntry* ObjectMap() {
  static ObjectMapEntry map[] = {
      {&CLSID_Lookup, IDR_LOOKUP_SCRIPT, &CreateComObject<LookupObject>, nullptr},
      {&CLSID_List, IDR_LIST_SCRIPT, &CreateComObject<ListObject>, nullptr},
      {&CLSID_ListEntries, IDR_LISTENTRIES_SCRIPT, &CreateComObject<ListEntriesObject>, nullptr},
      {nullptr, 0, nullptr, nullptr},
  };
  return map;
}

}  // namespace kestra
