#include "module/module.h"

#include <oleauto.h>

#include <atomic>
#include <string>
#include <utility>

#include "module/Kestra_h.h"

namespace kestra {
namespace {

LONG g_nLockCount = 0;
HINSTANCE g_hInstance = nullptr;

// Held by ModuleGuard.
CRITICAL_SECTION g_csModule;

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
  const HRESULT hr = LoadRegTypeLib(LIBID_KestraLib, 1, 0, LOCALE_NEUTRAL, lib);
  if (SUCCEEDED(hr)) return hr;
  std::wstring path;
  return SUCCEEDED(LoadOwnTypeLib(g_hInstance, lib, &path)) ? S_OK : hr;
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
  InitializeCriticalSection(&g_csModule);
}

void TermModule() {
  for (TypeInfoSlot& slot : g_typeInfos) {
    if (ITypeInfo* info = slot.pInfo.exchange(nullptr)) info->Release();
  }
  if (ITypeLib* lib = std::exchange(g_pTypeLib, nullptr)) lib->Release();
  DeleteCriticalSection(&g_csModule);
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

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT LoadOwnTypeLib(HINSTANCE module, ITypeLib** lib, std::wstring* loaded_from) {
  std::wstring path;
  if (HRESULT hr = ModulePath<wchar_t>(module, GetModuleFileNameW, &path); FAILED(hr)) return hr;
  const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
  if (SUCCEEDED(hr)) {
    *loaded_from = std::move(path);
    return hr;
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  path += L".tlb";
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib))) return hr;
  *loaded_from = std::move(path);
  return S_OK;
}

}  // namespace kestra
