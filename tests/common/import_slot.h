// Points a module's import of one function at another: the tests see or steer what a
// module calls through its import address table, the module's code unchanged.
#pragma once

#include <windows.h>

#include <cstring>

namespace testbed {

template <class T>
T* AtRva(HMODULE module, DWORD offset) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// The slot of `function` in `module`'s imports from `dll`, found by name through the
// lookup table (the address table beside it holds the bound addresses).
inline ULONG_PTR* ImportSlot(HMODULE module, const char* dll, const char* function) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = AtRva<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return nullptr;
  // Each table ends with an empty entry; the bounds guard a malformed image.
  const auto* desc = AtRva<const IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress);
  for (int d = 0; d < 256 && desc[d].Name != 0; ++d) {
    if (_stricmp(AtRva<const char>(module, desc[d].Name), dll) != 0) continue;
    const DWORD names =
        desc[d].OriginalFirstThunk ? desc[d].OriginalFirstThunk : desc[d].FirstThunk;
    auto* lookup = AtRva<IMAGE_THUNK_DATA>(module, names);
    auto* slots = AtRva<IMAGE_THUNK_DATA>(module, desc[d].FirstThunk);
    for (int i = 0; i < 4096 && lookup[i].u1.AddressOfData != 0; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(lookup[i].u1.Ordinal)) continue;
      const auto* by_name =
          AtRva<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(lookup[i].u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0)
        return reinterpret_cast<ULONG_PTR*>(&slots[i].u1.Function);
    }
  }
  return nullptr;
}

// Writes `to` into the slot, the address it held to *was (unless it holds `to`); false
// when there is no slot.
inline bool PointImport(HMODULE module, const char* dll, const char* function, ULONG_PTR to,
                        ULONG_PTR* was = nullptr) {
  ULONG_PTR* slot = ImportSlot(module, dll, function);
  if (slot != nullptr && *slot == to) return true;
  DWORD old = 0;
  if (slot == nullptr || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  if (was != nullptr) *was = *slot;
  *slot = to;
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

}  // namespace testbed
