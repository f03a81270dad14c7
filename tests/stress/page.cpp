#include "page.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>

namespace stress {
namespace {

// The records of tests/zones/scripts.test.zone that a page asks for. The list sorts by
// exchanger name, so preferences run the other way round.
constexpr const wchar_t* kDomain = L"mail.scripts.test";
constexpr struct {
  const wchar_t* mx;
  const wchar_t* preference;
} kExchangers[] = {
    {L"alpha.scripts.test", L"30"},
    {L"bravo.scripts.test", L"20"},
    {L"charlie.scripts.test", L"10"},
};
constexpr const wchar_t* kHost = L"web.scripts.test";
constexpr const wchar_t* kAddress = L"198.51.100.20";
constexpr long kTimeout = 5;
// No list is longer than this; a walk that goes on is a fault, not a wait.
constexpr int kMaxWalk = 16;

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

bool IsText(const Variant& v, const wchar_t* want) {
  return v.value.vt == VT_BSTR && std::wcscmp(v.value.bstrVal ? v.value.bstrVal : L"", want) == 0;
}

std::string Show(const Variant& v) {
  Variant text;
  if (FAILED(VariantChangeType(&text.value, const_cast<VARIANT*>(&v.value), 0, VT_BSTR)))
    return "(vt " + std::to_string(v.value.vt) + ")";
  return "[" + Narrow(text.value.bstrVal) + "]";
}

bool IsNumber(const Variant& v, long want) {
  Variant number;
  return SUCCEEDED(VariantChangeType(&number.value, const_cast<VARIANT*>(&v.value), 0, VT_I4)) &&
         number.value.lVal == want;
}

// A property or a call with text arguments whose result must be the text given.
void ExpectText(IDispatch* object, const wchar_t* name, std::initializer_list<VARIANT*> args,
                const wchar_t* want, Tally* tally) {
  Variant got;
  HRESULT hr = Invoke(object, name, kGet, args, &got.value);
  if (FAILED(hr)) {
    tally->Fail(Narrow(name) + ": " + Hex(hr));
  } else if (!IsText(got, want)) {
    tally->Fail(Narrow(name) + " gave " + Show(got) + ", want [" + Narrow(want) + "]");
  }
}

void ExpectNumber(IDispatch* object, const wchar_t* name, std::initializer_list<VARIANT*> args,
                  long want, Tally* tally) {
  Variant got;
  HRESULT hr = Invoke(object, name, kGet, args, &got.value);
  // The library leaves the last socket error of a failed lookup on the calling thread;
  // it tells a refused or timed-out server from a failure of the socket layer itself.
  const DWORD lastError = GetLastError();
  if (FAILED(hr)) {
    tally->Fail(Narrow(name) + ": " + Hex(hr));
  } else if (!IsNumber(got, want)) {
    tally->Fail(Narrow(name) + " gave " + Show(got) + ", want " + std::to_string(want) +
                " (last error " + std::to_string(lastError) + ")");
  }
}

void ExpectNoError(IDispatch* object, const char* after, Tally* tally) {
  Variant isError;
  HRESULT hr = Invoke(object, L"IsError", kGet, {}, &isError.value);
  if (FAILED(hr) || !IsNumber(isError, 0)) {
    Variant reason;
    Invoke(object, L"ErrorReason", kGet, {}, &reason.value);
    tally->Fail(std::string("IsError after ") + after + ": " + Show(isError) + " " + Show(reason));
  }
}

// For Each over the list: _NewEnum, then IEnumVARIANT::Next until S_FALSE.
void WalkList(IDispatch* list, Tally* tally) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Variant enumerable;
  HRESULT hr = list->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT, kGet, &none,
                            &enumerable.value, nullptr, nullptr);
  if (FAILED(hr) || (enumerable.value.vt != VT_UNKNOWN && enumerable.value.vt != VT_DISPATCH) ||
      !enumerable.value.punkVal) {
    tally->Fail("_NewEnum: " + Hex(hr));
    return;
  }
  Ref<IEnumVARIANT> items;
  hr = enumerable.value.punkVal->QueryInterface(IID_IEnumVARIANT, items.put_void());
  if (FAILED(hr)) {
    tally->Fail("_NewEnum gave no IEnumVARIANT: " + Hex(hr));
    return;
  }
  int count = 0;
  for (; count < kMaxWalk; ++count) {
    Variant item;
    ULONG fetched = 0;
    hr = items->Next(1, &item.value, &fetched);
    if (hr == S_FALSE && fetched == 0) break;
    if (hr != S_OK || fetched != 1 || item.value.vt != VT_DISPATCH || !item.value.pdispVal) {
      tally->Fail("IEnumVARIANT::Next at " + std::to_string(count) + ": " + Hex(hr));
      return;
    }
    if (count < static_cast<int>(std::size(kExchangers))) {
      ExpectText(item.value.pdispVal, L"MX", {}, kExchangers[count].mx, tally);
      ExpectText(item.value.pdispVal, L"Preference", {}, kExchangers[count].preference, tally);
    }
  }
  if (count != static_cast<int>(std::size(kExchangers)))
    tally->Fail("the walk met " + std::to_string(count) + " exchangers, want 3");
}

}  // namespace

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags,
               std::initializer_list<VARIANT*> args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // IDispatch takes the arguments last one first.
  VARIANT reversed[4];
  UINT count = 0;
  for (auto it = std::rbegin(args); it != std::rend(args) && count < 4; ++it)
    reversed[count++] = **it;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed, nullptr, count, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        nullptr);
}

