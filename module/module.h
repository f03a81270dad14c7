// The COM server module: the lock count that decides when the library may unload, the
// object map with its cached class objects, and the type information the dual interfaces
// dispatch through.
//
// Loading the library only records the map and the LIBID (Init, from DllMain); nothing
// is read and no socket is started until an object does its work. Class objects are
// made on first demand and released at Term.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>

namespace kestra {

// The module lock count, changed only by interlocked operations. Every living object
// holds one lock, as does every client reference to a class object and every
// outstanding LockServer(TRUE).
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// Makes an object of one class: without `outer` a plain one, with it an aggregated one.
using CreatorFunc = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct ObjectMapEntry {
  const CLSID* pclsid;
  UINT nRegistryScript;  // resource id of the class's "REGISTRY" script
  CreatorFunc pfnCreateInstance;
  std::atomic<IUnknown*> pCF;  // the cached class object, once made
};

// The object map: Lookup, List, ListEntries, in that order (object_map.cpp). The array
// ends with an all-zero entry.
ObjectMapEntry* ObjectMap();

// Module initialisation and termination, called by DllMain. Term releases the cached
// class objects and the type information.
void InitModule(HINSTANCE instance);
void TermModule();
HINSTANCE ModuleInstance();

// The class object of `clsid` (made and cached on first demand), asked for `riid`.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);

// The type information of one of the library's dual interfaces. The pointer is the
// module's own (no reference is taken for the caller) and stays valid until Term.
HRESULT GetTypeInfoOf(REFIID iid, ITypeInfo** info);

}  // namespace kestra
