// Owners of the system resources the Windows code holds: COM interface references,
// BSTRs, VARIANTs (one, or a fixed array), open registry keys and file searches. Each
// frees what it holds when it goes and cannot be copied (all but the VARIANTs can be
// moved); `put()` frees what was there before handing out the slot an out-parameter
// writes, `release()` gives up ownership. Sockets are owned by platform::UniqueSocket
// (platform/net.h), which portable code holds too.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace platform {

// Traits name the handle type, its empty value and how it is closed.
template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() = default;
  explicit Owned(Handle adopted) : m_pHandle(adopted) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : m_pHandle(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      m_pHandle = other.release();
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  // Takes a reference of its own to `shared` (interfaces only).
  static Owned Share(Handle shared) {
    if (shared) shared->AddRef();
    return Owned(shared);
  }

  Handle get() const { return m_pHandle; }
  Handle operator->() const { return m_pHandle; }
  explicit operator bool() const { return m_pHandle != Traits::Empty(); }
  // The slot an out-parameter writes a new handle into.
  Handle* put() {
    reset();
    return &m_pHandle;
  }
  // The same slot for QueryInterface.
  void** put_void() { return reinterpret_cast<void**>(put()); }
  Handle release() { return std::exchange(m_pHandle, Traits::Empty()); }
  void reset() {
    if (m_pHandle != Traits::Empty()) Traits::Close(std::exchange(m_pHandle, Traits::Empty()));
  }

 private:
  Handle m_pHandle = Traits::Empty();
};

template <class I>
struct InterfaceTraits {
  using Handle = I*;
  static I* Empty() { return nullptr; }
  static void Close(I* p) { p->Release(); }
};
struct BstrTraits {
  using Handle = BSTR;
  static BSTR Empty() { return nullptr; }
  static void Close(BSTR text) { SysFreeString(text); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static HKEY Empty() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
struct FindTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE find) { FindClose(find); }
};

// One counted reference to an interface (or to an object with AddRef and Release);
// adopting one takes no reference of its own.
template <class I>
using OwnedInterface = Owned<InterfaceTraits<I>>;
using OwnedBstr = Owned<BstrTraits>;
// A key opened or created by RegOpenKeyExA / RegCreateKeyExA (never a predefined root).
using OwnedRegKey = Owned<RegKeyTraits>;
// A search started by FindFirstFileA.
using OwnedFind = Owned<FindTraits>;

class OwnedVariant {
 public:
  OwnedVariant() { VariantInit(&m_variant); }
  ~OwnedVariant() { VariantClear(&m_variant); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;

  VARIANT* get() { return &m_variant; }
  // Empties the VARIANT and gives it out to be written.
  VARIANT* put() {
    VariantClear(&m_variant);
    return &m_variant;
  }

 private:
  VARIANT m_variant;
};

// A fixed number of VARIANTs, each VT_EMPTY until written, all cleared when the array
// goes or is emptied.
class OwnedVariants {
 public:
  OwnedVariants() = default;
  ~OwnedVariants() { clear(); }
  OwnedVariants(const OwnedVariants&) = delete;
  OwnedVariants& operator=(const OwnedVariants&) = delete;

  // Replaces the contents with `count` empty VARIANTs; false (and empty) when memory
  // runs out. An array of 0 is still an array: data() is not null.
  bool Allocate(std::size_t count) {
    clear();
    m_items.reset(new (std::nothrow) VARIANT[count]);
    if (!m_items) return false;
    for (std::size_t i = 0; i < count; ++i) VariantInit(&m_items[i]);
    m_nSize = count;
    return true;
  }
  void clear() {
    for (std::size_t i = 0; i < m_nSize; ++i) VariantClear(&m_items[i]);
    m_items.reset();
    m_nSize = 0;
  }

  VARIANT* data() { return m_items.get(); }
  VARIANT& operator[](std::size_t i) { return m_items[i]; }

 private:
  std::unique_ptr<VARIANT[]> m_items;
  std::size_t m_nSize = 0;
};

}  // namespace platform
