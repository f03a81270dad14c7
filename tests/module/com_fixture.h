// What the in-process tests of Kestra.dll share: the library loaded by its path, small
// owners for interface pointers, BSTRs and VARIANTs, and a fixture that runs each test
// in a single-threaded apartment and checks afterwards that the library could unload,
// so every object and lock a test took must be given back by its end.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "module/Kestra_h.h"

namespace comtest {

template <class T>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ptr& operator=(Ptr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For an out parameter: releases what is held first.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

  template <class U>
  Ptr<U> As() const {
    Ptr<U> out;
    p_->QueryInterface(__uuidof(U), out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &v_; }
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text)
      : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

std::wstring Wide(const std::string& text);
// The BSTR's characters as narrow text (the test texts are ASCII).
std::string Narrow(BSTR text);

// The library under test, loaded once for the whole program.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT CanUnloadNow();
HMODULE Library();

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class T>
  Ptr<T> Create(REFCLSID clsid) {
    Ptr<IClassFactory> factory;
    EXPECT_EQ(S_OK, GetClassObject(clsid, IID_IClassFactory, factory.put_void()));
    Ptr<T> object;
    if (factory) {
      EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(T), object.put_void()));
    }
    return object;
  }

  // A Lookup that asks the test bed's DNS server for `domain`.
  Ptr<ILookup> LookupFor(const std::string& domain);
  // The list GetMXRecord returns for `domain` (null when it failed).
  Ptr<IList> ListFor(const std::string& domain);

 private:
  bool com_started_ = false;
};

}  // namespace comtest
