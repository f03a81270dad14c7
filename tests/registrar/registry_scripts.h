// What the registrar tests know of the build: the generated registry scripts of the
// three classes and the GUIDs written into them (from module/guids.cmake).
#pragma once

#include <ostream>
#include <string>

#include "registry.h"

namespace registrar {

inline constexpr const char* kLibid = KESTRA_LIBID;
inline constexpr const char* kClsidLookup = KESTRA_CLSID_LOOKUP;
inline constexpr const char* kClsidList = KESTRA_CLSID_LIST;
inline constexpr const char* kClsidListEntries = KESTRA_CLSID_LISTENTRIES;

// Reads the generated script of one class ("Lookup", "List", "ListEntries") byte for
// byte.
bool ReadRegistryScript(const std::string& class_name, std::string* text);

// Values print as the scripts write them: s 'text' or d number.
inline void PrintTo(const RegistryValue& value, std::ostream* os) {
  if (value.type == RegistryValue::Type::kString) {
    *os << "s '" << value.text << "'";
  } else {
    *os << "d " << value.number;
  }
}

}  // namespace registrar
