#include "context_hook.h"

#include <windows.h>

#include <cstring>

#include "host_objects.h"

namespace pagehost {
namespace {

using CoGetObjectContextFn = HRESULT(WINAPI*)(REFIID, void**);

template <class T>
T* At(HMODULE module, DWORD offset) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// The slot of `function` in `module`'s imports from `dll`, found by name through the
// lookup table (the address table beside it holds the bound addresses).
ULONG_PTR* ImportSlot(HMODULE module, const char* dll, const char* function) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = At<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return nullptr;
  // Each table ends with an empty entry; the bounds guard a malformed image.
  const auto* desc = At<const IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress);
  for (int d = 0; d < 256 && desc[d].Name != 0; ++d) {
    if (_stricmp(At<const char>(module, desc[d].Name), dll) != 0) continue;
    const DWORD names =
        desc[d].OriginalFirstThunk ? desc[d].OriginalFirstThunk : desc[d].FirstThunk;
    auto* lookup = At<IMAGE_THUNK_DATA>(module, names);
    auto* slots = At<IMAGE_THUNK_DATA>(module, desc[d].FirstThunk);
    for (int i = 0; i < 4096 && lookup[i].u1.AddressOfData != 0; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(lookup[i].u1.Ordinal)) continue;
      const auto* by_name =
          At<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(lookup[i].u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0)
        return reinterpret_cast<ULONG_PTR*>(&slots[i].u1.Function);
    }
  }
  return nullptr;
}

}  // namespace

bool PointModuleAtHostContext() {
  HMODULE module = GetModuleHandleW(L"Kestra.dll");
  if (module == nullptr) return false;
  ULONG_PTR* slot = ImportSlot(module, "ole32.dll", "CoGetObjectContext");
  if (slot == nullptr) return false;
  const auto host = reinterpret_cast<ULONG_PTR>(&HostCoGetObjectContext);
  if (*slot == host) return true;
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  *slot = host;
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

}  // namespace pagehost
