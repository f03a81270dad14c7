#include "com_fixture.h"

#include <cwchar>

#include "testbed.h"

namespace comtest {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// The library's path as the running program opens it (the Z: drive under Wine).
std::wstring LibraryPath() {
  std::string path = KESTRA_DLL_PATH;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
  return Wide(path);
}

struct Loaded {
  HMODULE module = nullptr;
  GetClassObjectFn get_class_object = nullptr;
  CanUnloadNowFn can_unload_now = nullptr;
};

const Loaded& Load() {
  static const Loaded loaded = [] {
    Loaded l;
    l.module = LoadLibraryW(LibraryPath().c_str());
    if (l.module) {
      l.get_class_object = reinterpret_cast<GetClassObjectFn>(
          reinterpret_cast<void*>(GetProcAddress(l.module, "DllGetClassObject")));
      l.can_unload_now = reinterpret_cast<CanUnloadNowFn>(
          reinterpret_cast<void*>(GetProcAddress(l.module, "DllCanUnloadNow")));
    }
    return l;
  }();
  return loaded;
}

}  // namespace

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(BSTR text) {
  std::string out;
  if (!text) return out;
  for (UINT i = 0; i < SysStringLen(text); ++i) out += static_cast<char>(text[i]);
  return out;
}

HMODULE Library() {
  return Load().module;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!Load().get_class_object) return E_UNEXPECTED;
  return Load().get_class_object(clsid, riid, ppv);
}

HRESULT CanUnloadNow() {
  if (!Load().can_unload_now) return E_UNEXPECTED;
  return Load().can_unload_now();
}

void ComTest::SetUp() {
  ASSERT_NE(nullptr, Library()) << "cannot load " << KESTRA_DLL_PATH;
  ASSERT_NE(nullptr, Load().get_class_object);
  ASSERT_NE(nullptr, Load().can_unload_now);
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(hr));
  com_started_ = true;
  ASSERT_EQ(S_OK, CanUnloadNow()) << "an earlier test left an object or a lock behind";
}

void ComTest::TearDown() {
  EXPECT_EQ(S_OK, CanUnloadNow()) << "an object or a lock outlived the test";
  if (com_started_) CoUninitialize();
}

Ptr<ILookup> ComTest::LookupFor(const std::string& domain) {
  Ptr<ILookup> lookup = Create<ILookup>(CLSID_Lookup);
  if (!lookup) return lookup;
  Bstr server(Wide(testbed::DnsServer()));
  Bstr name(Wide(domain));
  EXPECT_EQ(S_OK, lookup->put_DNSServer(server.get()));
  EXPECT_EQ(S_OK, lookup->put_DomainName(name.get()));
  EXPECT_EQ(S_OK, lookup->put_Timeout(5));
  return lookup;
}

Ptr<IList> ComTest::ListFor(const std::string& domain) {
  Ptr<IList> list;
  Ptr<ILookup> lookup = LookupFor(domain);
  if (!lookup) return list;
  Variant result;
  EXPECT_EQ(S_OK, lookup->GetMXRecord(result.get()));
  if (V_VT(result.get()) == VT_DISPATCH && V_DISPATCH(result.get())) {
    EXPECT_EQ(S_OK, V_DISPATCH(result.get())->QueryInterface(IID_IList, list.put_void()));
  }
  return list;
}

}  // namespace comtest
