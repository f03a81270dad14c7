// The lookups called the way the automation binding calls them: whether the frame let
// the call through, and the result written into the out argument only when there is one
// to write (otherwise it keeps what the test put there). A failed MX lookup's result is
// not written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lookup/lookup.h"

namespace calls {

using MxList = std::vector<dns::MxRecord>;

inline bool MXRecords(lookup::CLookup& lookup, std::int16_t* count) {
  const auto outcome = lookup.MXRecords();
  if (outcome && lookup.GetIsError() == 0) *count = *outcome;
  return outcome.has_value();
}

inline bool GetMXRecord(lookup::CLookup& lookup, MxList* list, bool* has_list) {
  auto outcome = lookup.GetMXRecord();
  if (!outcome) return false;
  *has_list = lookup.GetIsError() == 0;
  if (*has_list) *list = std::move(*outcome);
  return true;
}

template <class T>
bool Written(lookup::Outcome<T> outcome, T* result) {
  if (outcome) *result = std::move(*outcome);
  return outcome.has_value();
}

inline bool DNSLookup(lookup::CLookup& lookup, const std::string& name, std::string* address) {
  return Written<std::string>(lookup.DNSLookup(name), address);
}
inline bool ReverseDNSLookup(lookup::CLookup& lookup, const std::string& ip, std::string* name) {
  return Written<std::string>(lookup.ReverseDNSLookup(ip), name);
}
inline bool VerifySMTP(lookup::CLookup& lookup, const std::string& server, std::int16_t* result) {
  return Written<std::int16_t>(lookup.VerifySMTP(server), result);
}

}  // namespace calls
