// The COM server module: the lock count that decides when the library may unload, the
// library's instance, and the type information the dual interfaces dispatch through.
// The class objects are in class_objects.h.
//
// Loading the library only records the instance and the LIBID (Init, from DllMain);
// nothing is read and no socket is started until an object does its work.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace kestra {

// The module lock count, changed only by interlocked operations. Every living object
// holds one lock, as does every client reference to a class object and every
// outstanding LockServer(TRUE).
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// Module initialisation and termination, called by DllMain. Term releases the type
// information.
void InitModule(HINSTANCE instance);
void TermModule();
HINSTANCE ModuleInstance();

// Holds the module's critical section while it lives: lazy creation of class objects
// and the loading of type information go one at a time.
class ModuleGuard {
 public:
  ModuleGuard();
  ~ModuleGuard();
  ModuleGuard(const ModuleGuard&) = delete;
  ModuleGuard& operator=(const ModuleGuard&) = delete;
};

// The type information of one of the library's dual interfaces. The pointer is the
// module's own (no reference is taken for the caller) and stays valid until Term.
HRESULT GetTypeInfoOf(REFIID iid, ITypeInfo** info);

}  // namespace kestra
