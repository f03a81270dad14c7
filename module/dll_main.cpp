// The library's entry points. Loading initialises the module and nothing else: no
// registry or INI file is read and no socket is started until an object does its work.
#include <windows.h>

#include <objbase.h>

#include "module/class_objects.h"
#include "module/module.h"
#include "module/registration.h"
#include "platform/net.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    kestra::InitModule(instance);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // Unloaded by FreeLibrary: the class objects, the type information and the
    // process-wide socket start go with the library. At process exit there is
    // nothing left to give back to anyone.
    kestra::ReleaseClassObjects();
    kestra::TermModule();
    platform::ReleaseSocketLayer();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  return kestra::GetClassObject(clsid, riid, ppv);
}

// The lock count alone decides: every living object, every client reference to a class
// object and every outstanding LockServer(TRUE) holds it above 0.
STDAPI DllCanUnloadNow() {
  return kestra::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  return kestra::RegisterServer(kestra::ModuleInstance());
}

STDAPI DllUnregisterServer() {
  return kestra::UnregisterServer(kestra::ModuleInstance());
}
