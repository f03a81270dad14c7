// The order of the List that GetMXRecord returns. Its entries are the resolver's records
// (dns::MxRecord); the COM List object (module/list_com.*) takes them over in this order.
#pragma once

#include <string_view>
#include <vector>

#include "dns/mx_resolver.h"

namespace lookup {

// Compares two texts without regard to case, character by character in the process's
// multibyte code page (a lead byte and its trail byte are one character), each character
// folded to lower case and compared as an unsigned code. Negative, zero or positive.
int CompareTextNoCase(std::string_view a, std::string_view b);

// Sorts the exchangers of one answer, given in answer order, by exchange: ascending,
// case-blind (CompareTextNoCase), and names that compare equal in the reverse of their
// answer order. Preferences play no part.
void SortMxList(std::vector<dns::MxRecord>* records);

}  // namespace lookup
