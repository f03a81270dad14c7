// The small COM plumbing every class of the library stands on, in place of a framework.
//
// A class lists its interfaces once, `class ListObject : public ComClass<IList>`,
// and holds only its own logic. ComClass answers QueryInterface by walking that list (the
// first interface also stands for IUnknown, and a dual interface also for IDispatch) and
// gives every dual interface its IDispatch half through the type library. The reference
// count lives in the wrapper that makes the object:
//   HeapObject<T>         a plain object with its own count;
//   AggregatedObject<T>   an object aggregated into an outer object: its own IUnknown is
//                         the non-delegating one, its interfaces (a ContainedObject<T>)
//                         delegate to the outer;
//   CachedClassObject<T>  a class object that the module caches (class_factory.h).
// Objects are apartment-threaded, so their counts are plain counters; every living
// object holds the module lock for as long as it exists. A wrapper's Create hands the
// new object out holding its first reference, so that it goes again on every path that
// lets go of it.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <new>
#include <tuple>
#include <type_traits>

#include "module/dispatch.h"
#include "module/module.h"
#include "platform/win32/owned.h"

namespace kestra {

namespace detail {

// The interface a ComClass base stands for: a dual interface is inherited through its
// DispatchImpl, everything else as it is.
template <class I>
using Base = std::conditional_t<std::is_base_of_v<IDispatch, I> && !std::is_same_v<IDispatch, I>,
                                DispatchImpl<I>, I>;

}  // namespace detail

template <class... I>
class ComClass : public detail::Base<I>... {
  static_assert(sizeof...(I) > 0, "a COM class implements at least one interface");

 public:
  // Finds `riid` among the class's interfaces and takes a reference through the
  // interface found, so that a contained object counts on its outer object. The order
  // is the class's interface list, then IDispatch through its first dual interface.
  HRESULT InternalQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* found = nullptr;
    if (InlineIsEqualGUID(riid, __uuidof(IUnknown))) {
      found = static_cast<std::tuple_element_t<0, std::tuple<I...>>*>(this);
    } else {
      (Match<I>(riid, &found) || ...);
      if (!found && InlineIsEqualGUID(riid, __uuidof(IDispatch))) (MatchDispatch<I>(&found) || ...);
    }
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *ppv = found;
    return S_OK;
  }

 protected:
  ComClass() = default;
  ~ComClass() = default;

 private:
  template <class J>
  bool Match(REFIID riid, IUnknown** found) {
    if (!InlineIsEqualGUID(riid, __uuidof(J))) return false;
    *found = static_cast<J*>(this);
    return true;
  }
  template <class J>
  bool MatchDispatch(IUnknown** found) {
    if constexpr (std::is_base_of_v<IDispatch, J>) {
      *found = static_cast<IDispatch*>(static_cast<J*>(this));
      return true;
    } else {
      return false;
    }
  }
};

// A plain object, made holding its first reference; the last Release deletes it. Its
// arguments go to T's constructor.
template <class T>
class HeapObject final : public T {
 public:
  template <class... Args>
  static HRESULT Create(platform::OwnedInterface<HeapObject>* made, Args... args) {
    HeapObject* p = new (std::nothrow) HeapObject(args...);
    if (!p) return E_OUTOFMEMORY;
    p->AddRef();
    *made->put() = p;
    return S_OK;
  }
  ~HeapObject() { UnlockModule(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return this->InternalQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --m_nRef;
    if (n == 0) delete this;
    return n;
  }

 private:
  template <class... Args>
  explicit HeapObject(Args... args) : T(args...) {
    LockModule();
  }
  ULONG m_nRef = 0;
};

// The class inside an aggregate: every IUnknown call goes to the outer object.
template <class T>
class ContainedObject final : public T {
 public:
  explicit ContainedObject(IUnknown* outer) : m_pOuter(outer) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return m_pOuter->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_pOuter->Release(); }

 private:
  IUnknown* m_pOuter;  // not counted: the outer object owns us
};

// The aggregated object's own IUnknown, the non-delegating one: it answers for itself
// and for the contained class, and the outer object holds the aggregate through it only.
template <class T>
class Aggregate : public IUnknown {
 public:
  explicit Aggregate(IUnknown* outer) : m_contained(outer) {}

  HRESULT InternalQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (InlineIsEqualGUID(riid, __uuidof(IUnknown))) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return m_contained.InternalQueryInterface(riid, ppv);
  }

 private:
  ContainedObject<T> m_contained;
};

// An aggregated object is counted and made as a plain one is, from its outer object.
template <class T>
using AggregatedObject = HeapObject<Aggregate<T>>;

// Makes an object of one class: without `outer` a plain one, with it an aggregated one.
using CreatorFunc = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// The creator of the object map, the same for every class: a plain object without an
// outer object, an aggregated one with it. The new object is asked for `riid`; when it
// does not have it, letting go of the first reference destroys it again (which unlocks
// the module).
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr;
  if (!outer) {
    platform::OwnedInterface<HeapObject<T>> made;
    hr = HeapObject<T>::Create(&made);
    if (SUCCEEDED(hr)) hr = made->QueryInterface(riid, ppv);
  } else {
    platform::OwnedInterface<AggregatedObject<T>> made;
    hr = AggregatedObject<T>::Create(&made, outer);
    if (SUCCEEDED(hr)) hr = made->QueryInterface(riid, ppv);
  }
  return hr;
}

}  // namespace kestra
