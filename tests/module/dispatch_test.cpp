// Late binding: the type library's content, and IDispatch by name on the three classes
// the way script engines call it (VBScript's METHOD|PROPERTYGET, JScript's bare METHOD
// for property reads, named DISPID_PROPERTYPUT arguments for puts).
#include <string>
#include <vector>

#include "com_fixture.h"
#include "testbed.h"

namespace comtest {
namespace {

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = 12345;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return SUCCEEDED(hr) ? id : 12345;
}

// Calls `name` with at most one argument; the HRESULT of Invoke, the result in `result`.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result,
             const VARIANT* argument = nullptr, EXCEPINFO* exception = nullptr) {
  DISPID id = IdOf(object, name);
  if (id == 12345) return DISP_E_UNKNOWNNAME;
  VARIANT arg;
  VariantInit(&arg);
  if (argument) VariantCopy(&arg, const_cast<VARIANT*>(argument));
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {argument ? &arg : nullptr, nullptr, argument ? 1u : 0u, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO local = {};
  UINT arg_error = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                              exception ? exception : &local, &arg_error);
  VariantClear(&arg);
  if (!exception) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

VARIANT Text(const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

VARIANT Long(long value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;  // what VBScript sends
constexpr WORD kBare = DISPATCH_METHOD;                        // what JScript sometimes sends

class DispatchTest : public ComTest {};

TEST_F(DispatchTest, NamesMapToTheirDispids) {
  struct Case {
    const CLSID* clsid;
    const wchar_t* name;
    DISPID id;
  };
  const Case cases[] = {
      {&CLSID_Lookup, L"MXRecords", 1},
      {&CLSID_Lookup, L"DNSServer", 2},
      {&CLSID_Lookup, L"DomainName", 3},
      {&CLSID_Lookup, L"Timeout", 4},
      {&CLSID_Lookup, L"IsError", 5},
      {&CLSID_Lookup, L"ErrorReason", 6},
      {&CLSID_Lookup, L"GetMXRecord", 9},
      {&CLSID_Lookup, L"DNSLookup", 10},
      {&CLSID_Lookup, L"ReverseDNSLookup", 11},
      {&CLSID_Lookup, L"VerifySMTP", 12},
      {&CLSID_Lookup, L"getmxrecord", 9},
      {&CLSID_List, L"_NewEnum", DISPID_NEWENUM},
      {&CLSID_List, L"Count", 2},
      {&CLSID_List, L"Item", DISPID_VALUE},
      {&CLSID_ListEntries, L"MX", 1},
      {&CLSID_ListEntries, L"Preference", 2},
  };
  for (const Case& c : cases) {
    Ptr<IDispatch> object = Create<IDispatch>(*c.clsid);
    ASSERT_TRUE(object);
    EXPECT_EQ(c.id, IdOf(object.get(), c.name)) << std::string(c.name, c.name + wcslen(c.name));
  }
  Ptr<IDispatch> lookup = Create<IDispatch>(CLSID_Lookup);
  DISPID id = 0;
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Count")};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, lookup->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, lookup->GetIDsOfNames(IID_ILookup, unknown, 1, 0, &id));
}

TEST_F(DispatchTest, TypeInfoIsTheDefaultInterfaces) {
  const std::pair<const CLSID*, const IID*> classes[] = {{&CLSID_Lookup, &IID_ILookup},
                                                         {&CLSID_List, &IID_IList},
                                                         {&CLSID_ListEntries, &IID_IListEntries}};
  for (auto [clsid, iid] : classes) {
    Ptr<IDispatch> object = Create<IDispatch>(*clsid);
    ASSERT_TRUE(object);
    UINT count = 0;
    EXPECT_EQ(S_OK, object->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    Ptr<ITypeInfo> info;
    ASSERT_EQ(S_OK, object->GetTypeInfo(0, 0, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(*iid, attr->guid));
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(DISP_E_BADINDEX, object->GetTypeInfo(1, 0, info.put()));
    EXPECT_EQ(nullptr, info.get());
  }
}

TEST_F(DispatchTest, PropertiesByNameIncludingBareMethodReads) {
  Ptr<IDispatch> lookup = Create<IDispatch>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  for (WORD flags : {WORD{DISPATCH_PROPERTYGET}, kGet, kBare}) {
    Variant is_error, reason;
    ASSERT_EQ(S_OK, Call(lookup.get(), L"IsError", flags, is_error.get())) << flags;
    EXPECT_EQ(VT_I2, V_VT(is_error.get()));
    EXPECT_EQ(0, V_I2(is_error.get()));
    ASSERT_EQ(S_OK, Call(lookup.get(), L"ErrorReason", flags, reason.get())) << flags;
    ASSERT_EQ(VT_BSTR, V_VT(reason.get()));
    EXPECT_EQ("", Narrow(V_BSTR(reason.get())));
  }
  // Write-only properties cannot be read, read-only ones cannot be written.
  Variant ignored;
  VARIANT name = Text(L"x.test");
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(lookup.get(), L"DomainName", kGet, ignored.put()));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(lookup.get(), L"Timeout", kBare, ignored.put()));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            Call(lookup.get(), L"IsError", DISPATCH_PROPERTYPUT, nullptr, &name));
  VariantClear(&name);

  // Puts coerce their argument to the parameter's type: a long for the INT Timeout,
  // a number for a BSTR.
  VARIANT timeout = Long(7);
  VARIANT number = Long(42);
  EXPECT_EQ(S_OK, Call(lookup.get(), L"Timeout", DISPATCH_PROPERTYPUT, nullptr, &timeout));
  EXPECT_EQ(S_OK, Call(lookup.get(), L"DNSServer", DISPATCH_PROPERTYPUT, nullptr, &number));
  Variant is_error;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"IsError", kBare, is_error.get()));
  EXPECT_EQ(0, V_I2(is_error.get()));
}

