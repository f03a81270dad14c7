// What a page does with the registered library, late-bound through IDispatch as a
// script host binds, shared by the stress drivers. Talks to Kestra.dll through COM
// only, so the drivers measure the DLL exactly as a web server loads it.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "platform/win32/owned.h"

namespace stress {

// One COM reference, released on every path.
template <class T>
using Ref = platform::OwnedInterface<T>;

// A VARIANT cleared on every path.
class Variant {
 public:
  Variant() { VariantInit(&value); }
  explicit Variant(const std::wstring& text);
  explicit Variant(long number);
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value); }

  VARIANT value;
};

// Where the test bed's servers are and what its scripts.test zone holds.
struct Bed {
  std::wstring dns;
  std::wstring smtp;
};

// Counts lookups and failed checks, and prints the first failures (a broken DLL
// would otherwise print one line per call for minutes).
class Tally {
 public:
  explicit Tally(const char* who) : m_strWho(who) {}
  void Call() { ++m_nCalls; }
  void Fail(const std::string& what);
  long Calls() const { return m_nCalls; }
  long Failures() const { return m_nFailures; }

 private:
  std::string m_strWho;
  long m_nCalls = 0;
  long m_nFailures = 0;
};

// Late binding as a script host does it: the name is bound at every call. kGet is how
// a script reads a property or calls a method.
constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags,
               std::initializer_list<VARIANT*> args, VARIANT* result);
// A property put; a failure is counted on the tally.
bool Put(IDispatch* object, const wchar_t* name, Variant* value, Tally* tally);

// The class of the library's object model, looked up by its ProgID as CreateObject
// does on every page.
bool FindClass(CLSID* clsid, Tally* tally);

// One page: create the object, set DomainName, DNSServer and Timeout, GetMXRecord and
// a walk of the list through its enumerator, MXRecords, DNSLookup, ReverseDNSLookup,
// VerifySMTP when asked, release. Every result is checked against the zone.
void RunPage(const CLSID& clsid, const Bed& bed, bool verifySmtp, Tally* tally);

// The library's own answer to DllCanUnloadNow, asked through its export while it is
// still loaded (CoFreeUnusedLibraries would unload it and tell nothing).
HRESULT AskCanUnloadNow();
std::string DescribeUnload(HRESULT hr);

// The test bed's servers from the command line or the environment; loopback only.
// Returns false (after saying why) when a driver must not run.
bool ReadBed(int argc, char** argv, int first, Bed* bed, int* exitCode);

}  // namespace stress
