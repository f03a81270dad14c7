#include "host_objects.h"

#include <asptlb.h>
#include <comsvcs.h>
#include <oleauto.h>

#include <cwchar>

#include "platform/win32/text.h"
#include "tests/common/import_slot.h"

namespace pagehost {
namespace {

// The identifiers are in no import library.
constexpr IID kIidRequest = {
    0xd97a6da0, 0xa861, 0x11cf, {0x93, 0xae, 0x00, 0xa0, 0xc9, 0x0c, 0x2b, 0xd8}};
constexpr IID kIidRequestDictionary = {
    0xd97a6da0, 0xa85f, 0x11df, {0x83, 0xae, 0x00, 0xa0, 0xc9, 0x0c, 0x2b, 0xd8}};
constexpr IID kIidObjectContext = {
    0x51372ae0, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};
constexpr IID kIidGetContextProperties = {
    0x51372af4, 0xcae7, 0x11cf, {0xbe, 0x81, 0x00, 0xaa, 0x00, 0xa2, 0xfa, 0x25}};

// One apartment, one thread: plain counters.
Tally g_tally;
IUnknown* g_pContext = nullptr;

constexpr WORD kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

HRESULT SetText(VARIANT* result, const std::wstring& text) {
  if (result == nullptr) return S_OK;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return V_BSTR(result) != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetObject(VARIANT* result, IDispatch* object) {
  if (result == nullptr) return S_OK;
  object->AddRef();
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
  return S_OK;
}

HRESULT Fail(EXCEPINFO* error, const wchar_t* source, const std::wstring& text, HRESULT hr) {
  if (error != nullptr) {
    *error = EXCEPINFO{};
    error->bstrSource = SysAllocString(source);
    error->bstrDescription = SysAllocString(text.c_str());
    error->scode = hr;
    return DISP_E_EXCEPTION;
  }
  return hr;
}

// Argument `i` in the script's order: IDispatch hands them over last first.
bool ArgumentText(const DISPPARAMS* params, unsigned i, std::wstring* text) {
  if (params == nullptr || i >= params->cArgs) return false;
  VARIANT copy;
  VariantInit(&copy);
  bool ok = SUCCEEDED(VariantCopyInd(&copy, &params->rgvarg[params->cArgs - 1 - i]));
  if (ok && (V_VT(&copy) == VT_EMPTY || V_VT(&copy) == VT_NULL)) {
    text->clear();
  } else if (ok && SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_BSTR))) {
    text->assign(V_BSTR(&copy) ? V_BSTR(&copy) : L"", SysStringLen(V_BSTR(&copy)));
  } else {
    ok = false;
  }
  VariantClear(&copy);
  return ok;
}

const std::wstring* Lookup(const Pairs& pairs, const std::wstring& name) {
  for (const auto& [key, value] : pairs) {
    if (_wcsicmp(key.c_str(), name.c_str()) == 0) return &value;
  }
  return nullptr;
}

// One host object's references, counted into the tally as well, which the host compares
// before and after each page.
class References {
 public:
  References() { ++g_tally.objects, ++g_tally.references; }
  References(const References&) = delete;
  References& operator=(const References&) = delete;
  ~References() { --g_tally.objects; }
  ULONG Add() {
    ++g_tally.references;
    return static_cast<ULONG>(++m_nCount);
  }
  // What is left; at 0 the owner deletes itself.
  long Drop() {
    --g_tally.references;
    return --m_nCount;
  }

 private:
  long m_nCount = 1;
};

// Reference counting into the tally, and IDispatch by member name for `Primary`, an
// interface derived from IDispatch.
template <class Primary>
class HostObject : public Primary {
 public:
  HostObject() = default;
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else {
      *out = Find(iid);
    }
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_references.Add(); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = m_references.Drop();
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const Member& m : Members()) {
      if (_wcsicmp(m.name, names[0]) == 0) ids[0] = m.id;
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* error, UINT*) override {
    if (result != nullptr) VariantInit(result);
    return Call(id, flags, params, result, error);
  }

 protected:
  virtual ~HostObject() = default;
  struct Member {
    const wchar_t* name;
    DISPID id;
  };
  virtual std::vector<Member> Members() const = 0;
  virtual HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* error) = 0;
  virtual void* Find(REFIID) { return nullptr; }

 private:
  References m_references;
};