TEST_F(DispatchTest, FailedLookupsThroughDispatchRaiseNothing) {
  Ptr<IDispatch> lookup = Create<IDispatch>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  // No domain and no address: the lookups fail before any traffic, with S_OK.
  Variant list;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"GetMXRecord", DISPATCH_METHOD, list.get()));
  EXPECT_EQ(VT_DISPATCH, V_VT(list.get()));
  EXPECT_EQ(nullptr, V_DISPATCH(list.get()));
  Variant reason;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"ErrorReason", kBare, reason.get()));
  EXPECT_EQ("Please specify domain name", Narrow(V_BSTR(reason.get())));

  VARIANT empty = Text(L"");
  Variant name;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"ReverseDNSLookup", DISPATCH_METHOD, name.get(), &empty));
  ASSERT_EQ(VT_BSTR, V_VT(name.get()));
  EXPECT_EQ("", Narrow(V_BSTR(name.get())));
  ASSERT_EQ(S_OK, Call(lookup.get(), L"ErrorReason", kGet, reason.put()));
  EXPECT_EQ("Please specify IP address", Narrow(V_BSTR(reason.get())));
  VariantClear(&empty);

  Variant is_error;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"IsError", kGet, is_error.get()));
  EXPECT_EQ(1, V_I2(is_error.get()));
}

TEST_F(DispatchTest, EveryLookupMemberByName) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IDispatch> lookup = Create<IDispatch>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  VARIANT server = Text(Wide(testbed::DnsServer()));
  VARIANT domain = Text(L"com-list.test");
  VARIANT timeout = Long(5);
  EXPECT_EQ(S_OK, Call(lookup.get(), L"DNSServer", DISPATCH_PROPERTYPUT, nullptr, &server));
  EXPECT_EQ(S_OK, Call(lookup.get(), L"DomainName", DISPATCH_PROPERTYPUT, nullptr, &domain));
  EXPECT_EQ(S_OK, Call(lookup.get(), L"Timeout", DISPATCH_PROPERTYPUT, nullptr, &timeout));
  VariantClear(&server);
  VariantClear(&domain);

  Variant count;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"MXRecords", kBare, count.get()));
  EXPECT_EQ(VT_I2, V_VT(count.get()));
  EXPECT_EQ(4, V_I2(count.get()));

  Variant list;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"GetMXRecord", DISPATCH_METHOD, list.get()));
  ASSERT_EQ(VT_DISPATCH, V_VT(list.get()));
  ASSERT_NE(nullptr, V_DISPATCH(list.get()));

  // The host lookups go through the system resolver, which the test bed points at its
  // own DNS server (203.0.113.30's PTR lives in the lookup tests' reverse zone).
  VARIANT host = Text(L"mail.com-list.test");
  Variant address;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"DNSLookup", DISPATCH_METHOD, address.get(), &host));
  ASSERT_EQ(VT_BSTR, V_VT(address.get()));
  EXPECT_EQ("198.51.100.25", Narrow(V_BSTR(address.get())));
  VariantClear(&host);

  VARIANT ip = Text(L"203.0.113.30");
  Variant name;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"ReverseDNSLookup", DISPATCH_METHOD, name.get(), &ip));
  ASSERT_EQ(VT_BSTR, V_VT(name.get()));
  EXPECT_EQ("host30.lookup.test", Narrow(V_BSTR(name.get())));
  VariantClear(&ip);

  VARIANT smtp = Text(Wide(testbed::SmtpServer()));
  Variant verified;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"VerifySMTP", DISPATCH_METHOD, verified.get(), &smtp));
  EXPECT_EQ(VT_I2, V_VT(verified.get()));
  EXPECT_EQ(1, V_I2(verified.get()));
  VariantClear(&smtp);

  Variant is_error;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"IsError", kGet, is_error.get()));
  EXPECT_EQ(0, V_I2(is_error.get()));
}

