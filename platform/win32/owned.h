// Owners of the system resources the Windows code holds: COM interface references,
// BSTRs, VARIANTs (one, or a fixed array), open registry keys and file searches. Each
// frees what it holds when it goes and cannot be copied (interfaces, keys and searches
// can be moved); `put()` frees what was there before handing out the slot an
// out-parameter writes, `release()` gives up ownership. Sockets are owned by
// platform::UniqueSocket (platform/net.h), which portable code holds too.
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

  Handle get() const { return m_pHandle; }
  explicit operator bool() const { return m_pHandle != Traits::Empty(); }
  Handle* put() {
    reset();
    return &m_pHandle;
  }
  Handle release() { return std::exchange(m_pHandle, Traits::Empty()); }
  void reset() {
    if (m_pHandle != Traits::Empty()) Traits::Close(std::exchange(m_pHandle, Traits::Empty()));
  }

 private:
  Handle m_pHandle = Traits::Empty();
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

// A key opened or created by RegOpenKeyExA / RegCreateKeyExA (never a predefined root).
using OwnedRegKey = Owned<RegKeyTraits>;
// A search started by FindFirstFileA.
using OwnedFind = Owned<FindTraits>;

// One counted reference to an interface (or to an object with AddRef and Release).
template <class I>
class OwnedInterface {
 public:
  OwnedInterface() = default;
  // Adopts a reference the caller already holds.
  explicit OwnedInterface(I* adopted) : m_pInterface(adopted) {}
  ~OwnedInterface() { reset(); }
  OwnedInterface(OwnedInterface&& other) noexcept : m_pInterface(other.release()) {}
  OwnedInterface& operator=(OwnedInterface&& other) noexcept {
    if (this != &other) {
      reset();
      m_pInterface = other.release();
    }
    return *this;
  }
  OwnedInterface(const OwnedInterface&) = delete;
  OwnedInterface& operator=(const OwnedInterface&) = delete;

  // Takes a reference of its own to `shared`.
  static OwnedInterface Share(I* shared) {
    if (shared) shared->AddRef();
    return OwnedInterface(shared);
  }

  I* get() const { return m_pInterface; }
  I* operator->() const { return m_pInterface; }
  explicit operator bool() const { return m_pInterface != nullptr; }

  // The slot an out-parameter writes a new reference into.
  I** put() {
    reset();
    return &m_pInterface;
  }
  // The same slot for QueryInterface.
  void** put_void() { return reinterpret_cast<void**>(put()); }

  I* release() { return std::exchange(m_pInterface, nullptr); }
  void reset() {
    if (I* p = std::exchange(m_pInterface, nullptr)) p->Release();
  }

 private:
  I* m_pInterface = nullptr;
};

class OwnedBstr {
 public:
  OwnedBstr() = default;
  explicit OwnedBstr(BSTR adopted) : m_strText(adopted) {}
  ~OwnedBstr() { SysFreeString(m_strText); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;

  BSTR get() const { return m_strText; }
  BSTR* put() {
    SysFreeString(std::exchange(m_strText, nullptr));
    return &m_strText;
  }
  BSTR release() { return std::exchange(m_strText, nullptr); }

 private:
  BSTR m_strText = nullptr;
};

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

  std::size_t size() const { return m_nSize; }
  VARIANT* data() { return m_items.get(); }
  const VARIANT* data() const { return m_items.get(); }
  VARIANT& operator[](std::size_t i) { return m_items[i]; }
  const VARIANT& operator[](std::size_t i) const { return m_items[i]; }

 private:
  std::unique_ptr<VARIANT[]> m_items;
  std::size_t m_nSize = 0;
};

}  // namespace platform
