// `kestra doctor`: checks of the installation, one row each: OK, WARN or FAIL, what was
// checked and, when it is not OK, what to do.
//   registration_check.cpp (Windows): in each registry view, each class's ProgID ->
//     CurVer -> CLSID -> InprocServer32 names a DLL of the view's bitness exporting the
//     four entry points, with ThreadingModel Apartment; the type library is registered.
//     Each registered DLL's signature: its row's words are there too, what the system
//     says of the file comes from win32/signature_check_win32.cpp.
//   win32/creation_check_win32.cpp: the object made in this process answers a call.
//   config_check.cpp: what hosting::Configuration finds, site by site.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kestra_tool {

enum class Status { kOk, kWarn, kFail };
// "OK", "WARN" or "FAIL".
const char* StatusName(Status status);

struct CheckRow {
  Status status;
  std::string text, todo;  // what was checked; what to do, empty for OK rows
};

// The bytes of a file by its path, or nothing when it cannot be read.
using FileReader = std::function<std::optional<std::string>(const std::string&)>;

// What a DLL file's Authenticode signature says of it.
struct Signature {
  enum class State {
    kUnsigned,   // no signature
    kChanged,    // the signature no longer matches the file: it changed after signing
    kUntrusted,  // signed and matching, but this machine does not trust the chain
    kTrusted,    // signed, matching, trusted
  };
  State state = State::kUnsigned;
  std::string signer;      // the signing certificate's name, when signed
  std::uint32_t code = 0;  // kUntrusted: why, as the system's HRESULT
};
using SignatureReader = std::function<Signature(const std::string&)>;

// One registry view as the doctor reports it.
struct ViewInfo {
  platform::RegView view;
  int bits;              // 64 or 32: the bitness of the processes that read this view
  std::string regsvr32;  // the registration program of that bitness
};

// The three classes, the type library and their files in one view, and a row for the
// signature of each DLL they name; false when the view holds none of the classes.
bool CheckRegistration(platform::Registry& registry, const ViewInfo& view,
                       const FileReader& read_file, const SignatureReader& read_signature,
                       std::vector<CheckRow>* rows);

// The hosting access configuration. `two_views`: the machine has a 32-bit and a 64-bit
// registry view, either of which may hold the key.
void CheckConfiguration(bool two_views, std::vector<CheckRow>* rows);

// Prints the rows; true when none is FAIL.
bool PrintRows(const std::vector<CheckRow>& rows, std::ostream& out);

// Every check for this machine, in the order they are printed.
std::vector<CheckRow> DoctorRows();

#ifdef _WIN32
// Whether this is 64-bit Windows; the row of the object made in this process as a page
// makes it (`registered`: the view of this process's bitness holds the classes).
bool HasTwoRegistryViews();
CheckRow CheckCreation(bool registered);
// WinVerifyTrust's answer for the file, the chain's Authenticode policy, the signer.
Signature ReadSignature(const std::string& path);
#endif

}  // namespace kestra_tool