// The host names pages pass arrive as UTF-16 and go on in their ASCII form, as the
// domain name does (mail.bücher.example is the test bed's SMTP host).
TEST_F(DispatchTest, InternationalHostNamesByName) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IDispatch> lookup = Create<IDispatch>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  VARIANT host = Text(L"mail.b\u00fccher.example");
  Variant address, verified;
  ASSERT_EQ(S_OK, Call(lookup.get(), L"DNSLookup", DISPATCH_METHOD, address.get(), &host));
  ASSERT_EQ(VT_BSTR, V_VT(address.get()));
  EXPECT_EQ(testbed::SmtpServer(), Narrow(V_BSTR(address.get())));
  ASSERT_EQ(S_OK, Call(lookup.get(), L"VerifySMTP", DISPATCH_METHOD, verified.get(), &host));
  EXPECT_EQ(1, V_I2(verified.get()));
  VariantClear(&host);
}

TEST_F(DispatchTest, ListAndEntriesByName) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> typed = ListFor("com-list.test");
  ASSERT_TRUE(typed);
  Ptr<IDispatch> list = typed.As<IDispatch>();
  typed.reset();

  for (WORD flags : {kGet, kBare}) {
    Variant count;
    ASSERT_EQ(S_OK, Call(list.get(), L"Count", flags, count.get())) << flags;
    EXPECT_EQ(VT_I4, V_VT(count.get()));
    EXPECT_EQ(4, V_I4(count.get()));

    VARIANT index = Long(2);
    Variant item;
    ASSERT_EQ(S_OK, Call(list.get(), L"Item", flags, item.get(), &index)) << flags;
    ASSERT_EQ(VT_DISPATCH, V_VT(item.get()));
    Variant mx, preference;
    ASSERT_EQ(S_OK, Call(V_DISPATCH(item.get()), L"MX", flags, mx.get()));
    ASSERT_EQ(S_OK, Call(V_DISPATCH(item.get()), L"Preference", flags, preference.get()));
    EXPECT_EQ("bravo.com-list.test", Narrow(V_BSTR(mx.get())));
    EXPECT_EQ("10", Narrow(V_BSTR(preference.get())));

    // The enumerator a For Each loop asks for, by its DISPID.
    Variant enumerator;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(S_OK, list->Invoke(DISPID_NEWENUM, IID_NULL, 0, flags, &none, enumerator.get(),
                                 nullptr, nullptr));
    ASSERT_EQ(VT_UNKNOWN, V_VT(enumerator.get()));
    Ptr<IEnumVARIANT> walk;
    ASSERT_EQ(S_OK, V_UNKNOWN(enumerator.get())->QueryInterface(IID_IEnumVARIANT, walk.put_void()));
    VARIANT all[5];
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, walk->Next(5, all, &fetched));
    EXPECT_EQ(4u, fetched);
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&all[i]);
  }

  // An index outside the list is the script error a page sees.
  VARIANT index = Long(5);
  Variant item;
  EXCEPINFO exception = {};
  HRESULT hr = Call(list.get(), L"Item", kGet, item.get(), &index, &exception);
  EXPECT_TRUE(FAILED(hr));
  if (hr == DISP_E_EXCEPTION) {
    EXPECT_EQ(E_INVALIDARG, exception.scode);
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

// The type library file the build embeds in the DLL.
class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string path = KESTRA_TLB_PATH;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    if (!path.empty() && path[0] == '\\') path = "Z:" + path;
    ASSERT_EQ(S_OK, LoadTypeLibEx(Wide(path).c_str(), REGKIND_NONE, lib_.put()));
  }

  // The vtable half of a dual interface.
  Ptr<ITypeInfo> Interface(const IID& iid) {
    Ptr<ITypeInfo> dispatch, vtable;
    EXPECT_EQ(S_OK, lib_->GetTypeInfoOfGuid(iid, dispatch.put()));
    if (!dispatch) return vtable;
    HREFTYPE ref = 0;
    EXPECT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &ref));
    EXPECT_EQ(S_OK, dispatch->GetRefTypeInfo(ref, vtable.put()));
    return vtable;
  }

  Ptr<ITypeLib> lib_;
};

