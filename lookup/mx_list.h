// The order of the List that GetMXRecord returns. Its entries are the resolver's records
// (dns::MxRecord); the COM List object (module/list_com.*) takes them over in this order.
#pragma once

#include <vector>

#include "dns/mx_resolver.h"

namespace lookup {

// Sorts the exchangers of one answer, given in answer order, by exchange: ascending,
// case-blind (platform::CompareNoCase), and names that compare equal in the reverse of
// their answer order. Preferences play no part.
void SortMxList(std::vector<dns::MxRecord>* records);

}  // namespace lookup
