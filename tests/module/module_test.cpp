// The module: its export table and type library, class objects, object creation and
// aggregation, interface maps, and the lock count that DllCanUnloadNow reports.
#include <ocidl.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com_fixture.h"
#include "testbed.h"

namespace comtest {
namespace {

const CLSID* const kClasses[] = {&CLSID_Lookup, &CLSID_List, &CLSID_ListEntries};
const IID* const kDefaultInterfaces[] = {&IID_ILookup, &IID_IList, &IID_IListEntries};

using ModuleTest = ComTest;

TEST_F(ModuleTest, EachClassHasOneCachedClassObject) {
  for (const CLSID* clsid : kClasses) {
    Ptr<IClassFactory> first, second;
    ASSERT_EQ(S_OK, GetClassObject(*clsid, IID_IClassFactory, first.put_void()));
    ASSERT_EQ(S_OK, GetClassObject(*clsid, IID_IClassFactory, second.put_void()));
    EXPECT_EQ(first.get(), second.get());
    Ptr<IUnknown> unknown;
    ASSERT_EQ(S_OK, GetClassObject(*clsid, IID_IUnknown, unknown.put_void()));
    EXPECT_EQ(static_cast<IUnknown*>(first.get()), unknown.get());
  }
  Ptr<IClassFactory> lookup, list;
  ASSERT_EQ(S_OK, GetClassObject(CLSID_Lookup, IID_IClassFactory, lookup.put_void()));
  ASSERT_EQ(S_OK, GetClassObject(CLSID_List, IID_IClassFactory, list.put_void()));
  EXPECT_NE(lookup.get(), list.get());
}

TEST_F(ModuleTest, GetClassObjectRefusals) {
  void* out = reinterpret_cast<void*>(1);
  // An interface GUID is no class of the library, nor is a foreign class.
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, GetClassObject(IID_ILookup, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            GetClassObject(CLSID_StdGlobalInterfaceTable, IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, GetClassObject(CLSID_Lookup, IID_IClassFactory, nullptr));
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, GetClassObject(CLSID_Lookup, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ModuleTest, CreateInstanceRefusals) {
  Ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, GetClassObject(CLSID_Lookup, IID_IClassFactory, factory.put_void()));
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_ILookup, nullptr));
  // No error information is offered, and a refused interface leaves no object alive:
  // the fixture checks that the lock count is back where it was.
  for (const IID* iid : {&IID_ISupportErrorInfo, &IID_IProvideClassInfo,
                         &IID_IConnectionPointContainer, &IID_IList, &IID_IEnumVARIANT}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, *iid, &out));
    EXPECT_EQ(nullptr, out);
  }
  factory.reset();
  EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(ModuleTest, InterfaceMapsAnswerOneIdentity) {
  for (int i = 0; i < 3; ++i) {
    Ptr<IUnknown> object = Create<IUnknown>(*kClasses[i]);
    ASSERT_TRUE(object);
    Ptr<IUnknown> own, dispatch, unknown;
    ASSERT_EQ(S_OK, object->QueryInterface(*kDefaultInterfaces[i], own.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    ASSERT_EQ(S_OK, own->QueryInterface(IID_IUnknown, unknown.put_void()));
    // IUnknown, IDispatch and the class's own interface are one pointer.
    EXPECT_EQ(own.get(), dispatch.get());
    EXPECT_EQ(own.get(), unknown.get());
    EXPECT_EQ(object.get(), unknown.get());
    for (const IID* iid : {&IID_ISupportErrorInfo, &IID_IProvideClassInfo, &IID_IEnumVARIANT,
                           &IID_IClassFactory, kDefaultInterfaces[(i + 1) % 3]}) {
      void* out = reinterpret_cast<void*>(1);
      EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(*iid, &out));
      EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
  }
}

TEST_F(ModuleTest, ReferenceCountsStartAtOneAndEndAtZero) {
  for (int i = 0; i < 3; ++i) {
    Ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, GetClassObject(*kClasses[i], IID_IClassFactory, factory.put_void()));
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, *kDefaultInterfaces[i],
                                            reinterpret_cast<void**>(&object)));
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    factory.reset();
    EXPECT_EQ(S_FALSE, CanUnloadNow()) << "the object itself holds the module";
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(S_OK, CanUnloadNow());
  }
}