std::string Doc(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr, doc = nullptr;
  info->GetDocumentation(id, &name, &doc, nullptr, nullptr);
  std::string out = Narrow(doc);
  SysFreeString(name);
  SysFreeString(doc);
  return out;
}

TEST_F(TypeLibraryTest, LibraryAndClasses) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib_->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(LIBID_KestraLib, attr->guid));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(0u, attr->lcid);
  lib_->ReleaseTLibAttr(attr);
  BSTR doc = nullptr;
  ASSERT_EQ(S_OK, lib_->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr));
  EXPECT_EQ("Kestra 1.0 Type Library", Narrow(doc));
  SysFreeString(doc);

  const struct {
    const CLSID* clsid;
    const char* help;
    const IID* iid;
    const char* iid_help;
  } classes[] = {
      {&CLSID_Lookup, "Lookup Class", &IID_ILookup, "ILookup Interface"},
      {&CLSID_List, "List Class", &IID_IList, "IList Interface"},
      {&CLSID_ListEntries, "ListEntries Class", &IID_IListEntries, "IListEntries Interface"},
  };
  for (const auto& c : classes) {
    Ptr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(*c.clsid, coclass.put()));
    EXPECT_EQ(c.help, Doc(coclass.get(), MEMBERID_NIL));
    TYPEATTR* type = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&type));
    EXPECT_EQ(TKIND_COCLASS, type->typekind);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(1, type->cImplTypes);
    coclass->ReleaseTypeAttr(type);
    INT flags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
    Ptr<ITypeInfo> iface;
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, iface.put()));
    ASSERT_EQ(S_OK, iface->GetTypeAttr(&type));
    EXPECT_TRUE(IsEqualGUID(*c.iid, type->guid));
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FDUAL);
    iface->ReleaseTypeAttr(type);
    EXPECT_EQ(c.iid_help, Doc(iface.get(), MEMBERID_NIL));
    // The vtable half is marked for OLE Automation and derives from IDispatch.
    Ptr<ITypeInfo> vtable = Interface(*c.iid);
    ASSERT_TRUE(vtable);
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&type));
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(1, type->cImplTypes);
    vtable->ReleaseTypeAttr(type);
    ASSERT_EQ(S_OK, vtable->GetRefTypeOfImplType(0, &ref));
    Ptr<ITypeInfo> base;
    ASSERT_EQ(S_OK, vtable->GetRefTypeInfo(ref, base.put()));
    ASSERT_EQ(S_OK, base->GetTypeAttr(&type));
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, type->guid));
    base->ReleaseTypeAttr(type);
  }
}

struct Member {
  MEMBERID id;
  INVOKEKIND kind;
  const char* name;
  std::vector<VARTYPE> params;  // the [out, retval] parameter last, as a pointer type
  std::vector<std::string> param_names;
  const char* help;
};