// An object whose default value is a text, as a web server gives a server variable.
class TextValue final : public HostObject<IDispatch> {
 public:
  explicit TextValue(std::wstring text) : m_text(std::move(text)) {}

 private:
  std::vector<Member> Members() const override { return {{L"Item", DISPID_VALUE}}; }
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*) override {
    if (id != DISPID_VALUE || !(flags & kGet)) return DISP_E_MEMBERNOTFOUND;
    return SetText(result, m_text);
  }
  std::wstring m_text;
};

enum class ItemMode { kText, kFails, kObject };

// Form, QueryString and ServerVariables.
class Dictionary final : public HostObject<IRequestDictionary> {
 public:
  Dictionary(const Pairs& pairs, ItemMode mode) : m_pairs(pairs), m_mode(mode) {}

  const std::wstring* Value(const std::wstring& name) const { return Lookup(m_pairs, name); }
  STDMETHODIMP get_Item(VARIANT key, VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    if (m_mode == ItemMode::kFails) return E_FAIL;
    VariantInit(value);
    DISPPARAMS params = {&key, nullptr, 1, 0};
    std::wstring name;
    if (!ArgumentText(&params, 0, &name)) return E_INVALIDARG;
    const std::wstring* found = Lookup(m_pairs, name);
    if (found == nullptr) return S_OK;  // a missing name reads as empty
    if (m_mode == ItemMode::kObject) {
      V_VT(value) = VT_DISPATCH;
      V_DISPATCH(value) = new TextValue(*found);
      return S_OK;
    }
    return SetText(value, *found);
  }
  STDMETHODIMP get__NewEnum(IUnknown** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP get_Count(int* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<int>(m_pairs.size());
    return S_OK;
  }
  STDMETHODIMP get_Key(VARIANT, VARIANT* key) override {
    if (key != nullptr) VariantInit(key);
    return E_NOTIMPL;
  }

 private:
  std::vector<Member> Members() const override { return {{L"Item", DISPID_VALUE}, {L"Count", 1}}; }
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*) override {
    if (!(flags & kGet)) return DISP_E_MEMBERNOTFOUND;
    if (id == 1) {
      if (result != nullptr) {
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(m_pairs.size());
      }
      return S_OK;
    }
    if (id != DISPID_VALUE || params == nullptr || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT scratch;
    VariantInit(&scratch);
    const HRESULT hr = get_Item(params->rgvarg[0], result != nullptr ? result : &scratch);
    VariantClear(&scratch);
    return hr;
  }
  void* Find(REFIID iid) override {
    return iid == kIidRequestDictionary ? static_cast<IRequestDictionary*>(this) : nullptr;
  }

  Pairs m_pairs;
  ItemMode m_mode;
};

enum RequestMember : DISPID { kForm = 1, kQueryString, kServerVariables, kTotalBytes };

class RequestObject final : public HostObject<IRequest> {
 public:
  RequestObject(const RequestData& data, ContextKind kind)
      : m_bVariablesFail(kind == ContextKind::kVariablesFail),
        m_form(new Dictionary(data.form, ItemMode::kText)),
        m_query(new Dictionary(data.query, ItemMode::kText)),
        m_variables(new Dictionary(data.server_variables,
                                   kind == ContextKind::kItemFails     ? ItemMode::kFails
                                   : kind == ContextKind::kValueObject ? ItemMode::kObject
                                                                       : ItemMode::kText)) {}

