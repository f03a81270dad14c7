// DllRegisterServer / DllUnregisterServer: the classes' registry scripts (REGISTRY
// resources named by the object map) run through the registrar against the system
// registry, then the type library the file carries is registered or unregistered.
#include "module/registration.h"

#include <oleauto.h>

#include <memory>
#include <string>
#include <string_view>

#include "module/class_objects.h"
#include "module/module.h"
#include "platform/registry.h"
#include "platform/win32/owned.h"
#include "script_runner.h"

namespace kestra {

namespace {

HRESULT RunRegistryScripts(HINSTANCE module, registrar::Mode mode) {
  std::string path;
  if (HRESULT hr = ModulePath<char>(module, GetModuleFileNameA, &path); FAILED(hr)) return hr;
  const registrar::Replacements replacements = registrar::Replacements::ForModule(path);
  const std::unique_ptr<platform::Registry> registry = platform::OpenSystemRegistry();
  for (const ObjectMapEntry* entry = ObjectMap(); entry->pclsid; ++entry) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(entry->nRegistryScript), "REGISTRY");
    if (!found) return LastErrorResult();
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return LastErrorResult();
    const std::string_view text(static_cast<const char*>(bytes), size);
    const HRESULT hr = registrar::RunScript(text, replacements, mode, registry.get());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Registers the type library the file carries, or unregisters it.
HRESULT RunTypeLibRegistration(HINSTANCE module, registrar::Mode mode) {
  platform::OwnedInterface<ITypeLib> lib;
  std::wstring path;
  if (HRESULT hr = LoadOwnTypeLib(module, lib.put(), &path); FAILED(hr)) return hr;
  // The library names no help file (Kestra.idl.in), so there is no help folder to give.
  if (mode == registrar::Mode::kRegister) return RegisterTypeLib(lib.get(), path.data(), nullptr);
  TLIBATTR* attr = nullptr;
  if (HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  const HRESULT hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                                       attr->lcid, attr->syskind);
  lib->ReleaseTLibAttr(attr);
  return hr;
}

}  // namespace

HRESULT RegisterServer(HINSTANCE module) {
  // The classes have no component categories, so the scripts are all there is to write
  // before the type library.
  if (HRESULT hr = RunRegistryScripts(module, registrar::Mode::kRegister); FAILED(hr)) return hr;
  return RunTypeLibRegistration(module, registrar::Mode::kRegister);
}

HRESULT UnregisterServer(HINSTANCE module) {
  if (HRESULT hr = RunRegistryScripts(module, registrar::Mode::kUnregister); FAILED(hr)) {
    return hr;
  }
  return RunTypeLibRegistration(module, registrar::Mode::kUnregister);
}

}  // namespace kestra
