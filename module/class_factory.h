// The class object of each class in the object map, and the cached wrapper the module
// keeps it in.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <new>

#include "module/com_object.h"
#include "module/module.h"
#include "platform/win32/owned.h"

namespace kestra {

// IClassFactory bound to one creator of the object map.
class ClassFactory : public ComClass<IClassFactory> {
 public:
  void SetCreator(CreatorFunc creator) { m_pfnCreateInstance = creator; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregated object can only be handed to its outer object as its own IUnknown.
    if (outer && !InlineIsEqualGUID(riid, __uuidof(IUnknown))) return CLASS_E_NOAGGREGATION;
    return m_pfnCreateInstance(outer, riid, ppv);
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? LockModule() : UnlockModule();
    return S_OK;
  }

 private:
  CreatorFunc m_pfnCreateInstance = nullptr;
};

// A class object the module caches. The module's own reference (the first) does not
// lock the module: only client references do, so a class object that nobody but the
// module holds never keeps the library loaded. Class objects may be used from any
// thread, so this count is interlocked. Create hands the object out holding that first
// reference, the module's own.
template <class T>
class CachedClassObject final : public T {
 public:
  static HRESULT Create(platform::OwnedInterface<CachedClassObject>* made) {
    CachedClassObject* p = new (std::nothrow) CachedClassObject();
    if (!p) return E_OUTOFMEMORY;
    p->AddRef();
    *made->put() = p;
    return S_OK;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return this->InternalQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    LONG n = InterlockedIncrement(&m_nRef);
    if (n == 2) LockModule();
    return static_cast<ULONG>(n);
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_nRef);
    if (n == 0) {
      delete this;
    } else if (n == 1) {
      UnlockModule();
    }
    return static_cast<ULONG>(n);
  }

 private:
  CachedClassObject() = default;
  LONG m_nRef = 0;
};

}  // namespace kestra
