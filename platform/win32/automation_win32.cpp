// Object creation for the kestra doctor: CLSIDFromProgID, CoCreateInstance in-process,
// and two late-bound property reads through IDispatch, as a page's script makes them.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "platform/automation.h"
#include "platform/win32/owned.h"

namespace platform {
namespace {

// A single-threaded apartment for the calls below; left again only when this entered it.
class Apartment {
 public:
  Apartment() : m_hResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(m_hResult)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT result() const { return m_hResult; }

 private:
  HRESULT m_hResult;
};

std::string Failure(const char* step, HRESULT hr) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed with 0x%08lX", step, static_cast<unsigned long>(hr));
  return text;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

std::string Narrow(BSTR text) {
  const int n = static_cast<int>(SysStringLen(text));
  if (n == 0) return {};
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, n, out.data(), bytes, nullptr, nullptr);
  return out;
}

// Reads one property by name. A script host passes DISPATCH_METHOD along with the
// property get, and so does this.
HRESULT ReadProperty(IDispatch* object, const std::string& name, VARIANT* value) {
  std::wstring wide = Wide(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                        &none, value, nullptr, nullptr);
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

PropertyReadResult CreateAndReadProperties(const std::string& prog_id, const std::string& first,
                                           const std::string& second) {
  PropertyReadResult result;
  Apartment apartment;
  if (FAILED(apartment.result())) {
    result.failure = Failure("CoInitializeEx", apartment.result());
    return result;
  }
  CLSID clsid;
  std::wstring wide = Wide(prog_id);
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) {
    result.failure = Failure("CLSIDFromProgID", hr);
    return result;
  }
  OwnedInterface<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr) || object.get() == nullptr) {
    result.failure = Failure("CoCreateInstance", hr);
    return result;
  }
  result.created = true;
  OwnedVariant value;
  hr = ReadProperty(object.get(), first, value.put());
  if (FAILED(hr)) {
    result.failure = Failure(first.c_str(), hr);
    return result;
  }
  hr = ReadProperty(object.get(), second, value.put());
  if (SUCCEEDED(hr)) hr = VariantChangeType(value.get(), value.get(), 0, VT_BSTR);
  if (FAILED(hr)) {
    result.failure = Failure(second.c_str(), hr);
    return result;
  }
  result.read = true;
  result.text = Narrow(V_BSTR(value.get()));
  return result;
}

}  // namespace platform
