#include "module/class_objects.h"

#include "module/class_factory.h"
#include "module/module.h"
#include "platform/win32/owned.h"

namespace kestra {
namespace {

HRESULT MakeClassObject(ObjectMapEntry* entry) {
  platform::OwnedInterface<CachedClassObject<ClassFactory>> factory;
  HRESULT hr = CachedClassObject<ClassFactory>::Create(&factory);
  if (FAILED(hr)) return hr;
  factory->SetCreator(entry->pfnCreateInstance);
  // The first reference is the module's own; ReleaseClassObjects gives it back.
  entry->pCF.store(static_cast<IClassFactory*>(factory.release()), std::memory_order_release);
  return S_OK;
}

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (ObjectMapEntry* entry = ObjectMap(); entry->pclsid; ++entry) {
    if (!InlineIsEqualGUID(clsid, *entry->pclsid)) continue;
    // Tested before and again inside the lock, so that two threads asking at once
    // end up with the same class object.
    if (!entry->pCF.load(std::memory_order_acquire)) {
      ModuleGuard guard;
      if (!entry->pCF.load(std::memory_order_acquire)) {
        HRESULT hr = MakeClassObject(entry);
        if (FAILED(hr)) return hr;
      }
    }
    return entry->pCF.load(std::memory_order_acquire)->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() {
  for (ObjectMapEntry* entry = ObjectMap(); entry->pclsid; ++entry) {
    if (IUnknown* cf = entry->pCF.exchange(nullptr)) cf->Release();
  }
}

}  // namespace kestra
