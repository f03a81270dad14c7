#include "module/module.h"

#include <oleauto.h>

#include <atomic>

#include "module/Kestra_h.h"

namespace kestra {
namespace {

LONG g_nLockCount = 0;
HINSTANCE g_hInstance = nullptr;
const GUID* g_pLibid = nullptr;

// Held by ModuleGuard.
CRITICAL_SECTION g_csModule;
bool g_bInitialised = false;

// The type information of the three dual interfaces, loaded on first use. Once a slot
// is filled it never changes until Term, so readers need no lock.
struct TypeInfoSlot {
  const IID* piid;
  std::atomic<ITypeInfo*> pInfo;
};
TypeInfoSlot g_typeInfos[] = {
    {&IID_ILookup, nullptr},
    {&IID_IList, nullptr},
    {&IID_IListEntries, nullptr},
};
// Raw pointers, as the slots above: the module gives them back in TermModule only, never
// from a destructor at process exit, when oleaut32 may already be gone.
ITypeLib* g_pTypeLib = nullptr;

// The registered library first, as the classes' registry keys name it. An unregistered
// copy of the library (loaded by path, as a test or a side-by-side host does) dispatches
// through the type library in its own file, or in the .tlb beside it, as registration
// would find it, instead of failing every late-bound call.
HRESULT LoadTypeLibrary(ITypeLib** lib) {
  HRESULT hr = LoadRegTypeLib(*g_pLibid, 1, 0, LOCALE_NEUTRAL, lib);
  if (SUCCEEDED(hr)) return hr;
  wchar_t path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(g_hInstance, path, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return hr;
  if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, lib))) return S_OK;
  wchar_t* dot = wcsrchr(path, L'.');
  wchar_t* slash = wcsrchr(path, L'\\');
  if (!dot || (slash && dot < slash) || (dot - path) + 5 > MAX_PATH) return hr;
  wcscpy(dot, L".tlb");
  if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, lib))) return S_OK;
  return hr;
}

}  // namespace

void LockModule() {
  InterlockedIncrement(&g_nLockCount);
}
void UnlockModule() {
  InterlockedDecrement(&g_nLockCount);
}
LONG ModuleLockCount() {
  return InterlockedCompareExchange(&g_nLockCount, 0, 0);
}

HINSTANCE ModuleInstance() {
  return g_hInstance;
}

ModuleGuard::ModuleGuard() {
  EnterCriticalSection(&g_csModule);
}
ModuleGuard::~ModuleGuard() {
  LeaveCriticalSection(&g_csModule);
}

void InitModule(HINSTANCE instance) {
  g_hInstance = instance;
  g_pLibid = &LIBID_KestraLib;
  InitializeCriticalSection(&g_csModule);
  g_bInitialised = true;
}

void TermModule() {
  if (!g_bInitialised) return;
  for (TypeInfoSlot& slot : g_typeInfos) {
    if (ITypeInfo* info = slot.pInfo.exchange(nullptr)) info->Release();
  }
  if (g_pTypeLib) {
    g_pTypeLib->Release();
    g_pTypeLib = nullptr;
  }
  DeleteCriticalSection(&g_csModule);
  g_bInitialised = false;
}

HRESULT GetTypeInfoOf(REFIID iid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  TypeInfoSlot* slot = nullptr;
  for (TypeInfoSlot& s : g_typeInfos) {
    if (InlineIsEqualGUID(iid, *s.piid)) slot = &s;
  }
  if (!slot) return TYPE_E_ELEMENTNOTFOUND;
  if (ITypeInfo* loaded = slot->pInfo.load(std::memory_order_acquire)) {
    *info = loaded;
    return S_OK;
  }
  ModuleGuard guard;
  if (!slot->pInfo.load(std::memory_order_acquire)) {
    // A failed load is not remembered: registering the library later makes the next
    // call succeed.
    if (!g_pTypeLib) {
      HRESULT hr = LoadTypeLibrary(&g_pTypeLib);
      if (FAILED(hr)) return hr;
    }
    ITypeInfo* loaded = nullptr;
    HRESULT hr = g_pTypeLib->GetTypeInfoOfGuid(iid, &loaded);
    if (FAILED(hr)) return hr;
    slot->pInfo.store(loaded, std::memory_order_release);
  }
  *info = slot->pInfo.load(std::memory_order_acquire);
  return S_OK;
}

}  // namespace kestra
