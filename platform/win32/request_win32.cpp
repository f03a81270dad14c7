// The calling page's PATH_TRANSLATED through the transaction-server object context and
// the web server's Request object. Outside a request (a plain program, or under Wine)
// CoGetObjectContext fails and so does the read. The interfaces' identifiers are in no
// import library, so they are defined here.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <asptlb.h>
#include <comsvcs.h>

#include <optional>

#include "platform/request.h"
#include "platform/win32/owned.h"
#include "platform/win32/text.h"

namespace platform {
namespace {

constexpr IID kIidObjectContext = {
    0x51372ae0, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};
constexpr IID kIidGetContextProperties = {
    0x51372af4, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};
constexpr IID kIidRequest = {
    0xd97a6da0, 0xa861, 0x11cf, {0x93, 0xae, 0x00, 0xa0, 0xc9, 0x0c, 0x2b, 0xd8}};

// The object context, its property bag and the page's Request object. Whatever was
// obtained before a failing step stays with the caller, who releases it.
HRESULT GetRequestObject(OwnedInterface<IGetContextProperties>* properties,
                         OwnedInterface<IRequest>* request,
                         OwnedInterface<IObjectContext>* context) {
  HRESULT hr = CoGetObjectContext(kIidObjectContext, context->put_void());
  if (FAILED(hr)) return hr;
  if (context->get() == nullptr) return E_POINTER;
  hr = (*context)->QueryInterface(kIidGetContextProperties, properties->put_void());
  if (FAILED(hr)) return hr;
  OwnedBstr name(SysAllocString(L"Request"));
  if (name.get() == nullptr) return E_OUTOFMEMORY;
  OwnedVariant item;
  hr = (*properties)->GetProperty(name.get(), item.get());
  if (FAILED(hr)) return hr;
  // An empty property is no Request object, like a failing QueryInterface.
  IUnknown* object = nullptr;
  if (V_VT(item.get()) == VT_DISPATCH) {
    object = V_DISPATCH(item.get());
  } else if (V_VT(item.get()) == VT_UNKNOWN) {
    object = V_UNKNOWN(item.get());
  }
  if (object == nullptr) return E_NOINTERFACE;
  return object->QueryInterface(kIidRequest, request->put_void());
}

// The path, or nothing when a step fails (leaving its code as the thread's last error).
std::optional<std::string> ReadPathTranslated() {
  OwnedInterface<IGetContextProperties> properties;
  OwnedInterface<IRequest> request;
  OwnedInterface<IObjectContext> context;
  if (FAILED(GetRequestObject(&properties, &request, &context))) return std::nullopt;
  OwnedInterface<IRequestDictionary> variables;
  if (FAILED(request->get_ServerVariables(variables.put())) || variables.get() == nullptr) {
    return std::nullopt;
  }
  OwnedVariant key;
  OwnedVariant item;
  V_VT(key.get()) = VT_BSTR;
  V_BSTR(key.get()) = SysAllocString(L"PATH_TRANSLATED");
  if (V_BSTR(key.get()) == nullptr) return std::nullopt;
  // A failing get_Item leaves the item empty, which reads as an empty path.
  variables->get_Item(*key.get(), item.get());
  if (FAILED(VariantChangeType(item.get(), item.get(), 0, VT_BSTR))) return std::nullopt;
  const BSTR path = V_BSTR(item.get());
  // Up to the first NUL, like every other text the component takes from a BSTR.
  auto narrow = NarrowText({path, SysStringLen(path)}, CP_ACP, TextEnd::kFirstNul);
  if (!narrow) return std::nullopt;
  return std::move(*narrow);
}

}  // namespace

Result<std::string> RequestPathTranslated() {
  std::optional<std::string> path = ReadPathTranslated();
  // The code the thread was left with once every object of the read is released.
  if (!path) return Failure{Cause::kSystem, static_cast<int>(GetLastError())};
  return std::move(*path);
}

}  // namespace platform