bool Put(IDispatch* object, const wchar_t* name, Variant* value, Tally* tally) {
  HRESULT hr = Invoke(object, name, DISPATCH_PROPERTYPUT, {&value->value}, nullptr);
  if (FAILED(hr)) tally->Fail("put " + Narrow(name) + ": " + Hex(hr));
  return SUCCEEDED(hr);
}

Variant::Variant(const std::wstring& text) {
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

Variant::Variant(long number) {
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
}

void Tally::Fail(const std::string& what) {
  if (++m_nFailures <= 20) std::printf("FAILED (%s): %s\n", m_strWho.c_str(), what.c_str());
  if (m_nFailures == 20)
    std::printf("(%s: further failures are counted, not shown)\n", m_strWho.c_str());
  std::fflush(stdout);
}

bool FindClass(CLSID* clsid, Tally* tally) {
  HRESULT hr = CLSIDFromProgID(L"Brevan.MX", clsid);
  if (FAILED(hr))
    tally->Fail("CLSIDFromProgID(Brevan.MX): " + Hex(hr) + " (is the DLL registered?)");
  return SUCCEEDED(hr);
}

void RunPage(const CLSID& clsid, const Bed& bed, bool verifySmtp, Tally* tally) {
  Ref<IDispatch> object;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr) || !object) {
    tally->Fail("CoCreateInstance: " + Hex(hr));
    return;
  }
  IDispatch* o = object.get();
  Variant domain(kDomain), server(bed.dns), timeout(kTimeout);
  if (!Put(o, L"DomainName", &domain, tally) || !Put(o, L"DNSServer", &server, tally) ||
      !Put(o, L"Timeout", &timeout, tally))
    return;

  {
    tally->Call();
    Variant list;
    hr = Invoke(o, L"GetMXRecord", kGet, {}, &list.value);
    if (FAILED(hr) || list.value.vt != VT_DISPATCH || !list.value.pdispVal) {
      tally->Fail("GetMXRecord: " + Hex(hr) + " " + Show(list));
    } else {
      ExpectNoError(o, "GetMXRecord", tally);
      ExpectNumber(list.value.pdispVal, L"Count", {}, 3, tally);
      WalkList(list.value.pdispVal, tally);
    }
  }

  tally->Call();
  ExpectNumber(o, L"MXRecords", {}, 3, tally);
  ExpectNoError(o, "MXRecords", tally);

  Variant host(kHost), address(kAddress);
  tally->Call();
  ExpectText(o, L"DNSLookup", {&host.value}, kAddress, tally);
  ExpectNoError(o, "DNSLookup", tally);
  tally->Call();
  ExpectText(o, L"ReverseDNSLookup", {&address.value}, kHost, tally);
  ExpectNoError(o, "ReverseDNSLookup", tally);

  if (verifySmtp) {
    Variant smtp(bed.smtp);
    tally->Call();
    ExpectNumber(o, L"VerifySMTP", {&smtp.value}, 1, tally);
  }
}

HRESULT AskCanUnloadNow() {
  HMODULE dll = GetModuleHandleW(L"Kestra.dll");
  if (!dll) return E_UNEXPECTED;
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  // Through void(*)(): the one cast between function types GCC accepts silently.
  auto ask = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void (*)()>(GetProcAddress(dll, "DllCanUnloadNow")));
  return ask ? ask() : E_NOINTERFACE;
}

std::string DescribeUnload(HRESULT hr) {
  if (hr == S_OK) return "S_OK";
  if (hr == S_FALSE) return "S_FALSE";
  if (hr == E_UNEXPECTED) return "Kestra.dll not loaded";
  if (hr == E_NOINTERFACE) return "no DllCanUnloadNow export";
  return Hex(hr);
}

bool ReadBed(int argc, char** argv, int first, Bed* bed, int* exitCode) {
  const char* testbed = std::getenv("KESTRA_TESTBED");
  if (!testbed || std::string(testbed) != "1") {
    const char* require = std::getenv("KESTRA_REQUIRE_TESTBED");
    if (require && std::string(require) == "1") {
      std::printf("the loopback test bed is not running\n");
      *exitCode = 1;
    } else {
      std::printf("needs the loopback test bed (run through scripts/test)\n");
      *exitCode = 0;
    }
    return false;
  }
  const char* dnsEnv = std::getenv("KESTRA_TEST_DNS");
  const char* smtpEnv = std::getenv("KESTRA_TEST_SMTP");
  std::string dns = argc > first ? argv[first] : dnsEnv ? dnsEnv : "127.0.0.2";
  std::string smtp = argc > first + 1 ? argv[first + 1] : smtpEnv ? smtpEnv : "127.0.0.4";
  // Nothing a stress run sends may leave the machine's loopback network.
  for (const std::string* address : {&dns, &smtp}) {
    if (address->rfind("127.", 0) != 0) {
      std::printf("only loopback servers (127.0.0.0/8), not %s\n", address->c_str());
      *exitCode = 2;
      return false;
    }
  }
  bed->dns.assign(dns.begin(), dns.end());
  bed->smtp.assign(smtp.begin(), smtp.end());
  return true;
}

}  // namespace stress
