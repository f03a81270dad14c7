// The object map and its class objects: one per creatable class, made on first demand,
// cached by the module and released when the library unloads.
#pragma once

#include <windows.h>

#include <atomic>

#include "module/com_object.h"

namespace kestra {

struct ObjectMapEntry {
  const CLSID* pclsid;
  UINT nRegistryScript;  // resource id of the class's "REGISTRY" script (resource_ids.h)
  CreatorFunc pfnCreateInstance;
  std::atomic<IUnknown*> pCF;  // the cached class object, once made
};

// The object map: Lookup, List, ListEntries, in that order (object_map.cpp). The array
// ends with an all-zero entry.
ObjectMapEntry* ObjectMap();

// The class object of `clsid` (made and cached on first demand), asked for `riid`.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);

// Releases the cached class objects (DllMain, when the library unloads).
void ReleaseClassObjects();

}  // namespace kestra
