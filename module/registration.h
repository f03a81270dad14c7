// Self-registration of the library: DllRegisterServer and DllUnregisterServer call
// these. Registration runs the registry script of each class of the object map (the
// REGISTRY resources of resource_ids.h) and then registers the type library the file
// carries; unregistration runs the same scripts in reverse sense and unregisters the
// type library. The scripts are executed by module/registrar.
#pragma once

#include <windows.h>

namespace kestra {

// S_OK when every step succeeded, else the first failure. `module` is the library's
// own instance handle (its file path and resources are read through it).
HRESULT RegisterServer(HINSTANCE module);
HRESULT UnregisterServer(HINSTANCE module);

}  // namespace kestra
