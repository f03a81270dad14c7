#include "lookup/mx_list.h"

#include <algorithm>

#include "platform/mbcs.h"

namespace lookup {

void SortMxList(std::vector<dns::MxRecord>* records) {
  // Equal names end up in the reverse of their answer order: a stable sort of the
  // reversed answer.
  std::reverse(records->begin(), records->end());
  std::stable_sort(records->begin(), records->end(),
                   [](const dns::MxRecord& a, const dns::MxRecord& b) {
                     return platform::CompareNoCase(a.exchange, b.exchange) < 0;
                   });
}

}  // namespace lookup
