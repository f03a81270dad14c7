// What the kestra doctor asks of the operating system's component model: whether
// Windows has two registry views, and whether an object can be created in this process
// and answer a call, as a page's script would create and call it.
#pragma once

#include <string>

namespace platform {

// True on 64-bit Windows (whatever this process's bitness); false on 32-bit Windows
// and on POSIX.
bool HasTwoRegistryViews();

struct PropertyReadResult {
  bool created = false;  // the object was created
  bool read = false;     // and both properties were read
  std::string failure;   // the step that failed and its HRESULT, when one did
  std::string text;      // the second property's value as text, when read
};

// Creates the object of `prog_id` in this process (an in-process server of this
// process's bitness), reads the property `first` and drops its value, then reads the
// property `second` as text. On POSIX nothing can be created.
PropertyReadResult CreateAndReadProperties(const std::string& prog_id, const std::string& first,
                                           const std::string& second);

}  // namespace platform
