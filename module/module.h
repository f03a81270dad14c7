// The COM server module: the lock count that decides when the library may unload, the
// library's instance, and the type information the dual interfaces dispatch through.
// The class objects are in class_objects.h.
//
// Loading the library only records the instance (Init, from DllMain); nothing is read
// and no socket is started until an object does its work.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

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

// The thread's last error as an HRESULT; E_FAIL when the failing call left none.
HRESULT LastErrorResult();

// The full path of `module`'s file through GetModuleFileNameA or W (`get_name`), however
// long: GetModuleFileName truncates silently, so the buffer grows until the path fits.
template <class Char, class GetName>
HRESULT ModulePath(HINSTANCE module, GetName get_name, std::basic_string<Char>* path) {
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    path->assign(size, Char{});
    const DWORD length = get_name(module, path->data(), size);
    if (length == 0) return LastErrorResult();
    if (length < size) {
      path->resize(length);
      return S_OK;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

// The type library the file of `module` carries or, failing that, the one in the file of
// the same name with the extension ".tlb"; `loaded_from` is the path that worked. On
// failure, the failure of the first.
HRESULT LoadOwnTypeLib(HINSTANCE module, ITypeLib** lib, std::wstring* loaded_from);

}  // namespace kestra
