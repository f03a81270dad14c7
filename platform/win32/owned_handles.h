// Owners of the system handles the platform layer holds: an open registry key and a
// file search. Each closes what it holds when it goes, can be moved and not copied;
// `put()` closes what was there before handing out the slot an out-parameter writes.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

// Traits name the handle type, its empty value and how it is closed.
template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() = default;
  explicit Owned(Handle adopted) : m_handle(adopted) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : m_handle(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      m_handle = other.release();
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Traits::Empty(); }
  Handle* put() {
    reset();
    return &m_handle;
  }
  Handle release() { return std::exchange(m_handle, Traits::Empty()); }
  void reset() {
    if (m_handle != Traits::Empty()) Traits::Close(std::exchange(m_handle, Traits::Empty()));
  }

 private:
  Handle m_handle = Traits::Empty();
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

}  // namespace platform
