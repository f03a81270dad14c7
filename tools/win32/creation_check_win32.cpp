// The doctor's creation row (see doctor.h): CLSIDFromProgID, CoCreateInstance
// in-process and two late-bound property reads through IDispatch, as a page's script
// makes them, against the answer the access control gives this process.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "access/access_policy.h"
#include "platform/trim.h"
#include "platform/win32/owned.h"
#include "platform/win32/text.h"
#include "tools/doctor.h"
#include "tools/policy.h"

namespace kestra_tool {
namespace {

using platform::OwnedInterface;
using platform::OwnedVariant;

// Reads one property by name. A script host passes DISPATCH_METHOD along with the
// property get, and so does this.
HRESULT ReadProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                        &none, value, nullptr, nullptr);
}

struct PropertyRead {
  bool created = false;  // the object was created
  bool read = false;     // and both properties were read: `text` holds ErrorReason
  std::string failure;   // else the step that failed and its HRESULT
  std::string text;
};

// Creates Brevan.MX in this process in an apartment of its own, reads MXRecords (no
// domain is set) and then ErrorReason, as a page's script would.
PropertyRead CallAsAPage() {
  PropertyRead result;
  auto failed = [&result](const char* step, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed with 0x%08lX", step,
                  static_cast<unsigned long>(hr));
    result.failure = text;
    return result;
  };
  const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(entered)) return failed("CoInitializeEx", entered);
  struct Leave {  // the apartment, once every object below is released
    ~Leave() { CoUninitialize(); }
  } leave;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"Brevan.MX", &clsid);
  if (FAILED(hr)) return failed("CLSIDFromProgID", hr);
  OwnedInterface<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr) || object.get() == nullptr) return failed("CoCreateInstance", hr);
  result.created = true;
  OwnedVariant value;
  hr = ReadProperty(object.get(), L"MXRecords", value.put());
  if (FAILED(hr)) return failed("MXRecords", hr);
  hr = ReadProperty(object.get(), L"ErrorReason", value.put());
  if (SUCCEEDED(hr)) hr = VariantChangeType(value.get(), value.get(), 0, VT_BSTR);
  if (FAILED(hr)) return failed("ErrorReason", hr);
  result.read = true;
  const BSTR text = V_BSTR(value.get());
  auto narrow = platform::NarrowText({text, SysStringLen(text)}, CP_ACP, platform::TextEnd::kWhole);
  if (narrow) result.text = std::move(*narrow);
  return result;
}

}  // namespace

bool HasTwoRegistryViews() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

CheckRow CheckCreation(bool registered) {
  const std::string bits = std::to_string(sizeof(void*) * 8);
  const std::string label = bits + "-bit process: Brevan.MX";
  const PropertyRead call = CallAsAPage();
  auto one_line = [](std::string text) {  // a system text, for a row
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return std::string(platform::Trim(text));
  };
  // Outside a page the access control may refuse the call; the answer expected is the
  // one the access control gives this process.
  const hosting::Decision decision =
      hosting::Decide(kComponent, "MXRecords", hosting::LocateConfigFiles(), nullptr);
  const std::string expected = decision.allowed ? "Please specify domain name" : decision.refusal;
  // A refusal for want of a page begins with the system's text for whatever error the
  // thread last had, which two calls need not share: the rest must match.
  const bool as_expected =
      call.read && (decision.reason == hosting::Reason::kNoCaller
                        ? std::string_view(call.text).ends_with(std::string_view(expected).substr(
                              hosting::FailureText(decision.caller_path->failure()).size()))
                        : call.text == expected);
  if (!call.created && !registered) {
    // The view's own row says so already, and what to do.
    return {Status::kWarn,
            label + " is not created: nothing is registered for " + bits + "-bit processes",
            {}};
  }
  if (!call.created) {
    return {Status::kFail, label + " cannot be created in this process: " + call.failure,
            "see the " + bits + "-bit view's rows"};
  }
  if (!call.read) {
    return {Status::kFail, label + " was created, but " + call.failure,
            "register the DLL again so that its type library is found"};
  }
  if (!as_expected) {
    return {Status::kFail,
            label + ": MXRecords with no domain gave \"" + one_line(call.text) + "\", expected \"" +
                one_line(expected) + "\"",
            "check that the registered DLL is this Kestra's"};
  }
  return {Status::kOk,
          label + " created in this process; MXRecords with no domain answered \"" +
              one_line(call.text) + "\"",
          {}};
}

}  // namespace kestra_tool
