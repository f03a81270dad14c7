// The IDispatch half of a dual interface, driven by the library's type information: names
// and calls go to ITypeInfo::GetIDsOfNames and ITypeInfo::Invoke, which call back into
// the interface's own virtual table. The type information is the module's, loaded once
// and kept until the library unloads (module.h).
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "module/module.h"

namespace kestra {

template <class I>
class DispatchImpl : public I {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    // The module's pointer, with a reference of the caller's own.
    const HRESULT hr = GetTypeInfoOf(__uuidof(I), info);
    if (SUCCEEDED(hr)) (*info)->AddRef();
    return hr;
  }

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfoOf(__uuidof(I), &info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  }

  STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override {
    if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS no_arguments = {nullptr, nullptr, 0, 0};
    if (!params) params = &no_arguments;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfoOf(__uuidof(I), &info);
    if (FAILED(hr)) return hr;
    I* self = static_cast<I*>(this);
    hr = info->Invoke(self, member, flags, params, result, exception, arg_error);
    // Some script engines read a property with DISPATCH_METHOD alone (JScript's
    // `new Enumerator(list)`, or a call whose result is dropped); the type information
    // then finds no method of that DISPID. Read it as the property it is.
    if (hr == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_METHOD) {
      hr = info->Invoke(self, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, result,
                        exception, arg_error);
    }
    return hr;
  }
};

}  // namespace kestra
