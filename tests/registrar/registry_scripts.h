// What the registrar tests know of the build: the generated registry scripts of the
// three classes and the GUIDs written into them (from module/guids.cmake).
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "platform/registry.h"

namespace registrar {

inline constexpr const char* kLibid = KESTRA_LIBID;
inline constexpr const char* kClsidLookup = KESTRA_CLSID_LOOKUP;
inline constexpr const char* kClsidList = KESTRA_CLSID_LIST;
inline constexpr const char* kClsidListEntries = KESTRA_CLSID_LISTENTRIES;

// The generated script of one class ("Lookup", "List", "ListEntries"), byte for byte.
std::optional<std::string> ReadRegistryScript(const std::string& class_name);

}  // namespace registrar

namespace platform {

// Values print as the scripts write them: s 'text' or d number (other types as their
// type and size).
inline void PrintTo(const RegValue& value, std::ostream* os) {
  if (value.type == kRegSz) {
    *os << "s '" << value.Text() << "'";
  } else if (value.type == kRegDword && value.Number()) {
    *os << "d " << *value.Number();
  } else {
    *os << "type " << value.type << ", " << value.data.size() << " bytes";
  }
}

}  // namespace platform
