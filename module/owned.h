// Owners of the COM resources the module holds: an interface reference, a BSTR, a
// VARIANT and a fixed array of VARIANTs. Each frees what it holds when it goes and
// cannot be copied (an interface reference can be moved); `put()` frees what was there
// before handing out the slot an out-parameter writes, `release()` gives up ownership.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace kestra {

// One counted reference to an interface (or to an object with AddRef and Release).
template <class I>
class OwnedInterface {
 public:
  OwnedInterface() = default;
  // Adopts a reference the caller already holds.
  explicit OwnedInterface(I* adopted) : p_(adopted) {}
  ~OwnedInterface() { reset(); }
  OwnedInterface(OwnedInterface&& other) noexcept : p_(other.release()) {}
  OwnedInterface& operator=(OwnedInterface&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = other.release();
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

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // The slot an out-parameter writes a new reference into.
  I** put() {
    reset();
    return &p_;
  }
  // The same slot for QueryInterface.
  void** put_void() { return reinterpret_cast<void**>(put()); }

  I* release() { return std::exchange(p_, nullptr); }
  void reset() {
    if (I* p = std::exchange(p_, nullptr)) p->Release();
  }

 private:
  I* p_ = nullptr;
};

class OwnedBstr {
 public:
  OwnedBstr() = default;
  explicit OwnedBstr(BSTR adopted) : text_(adopted) {}
  ~OwnedBstr() { SysFreeString(text_); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;

  BSTR get() const { return text_; }
  BSTR* put() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }
  BSTR release() { return std::exchange(text_, nullptr); }

 private:
  BSTR text_ = nullptr;
};

class OwnedVariant {
 public:
  OwnedVariant() { VariantInit(&v_); }
  ~OwnedVariant() { VariantClear(&v_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;

  VARIANT* get() { return &v_; }
  // Empties the VARIANT and gives it out to be written.
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
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
    items_.reset(new (std::nothrow) VARIANT[count]);
    if (!items_) return false;
    for (std::size_t i = 0; i < count; ++i) VariantInit(&items_[i]);
    size_ = count;
    return true;
  }
  void clear() {
    for (std::size_t i = 0; i < size_; ++i) VariantClear(&items_[i]);
    items_.reset();
    size_ = 0;
  }

  std::size_t size() const { return size_; }
  VARIANT* data() { return items_.get(); }
  const VARIANT* data() const { return items_.get(); }
  VARIANT& operator[](std::size_t i) { return items_[i]; }
  const VARIANT& operator[](std::size_t i) const { return items_[i]; }

 private:
  std::unique_ptr<VARIANT[]> items_;
  std::size_t size_ = 0;
};

}  // namespace kestra