  STDMETHODIMP get_Item(BSTR, IDispatch** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP get_QueryString(IRequestDictionary** out) override { return Give(m_query, out); }
  STDMETHODIMP get_Form(IRequestDictionary** out) override { return Give(m_form, out); }
  STDMETHODIMP get_Body(IRequestDictionary** out) override { return Give(m_form, out); }
  STDMETHODIMP get_ServerVariables(IRequestDictionary** out) override {
    if (m_bVariablesFail) {
      if (out != nullptr) *out = nullptr;
      return E_FAIL;
    }
    return Give(m_variables, out);
  }
  STDMETHODIMP get_ClientCertificate(IRequestDictionary** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP get_Cookies(IRequestDictionary** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP get_TotalBytes(LONG* total) override {
    if (total == nullptr) return E_POINTER;
    *total = 0;
    return S_OK;
  }
  STDMETHODIMP BinaryRead(VARIANT*, VARIANT* out) override {
    if (out != nullptr) VariantInit(out);
    return E_NOTIMPL;
  }

 private:
  ~RequestObject() override {
    m_form->Release();
    m_query->Release();
    m_variables->Release();
  }
  // Request("name") looks in QueryString, then Form, then ServerVariables.
  Dictionary* Holder(const std::wstring& name) const {
    for (Dictionary* dictionary : {m_query, m_form, m_variables}) {
      if (dictionary->Value(name) != nullptr) return dictionary;
    }
    return nullptr;
  }
  static HRESULT Give(Dictionary* dictionary, IRequestDictionary** out) {
    if (out == nullptr) return E_POINTER;
    dictionary->AddRef();
    *out = dictionary;
    return S_OK;
  }
  std::vector<Member> Members() const override {
    return {{L"Item", DISPID_VALUE},
            {L"Form", kForm},
            {L"QueryString", kQueryString},
            {L"ServerVariables", kServerVariables},
            {L"TotalBytes", kTotalBytes}};
  }
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* error) override {
    if (!(flags & kGet)) return DISP_E_MEMBERNOTFOUND;
    const bool named = params != nullptr && params->cArgs == 1;
    std::wstring name;
    if (named && !ArgumentText(params, 0, &name)) return DISP_E_TYPEMISMATCH;
    Dictionary* dictionary = nullptr;
    switch (id) {
      case DISPID_VALUE:
        if (!named) return DISP_E_BADPARAMCOUNT;
        dictionary = Holder(name);
        if (dictionary == nullptr) return S_OK;  // an unknown name reads as empty
        break;
      case kForm:
        dictionary = m_form;
        break;
      case kQueryString:
        dictionary = m_query;
        break;
      case kServerVariables:
        if (m_bVariablesFail) return Fail(error, L"Request", L"ServerVariables failed", E_FAIL);
        dictionary = m_variables;
        break;
      case kTotalBytes:
        if (result != nullptr) {
          V_VT(result) = VT_I4;
          V_I4(result) = 0;
        }
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!named) return SetObject(result, dictionary);
    VARIANT key;
    VariantInit(&key);
    SetText(&key, name);
    VARIANT scratch;
    VariantInit(&scratch);
    const HRESULT hr = dictionary->get_Item(key, result != nullptr ? result : &scratch);
    VariantClear(&scratch);
    VariantClear(&key);
    return hr;
  }
  void* Find(REFIID iid) override {
    return iid == kIidRequest ? static_cast<IRequest*>(this) : nullptr;
  }

  bool m_bVariablesFail;
  Dictionary* m_form;
  Dictionary* m_query;
  Dictionary* m_variables;
};

enum ResponseMember : DISPID { kWrite = 1, kWriteBlock, kContentType, kBuffer, kClear, kEnd };

class ResponseObject final : public HostObject<IDispatch> {
 public:
  explicit ResponseObject(const std::vector<std::string>& blocks) : m_blocks(blocks) {}
  const std::string& Text() const { return m_text; }

 private:
  std::vector<Member> Members() const override {
    return {{L"Write", kWrite},   {L"WriteBlock", kWriteBlock}, {L"ContentType", kContentType},
            {L"Buffer", kBuffer}, {L"Clear", kClear},           {L"Flush", kEnd}};
  }
  HRESULT Call(DISPID id, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO* error) override {
    std::wstring text;
    switch (id) {
      case kWrite: {
        if (!ArgumentText(params, 0, &text))
          return Fail(error, L"Response", L"Response.Write takes one value", E_INVALIDARG);
        if (auto bytes = platform::NarrowText(text, CP_ACP, platform::TextEnd::kWhole))
          m_text += *bytes;
        return S_OK;
      }
      case kWriteBlock: {
        if (!ArgumentText(params, 0, &text)) return DISP_E_BADPARAMCOUNT;
        const unsigned long n = std::wcstoul(text.c_str(), nullptr, 10);
        if (n >= m_blocks.size()) return DISP_E_BADINDEX;
        m_text += m_blocks[n];
        return S_OK;
      }
      case kClear:
        m_text.clear();
        return S_OK;
      case kContentType:
      case kBuffer:
      case kEnd:
        return S_OK;  // one page, written whole: nothing to set or flush
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  const std::vector<std::string>& m_blocks;
  std::string m_text;
};

enum ServerMember : DISPID { kCreateObject = 1, kHtmlEncode, kUrlEncode, kMapPath, kTimeout };

std::wstring HtmlEncode(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      case L'&':
        out += L"&amp;";
        break;
      case L'"':
        out += L"&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::wstring UrlEncode(const std::wstring& text) {
  const auto narrow = platform::NarrowText(text, CP_ACP, platform::TextEnd::kWhole);
  const std::string bytes = narrow ? *narrow : std::string();
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  for (unsigned char c : bytes) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '*') {
      out += static_cast<wchar_t>(c);
    } else if (c == ' ') {
      out += L'+';
    } else {
      out += L'%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The class of a programmatic identifier, looked up in the registry once per process
// and name: a page then pays for creating its objects through COM, not for the host's
// registry reads (under Wine a lookup costs about as much as the creation).
HRESULT ClassOf(const std::wstring& progid, CLSID* clsid) {
  static std::vector<std::pair<std::wstring, CLSID>> known;
  for (const auto& [name, found] : known) {
    if (_wcsicmp(name.c_str(), progid.c_str()) == 0) {
      *clsid = found;
      return S_OK;
    }
  }
  const HRESULT hr = CLSIDFromProgID(progid.c_str(), clsid);
  if (SUCCEEDED(hr)) known.emplace_back(progid, *clsid);
  return hr;
}

class ServerObject final : public HostObject<IDispatch> {
 public:
  explicit ServerObject(std::wstring folder) : m_folder(std::move(folder)) {}

 private:
  std::vector<Member> Members() const override {
    return {{L"CreateObject", kCreateObject},
            {L"HTMLEncode", kHtmlEncode},
            {L"URLEncode", kUrlEncode},
            {L"MapPath", kMapPath},
            {L"ScriptTimeout", kTimeout}};
  }
  HRESULT Call(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* error) override {
    std::wstring text;
    if (id == kTimeout) return S_OK;
    if (!ArgumentText(params, 0, &text)) return DISP_E_BADPARAMCOUNT;
    switch (id) {
      case kCreateObject:
        return CreateObject(text, result, error);
      case kHtmlEncode:
        return SetText(result, HtmlEncode(text));
      case kUrlEncode:
        return SetText(result, UrlEncode(text));
      case kMapPath: {
        // Virtual paths are taken from the page's folder, which stands for the site.
        std::wstring path = m_folder;
        for (wchar_t& c : text) {
          if (c == L'/') c = L'\\';
        }
        if (!text.empty() && text.front() != L'\\') path += L'\\';
        return SetText(result, path + text);
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  HRESULT CreateObject(const std::wstring& progid, VARIANT* result, EXCEPINFO* error) {
    CLSID clsid;
    HRESULT hr = ClassOf(progid, &clsid);
    IDispatch* object = nullptr;
    if (SUCCEEDED(hr)) {
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                            IID_IDispatch, reinterpret_cast<void**>(&object));
    }
    if (FAILED(hr) || object == nullptr) {
      return Fail(error, L"Server object", L"Server.CreateObject Failed: " + progid,
                  FAILED(hr) ? hr : E_POINTER);
    }
    // The component's DLL is loaded now. Wine has no transaction-server context for
    // CoGetObjectContext to find, so the DLL's import of it is pointed at the host's own.
    testbed::PointImport(GetModuleHandleW(L"Kestra.dll"), "ole32.dll", "CoGetObjectContext",
                         reinterpret_cast<ULONG_PTR>(&HostCoGetObjectContext));
    if (result == nullptr) {
      object->Release();
      return S_OK;
    }
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    return S_OK;
  }
  std::wstring m_folder;
};

// The page's global member Request. Wine's engines cannot call a named item with
// arguments, but they can call a global member: that is how Request("name") reaches the
// Request's default member. (Response and Server stay named items: each global-member
// lookup costs a name search per use, which a page of many Response.Write calls feels.)
class PageObject final : public HostObject<IDispatch> {
 public:
  explicit PageObject(IDispatch* request) : m_pRequest(request) { m_pRequest->AddRef(); }

 private:
  ~PageObject() override { m_pRequest->Release(); }
  std::vector<Member> Members() const override { return {{L"Request", 1}}; }
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* error) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr || params->cArgs == 0) return SetObject(result, m_pRequest);
    return m_pRequest->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result,
                              error, nullptr);
  }
  IDispatch* m_pRequest;
};

// The object context: the transaction-server interfaces a component asks for, and the
// one property a web server puts there.
class ContextObject final : public IObjectContext, public IGetContextProperties {
 public:
  ContextObject(IDispatch* request, ContextKind kind) : m_pRequest(request), m_kind(kind) {
    m_pRequest->AddRef();
  }
  ContextObject(const ContextObject&) = delete;
  ContextObject& operator=(const ContextObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == kIidObjectContext) {
      *out = static_cast<IObjectContext*>(this);
    } else if (iid == kIidGetContextProperties) {
      *out = static_cast<IGetContextProperties*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_references.Add(); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = m_references.Drop();
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP CreateInstance(REFCLSID clsid, REFIID iid, void** out) override {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
  }
  STDMETHODIMP SetComplete() override { return S_OK; }
  STDMETHODIMP SetAbort() override { return S_OK; }
  STDMETHODIMP EnableCommit() override { return S_OK; }
  STDMETHODIMP DisableCommit() override { return S_OK; }
  STDMETHODIMP_(WINBOOL) IsInTransaction() override { return FALSE; }
  STDMETHODIMP_(WINBOOL) IsSecurityEnabled() override { return FALSE; }
  STDMETHODIMP IsCallerInRole(BSTR, WINBOOL* in_role) override {
    if (in_role == nullptr) return E_POINTER;
    *in_role = TRUE;
    return S_OK;
  }

  STDMETHODIMP Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = m_kind == ContextKind::kNoRequest ? 0 : 1;
    return S_OK;
  }
  STDMETHODIMP GetProperty(BSTR name, VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    VariantInit(value);
    if (name == nullptr || _wcsicmp(name, L"Request") != 0 || m_kind == ContextKind::kNoRequest)
      return E_INVALIDARG;
    if (m_kind == ContextKind::kEmptyRequest) return S_OK;
    const HRESULT hr = SetObject(value, m_pRequest);
    if (m_kind == ContextKind::kAsUnknown) V_VT(value) = VT_UNKNOWN;  // an IDispatch is an IUnknown
    return hr;
  }
  STDMETHODIMP EnumNames(IEnumNames** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~ContextObject() { m_pRequest->Release(); }
  References m_references;
  IDispatch* m_pRequest;
  ContextKind m_kind;
};

}  // namespace

Tally CurrentTally() {
  return g_tally;
}

RequestObjects MakeRequestObjects(const RequestData& data, ContextKind kind,
                                  const std::vector<std::string>& blocks,
                                  const std::wstring& page_folder) {
  RequestObjects objects;
  objects.request = new RequestObject(data, kind);
  objects.response = new ResponseObject(blocks);
  objects.server = new ServerObject(page_folder);
  objects.page = new PageObject(objects.request);
  if (kind != ContextKind::kNone) {
    objects.context = static_cast<IObjectContext*>(new ContextObject(objects.request, kind));
  }
  return objects;
}

void ReleaseRequestObjects(RequestObjects* objects) {
  if (objects->context != nullptr) objects->context->Release();
  for (IDispatch* object : {objects->page, objects->server, objects->response, objects->request}) {
    if (object != nullptr) object->Release();
  }
  *objects = RequestObjects{};
}

std::string ResponseText(IDispatch* response) {
  return static_cast<ResponseObject*>(response)->Text();
}

void SetCurrentContext(IUnknown* context) {
  g_pContext = context;
}

HRESULT WINAPI HostCoGetObjectContext(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (g_pContext == nullptr) return CONTEXT_E_NOCONTEXT;
  return g_pContext->QueryInterface(iid, out);
}

}  // namespace pagehost