TEST_F(ModuleTest, EveryLockPathKeepsTheLibraryLoaded) {
  EXPECT_EQ(S_OK, CanUnloadNow()) << "a class object only the module holds does not lock";

  Ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, GetClassObject(CLSID_ListEntries, IID_IClassFactory, factory.put_void()));
  EXPECT_EQ(S_FALSE, CanUnloadNow()) << "a client's class object reference locks";
  Ptr<IClassFactory> again;
  ASSERT_EQ(S_OK, GetClassObject(CLSID_ListEntries, IID_IClassFactory, again.put_void()));
  again.reset();
  EXPECT_EQ(S_FALSE, CanUnloadNow());

  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.reset();
  EXPECT_EQ(S_FALSE, CanUnloadNow()) << "LockServer(TRUE) outlives the class object reference";
  ASSERT_EQ(S_OK, GetClassObject(CLSID_ListEntries, IID_IClassFactory, factory.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_FALSE, CanUnloadNow()) << "one of two locks is still outstanding";
  ASSERT_EQ(S_OK, GetClassObject(CLSID_ListEntries, IID_IClassFactory, factory.put_void()));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_OK, CanUnloadNow());

  for (const CLSID* clsid : kClasses) {
    Ptr<IDispatch> object = Create<IDispatch>(*clsid);
    ASSERT_TRUE(object);
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    object.reset();
    EXPECT_EQ(S_OK, CanUnloadNow());
  }
}

// A minimal outer object: answers IUnknown itself and hands every other request to the
// aggregated object it holds.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (!inner) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  ULONG refs = 1;
  IUnknown* inner = nullptr;
};

TEST_F(ModuleTest, AggregationHandsOutTheInnerUnknownOnly) {
  for (int i = 0; i < 3; ++i) {
    Ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, GetClassObject(*kClasses[i], IID_IClassFactory, factory.put_void()));
    Outer outer;
    for (const IID* iid : {&IID_IDispatch, kDefaultInterfaces[i], &IID_IClassFactory}) {
      void* out = reinterpret_cast<void*>(1);
      EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, *iid, &out));
      EXPECT_EQ(nullptr, out);
    }
    factory.reset();
    EXPECT_EQ(S_OK, CanUnloadNow()) << "a refused aggregation leaves nothing alive";
    ASSERT_EQ(S_OK, GetClassObject(*kClasses[i], IID_IClassFactory, factory.put_void()));
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown,
                                            reinterpret_cast<void**>(&outer.inner)));
    ASSERT_NE(nullptr, outer.inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner);
    factory.reset();
    EXPECT_EQ(S_FALSE, CanUnloadNow()) << "the aggregated object holds the module";

    // The inner interfaces count on the outer object and answer for it.
    Ptr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IDispatch, dispatch.put_void()));
    EXPECT_EQ(2u, outer.refs);
    Ptr<IUnknown> identity;
    ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, identity.put_void()));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.get());
    identity.reset();
    Ptr<IUnknown> own;
    ASSERT_EQ(S_OK, dispatch->QueryInterface(*kDefaultInterfaces[i], own.put_void()));
    EXPECT_EQ(static_cast<IUnknown*>(dispatch.get()), own.get());
    own.reset();
    dispatch.reset();
    EXPECT_EQ(1u, outer.refs);

    // The inner IUnknown is the non-delegating one: its own count, its own identity.
    Ptr<IUnknown> inner_unknown;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IUnknown, inner_unknown.put_void()));
    EXPECT_EQ(outer.inner, inner_unknown.get());
    EXPECT_EQ(1u, outer.refs);
    inner_unknown.reset();
    EXPECT_EQ(0u, outer.inner->Release());
    outer.inner = nullptr;
    EXPECT_EQ(S_OK, CanUnloadNow());
  }
}

TEST_F(ModuleTest, NewObjectsStartEmpty) {
  Ptr<ILookup> lookup = Create<ILookup>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  short is_error = -1;
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(0, is_error);
  Bstr reason;
  EXPECT_EQ(S_OK, lookup->get_ErrorReason(reason.put()));
  ASSERT_NE(nullptr, reason.get());
  EXPECT_EQ("", Narrow(reason.get()));

  Ptr<IListEntries> entry = Create<IListEntries>(CLSID_ListEntries);
  ASSERT_TRUE(entry);
  Bstr mx, preference, second;
  EXPECT_EQ(S_OK, entry->get_MX(mx.put()));
  EXPECT_EQ(S_OK, entry->get_Preference(preference.put()));
  ASSERT_NE(nullptr, mx.get());
  EXPECT_EQ("", Narrow(mx.get()));
  EXPECT_EQ("0", Narrow(preference.get()));
  // Each read is a new string the caller owns.
  EXPECT_EQ(S_OK, entry->get_Preference(second.put()));
  EXPECT_NE(preference.get(), second.get());
  EXPECT_EQ(E_POINTER, entry->get_MX(nullptr));
  EXPECT_EQ(E_POINTER, entry->get_Preference(nullptr));
}