void CheckMembers(ITypeInfo* info, const std::vector<Member>& expected) {
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  ASSERT_EQ(TKIND_INTERFACE, attr->typekind);
  ASSERT_EQ(expected.size(), static_cast<size_t>(attr->cFuncs));
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < expected.size(); ++i) {
    const Member& m = expected[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
    EXPECT_EQ(m.id, f->memid) << m.name;
    EXPECT_EQ(m.kind, f->invkind) << m.name;
    // The members follow IUnknown's three and IDispatch's four slots, in order.
    EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), f->oVft) << m.name;
    EXPECT_EQ(VT_HRESULT, f->elemdescFunc.tdesc.vt) << m.name;
    ASSERT_EQ(m.params.size(), static_cast<size_t>(f->cParams)) << m.name;
    for (SHORT p = 0; p < f->cParams; ++p) {
      const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
      VARTYPE vt = t.vt == VT_PTR ? static_cast<VARTYPE>(VT_BYREF | t.lptdesc->vt) : t.vt;
      EXPECT_EQ(m.params[p], vt) << m.name << " parameter " << p;
    }
    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, info->GetNames(f->memid, names, 4, &count));
    std::vector<std::string> got;
    for (UINT n = 0; n < count; ++n) {
      got.push_back(Narrow(names[n]));
      SysFreeString(names[n]);
    }
    std::vector<std::string> want = {m.name};
    want.insert(want.end(), m.param_names.begin(), m.param_names.end());
    EXPECT_EQ(want, got);
    EXPECT_EQ(m.help, Doc(info, f->memid)) << m.name;
    info->ReleaseFuncDesc(f);
  }
}

TEST_F(TypeLibraryTest, ILookupMembers) {
  Ptr<ITypeInfo> info = Interface(IID_ILookup);
  ASSERT_TRUE(info);
  constexpr VARTYPE kOutShort = VT_BYREF | VT_I2;
  constexpr VARTYPE kOutBstr = VT_BYREF | VT_BSTR;
  // A property put's value has no name; DISPIDs 7 and 8 are not used.
  CheckMembers(
      info.get(),
      {
          {1, INVOKE_PROPERTYGET, "MXRecords", {kOutShort}, {"pVal"}, "property MXRecords"},
          {2, INVOKE_PROPERTYPUT, "DNSServer", {VT_BSTR}, {}, "property DNSServer"},
          {3, INVOKE_PROPERTYPUT, "DomainName", {VT_BSTR}, {}, "property DomainName"},
          {4, INVOKE_PROPERTYPUT, "Timeout", {VT_INT}, {}, "property Timeout"},
          {5, INVOKE_PROPERTYGET, "IsError", {kOutShort}, {"pVal"}, "property IsError"},
          {6, INVOKE_PROPERTYGET, "ErrorReason", {kOutBstr}, {"pVal"}, "property ErrorReason"},
          {9, INVOKE_FUNC, "GetMXRecord", {VT_BYREF | VT_VARIANT}, {"pVal"}, "method GetMXRecord"},
          {10,
           INVOKE_FUNC,
           "DNSLookup",
           {VT_BSTR, kOutBstr},
           {"HostName", "pVal"},
           "method DNSLookup"},
          {11,
           INVOKE_FUNC,
           "ReverseDNSLookup",
           {VT_BSTR, kOutBstr},
           {"IP", "pVal"},
           "method ReverseDNSLookup"},
          {12,
           INVOKE_FUNC,
           "VerifySMTP",
           {VT_BSTR, kOutShort},
           {"SMTPServer", "pVal"},
           "method VerifySMTP"},
      });
}

TEST_F(TypeLibraryTest, IListAndIListEntriesMembers) {
  Ptr<ITypeInfo> list = Interface(IID_IList);
  ASSERT_TRUE(list);
  CheckMembers(list.get(),
               {
                   {DISPID_NEWENUM,
                    INVOKE_PROPERTYGET,
                    "_NewEnum",
                    {VT_BYREF | VT_UNKNOWN},
                    {"pVal"},
                    "property _NewEnum"},
                   {2, INVOKE_PROPERTYGET, "Count", {VT_BYREF | VT_I4}, {"pVal"}, "property Count"},
                   {DISPID_VALUE,
                    INVOKE_PROPERTYGET,
                    "Item",
                    {VT_I4, VT_BYREF | VT_VARIANT},
                    {"index", "pVal"},
                    "property Item"},
               });
  Ptr<ITypeInfo> entries = Interface(IID_IListEntries);
  ASSERT_TRUE(entries);
  CheckMembers(entries.get(),
               {
                   {1, INVOKE_PROPERTYGET, "MX", {VT_BYREF | VT_BSTR}, {"pVal"}, "property MX"},
                   {2,
                    INVOKE_PROPERTYGET,
                    "Preference",
                    {VT_BYREF | VT_BSTR},
                    {"pVal"},
                    "property Preference"},
               });
}

}  // namespace
}  // namespace comtest
