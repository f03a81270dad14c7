// The calling page's PATH_TRANSLATED through the transaction-server object context and
// the web server's Request object. Outside a request (a plain program, or under Wine)
// CoGetObjectContext fails and so does the read. The interfaces' identifiers are in no
// import library, so they are defined here.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <asptlb.h>
#include <comsvcs.h>

#include "platform/request.h"

namespace platform {
namespace {

constexpr IID kIidObjectContext = {
    0x51372ae0, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};
constexpr IID kIidGetContextProperties = {
    0x51372af4, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};
constexpr IID kIidRequest = {
    0xd97a6da0, 0xa861, 0x11cf, {0x93, 0xae, 0x00, 0xa0, 0xc9, 0x0c, 0x2b, 0xd8}};

// Owns one interface pointer; released on every path.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T** put() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* operator->() const { return p_; }

 private:
  T* p_ = nullptr;
};

// A VARIANT initialised at construction and cleared on every path.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// A BSTR freed on every path.
struct Bstr {
  BSTR s;
  explicit Bstr(const wchar_t* text) : s(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(s); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

// The object context, its property bag and the page's Request object. Whatever was
// obtained before a failing step stays with the caller, who releases it.
HRESULT GetRequestObject(ComRef<IGetContextProperties>& properties, ComRef<IRequest>& request,
                         ComRef<IObjectContext>& context) {
  HRESULT hr = CoGetObjectContext(kIidObjectContext, reinterpret_cast<void**>(context.put()));
  if (FAILED(hr)) return hr;
  if (context.get() == nullptr) return E_POINTER;
  hr =
      context->QueryInterface(kIidGetContextProperties, reinterpret_cast<void**>(properties.put()));
  if (FAILED(hr)) return hr;
  Bstr name(L"Request");
  if (name.s == nullptr) return E_OUTOFMEMORY;
  Variant item;
  hr = properties->GetProperty(name.s, &item.v);
  if (FAILED(hr)) return hr;
  // An empty property is no Request object, like a failing QueryInterface.
  IUnknown* object = nullptr;
  if (V_VT(&item.v) == VT_DISPATCH) {
    object = V_DISPATCH(&item.v);
  } else if (V_VT(&item.v) == VT_UNKNOWN) {
    object = V_UNKNOWN(&item.v);
  }
  if (object == nullptr) return E_NOINTERFACE;
  return object->QueryInterface(kIidRequest, reinterpret_cast<void**>(request.put()));
}

bool ToAnsi(BSTR text, std::string* out) {
  out->clear();
  int wide_length = static_cast<int>(SysStringLen(text));
  if (text == nullptr || wide_length == 0) return true;
  // Up to the first NUL, like every other text the component takes from a BSTR.
  int n = 0;
  while (n < wide_length && text[n] != L'\0') ++n;
  if (n == 0) return true;
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out->resize(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, text, n, out->data(), bytes, nullptr, nullptr);
  return true;
}

}  // namespace

bool RequestPathTranslated(std::string* path) {
  ComRef<IGetContextProperties> properties;
  ComRef<IRequest> request;
  ComRef<IObjectContext> context;
  if (FAILED(GetRequestObject(properties, request, context))) return false;
  ComRef<IRequestDictionary> variables;
  if (FAILED(request->get_ServerVariables(variables.put())) || variables.get() == nullptr) {
    return false;
  }
  Variant key;
  Variant item;
  V_VT(&key.v) = VT_BSTR;
  V_BSTR(&key.v) = SysAllocString(L"PATH_TRANSLATED");
  if (V_BSTR(&key.v) == nullptr) return false;
  // A failing get_Item leaves the item empty, which reads as an empty path.
  variables->get_Item(key.v, &item.v);
  if (FAILED(VariantChangeType(&item.v, &item.v, 0, VT_BSTR))) return false;
  return ToAnsi(V_BSTR(&item.v), path);
}

}  // namespace platform