TEST_F(ModuleTest, LookupPropertiesStoreWithoutTouchingTheErrorState) {
  Ptr<ILookup> lookup = Create<ILookup>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  // An empty domain fails before any traffic, so this needs no test bed.
  short count = 77;
  EXPECT_EQ(S_OK, lookup->get_MXRecords(&count));
  EXPECT_EQ(77, count) << "a failed MXRecords leaves its result unwritten";
  short is_error = 0;
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(1, is_error);

  Bstr blanks(L"   ");
  Bstr cut(std::wstring(L"a.test\0tail", 11));
  EXPECT_EQ(S_OK, lookup->put_DomainName(blanks.get()));
  EXPECT_EQ(S_OK, lookup->put_DNSServer(cut.get()));
  EXPECT_EQ(S_OK, lookup->put_DomainName(nullptr));
  EXPECT_EQ(S_OK, lookup->put_DNSServer(nullptr));
  EXPECT_EQ(S_OK, lookup->put_Timeout(-5));
  EXPECT_EQ(S_OK, lookup->put_Timeout(0));
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(1, is_error);
  Bstr reason;
  EXPECT_EQ(S_OK, lookup->get_ErrorReason(reason.put()));
  EXPECT_EQ("Please specify domain name", Narrow(reason.get()));

  // A null domain is the empty text.
  Variant list;
  V_VT(list.get()) = VT_I4;
  EXPECT_EQ(S_OK, lookup->GetMXRecord(list.get()));
  EXPECT_EQ(VT_DISPATCH, V_VT(list.get()));
  EXPECT_EQ(nullptr, V_DISPATCH(list.get()));
}

// The export table a host and regsvr32 find: the four entry points by name, at the
// ordinals Kestra.def gives them, and no others, under the library name of the .def.
TEST(ModuleImageTest, ExportsTheFourEntryPointsAtTheirOrdinals) {
  HMODULE module = Library();
  ASSERT_NE(nullptr, module);
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(0u, entry.VirtualAddress);
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);

  EXPECT_STREQ("Kestra.DLL", reinterpret_cast<const char*>(base + exports->Name));
  EXPECT_EQ(1u, exports->Base);
  EXPECT_EQ(4u, exports->NumberOfFunctions);
  ASSERT_EQ(4u, exports->NumberOfNames);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  std::vector<std::pair<std::string, DWORD>> got;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    got.emplace_back(reinterpret_cast<const char*>(base + names[i]), exports->Base + ordinals[i]);
  }
  const std::vector<std::pair<std::string, DWORD>> want = {{"DllCanUnloadNow", 1},
                                                           {"DllGetClassObject", 2},
                                                           {"DllRegisterServer", 3},
                                                           {"DllUnregisterServer", 4}};
  EXPECT_EQ(want, got);
  // The loader agrees: each ordinal reaches the function of its name.
  for (const auto& [name, ordinal] : want) {
    FARPROC by_name = GetProcAddress(module, name.c_str());
    EXPECT_NE(nullptr, by_name) << name;
    EXPECT_EQ(by_name, GetProcAddress(module, MAKEINTRESOURCEA(ordinal))) << name;
  }
}

// The embedded type library describes the library's own bitness: a host lays out
// arguments by it.
TEST(ModuleImageTest, EmbeddedTypeLibraryMatchesTheBitness) {
  ASSERT_NE(nullptr, Library());
  wchar_t path[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(Library(), path, MAX_PATH));
  ITypeLib* library = nullptr;
  ASSERT_EQ(S_OK, LoadTypeLibEx(path, REGKIND_NONE, &library));
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
  const SYSKIND want = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  EXPECT_EQ(want, attributes->syskind);
  library->ReleaseTLibAttr(attributes);
  library->Release();
}

// A second copy of the library, loaded fresh: no class object exists yet, so threads
// asking at once race to create it and must all get the same one. Unloading the copy
// afterwards releases its cached class objects.
TEST(ModuleCopyTest, ThreadsAskingAtOnceShareOneClassObject) {
  wchar_t original[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(Library(), original, MAX_PATH));
  std::wstring copy = Wide(testbed::ScratchDir("com-module-copy")) + L"\\KestraCopy.dll";
  ASSERT_TRUE(CopyFileW(original, copy.c_str(), FALSE));
  HMODULE module = LoadLibraryW(copy.c_str());
  ASSERT_NE(nullptr, module);
  auto get_class_object = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  auto can_unload_now = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(nullptr, get_class_object);
  ASSERT_NE(nullptr, can_unload_now);
  EXPECT_EQ(S_OK, can_unload_now());

  constexpr int kThreads = 8;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, go);
  IUnknown* got[kThreads] = {};
  HRESULT results[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      WaitForSingleObject(go, 10000);
      results[i] = get_class_object(CLSID_List, IID_IUnknown, reinterpret_cast<void**>(&got[i]));
    });
  }
  SetEvent(go);
  for (std::thread& t : threads) t.join();
  CloseHandle(go);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(S_OK, results[i]);
    EXPECT_EQ(got[0], got[i]);
  }
  EXPECT_EQ(S_FALSE, can_unload_now());
  for (IUnknown* unknown : got) {
    if (unknown) unknown->Release();
  }
  EXPECT_EQ(S_OK, can_unload_now());
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
}  // namespace comtest
