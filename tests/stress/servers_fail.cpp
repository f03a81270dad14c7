// The calling side of the failing-server runs (tests/stress/servers-fail starts the
// servers and makes them fail). Every call is a page of its own: create the object by
// its ProgID, set the properties, make one call, read IsError and ErrorReason, release.
//
//   servers_fail dns SERVER TIMEOUT SECONDS PAUSE_MS
//       MXRecords and GetMXRecord by turns against SERVER for SECONDS seconds, PAUSE_MS
//       between calls.
//   servers_fail smtp HOST COUNT
//       COUNT calls of VerifySMTP(HOST), one after the other.
//
// One line per call, with wall-clock times (milliseconds since 1970) that the harness
// lines up with the moments it broke and mended its servers:
//   call METHOD START_MS END_MS RESULT ISERROR REASON
// RESULT is the count (MXRecords, the list's Count for GetMXRecord, -1 without a list)
// or VerifySMTP's answer. Ends with "done CALLS"; exits 1 when a call itself failed
// (an HRESULT, not a lookup failure: those are the harness's to judge).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "page.h"

namespace {

constexpr const wchar_t* kDomain = L"mail.scripts.test";
constexpr long kMaxSeconds = 3600;
constexpr long kMaxCount = 100'000;
constexpr long kMaxPauseMs = 10'000;
// Besides the clock, a bound on the calls of one dns run.
constexpr long kMaxDnsCalls = 1'000'000;

long long NowMs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  // 100 ns units since 1601 to milliseconds since 1970.
  return static_cast<long long>(ticks.QuadPart / 10'000 - 11'644'473'600'000ULL);
}

std::string Text(const VARIANT& v) {
  if (v.vt != VT_BSTR || !v.bstrVal) return "";
  std::string out;
  for (const wchar_t* p = v.bstrVal; *p; ++p) out += *p < 0x80 ? static_cast<char>(*p) : '?';
  return out;
}

long Number(VARIANT* v) {
  stress::Variant number;
  if (FAILED(VariantChangeType(&number.value, v, 0, VT_I4))) return -2;
  return number.value.lVal;
}

// One page with one call; false when COM itself failed.
bool CallOnce(const CLSID& clsid, const std::wstring& method, const std::wstring& target,
              long timeout, stress::Tally* tally) {
  const long long start = NowMs();
  stress::Ref<IDispatch> object;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr) || !object) {
    tally->Fail("CoCreateInstance");
    return false;
  }
  IDispatch* o = object.get();
  long result = -1;
  tally->Call();
  if (method == L"VerifySMTP") {
    stress::Variant host(target), answer;
    hr = stress::Invoke(o, L"VerifySMTP", stress::kGet, {&host.value}, &answer.value);
    if (SUCCEEDED(hr)) result = Number(&answer.value);
  } else {
    stress::Variant domain(kDomain), server(target), seconds(timeout), answer;
    if (!stress::Put(o, L"DomainName", &domain, tally) ||
        !stress::Put(o, L"DNSServer", &server, tally) ||
        !stress::Put(o, L"Timeout", &seconds, tally))
      return false;
    hr = stress::Invoke(o, method.c_str(), stress::kGet, {}, &answer.value);
    if (SUCCEEDED(hr) && method == L"MXRecords") {
      result = Number(&answer.value);
    } else if (SUCCEEDED(hr) && answer.value.vt == VT_DISPATCH && answer.value.pdispVal) {
      stress::Variant count;
      if (SUCCEEDED(
              stress::Invoke(answer.value.pdispVal, L"Count", stress::kGet, {}, &count.value)))
        result = Number(&count.value);
    }
  }
  if (FAILED(hr)) {
    tally->Fail("a call raised an error");
    return false;
  }
  stress::Variant isError, reason;
  if (FAILED(stress::Invoke(o, L"IsError", stress::kGet, {}, &isError.value)) ||
      FAILED(stress::Invoke(o, L"ErrorReason", stress::kGet, {}, &reason.value))) {
    tally->Fail("IsError or ErrorReason");
    return false;
  }
  const long long end = NowMs();
  std::printf("call %ls %lld %lld %ld %ld %s\n", method.c_str(), start, end, result,
              Number(&isError.value), Text(reason.value).c_str());
  std::fflush(stdout);
  return true;
}

int Usage() {
  std::printf(
      "usage: servers_fail dns SERVER TIMEOUT SECONDS PAUSE_MS | servers_fail smtp HOST COUNT\n");
  return 2;
}

std::wstring Wide(const char* text) {
  std::string narrow(text);
  return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool dns = mode == "dns" && argc == 6;
  const bool smtp = mode == "smtp" && argc == 4;
  if (!dns && !smtp) return Usage();
  // Nothing these runs send may leave the machine's loopback network.
  if (std::string(argv[2]).rfind("127.", 0) != 0) {
    std::printf("only loopback servers (127.0.0.0/8), not %s\n", argv[2]);
    return 2;
  }
  const long timeout = dns ? std::strtol(argv[3], nullptr, 10) : 0;
  const long seconds = dns ? std::strtol(argv[4], nullptr, 10) : 0;
  const long pauseMs = dns ? std::strtol(argv[5], nullptr, 10) : 0;
  const long count = smtp ? std::strtol(argv[3], nullptr, 10) : 0;
  if (dns && (timeout < 1 || timeout > 60 || seconds < 1 || seconds > kMaxSeconds || pauseMs < 0 ||
              pauseMs > kMaxPauseMs))
    return Usage();
  if (smtp && (count < 1 || count > kMaxCount)) return Usage();

  stress::Tally tally("servers_fail");
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::printf("CoInitializeEx failed\n");
    return 1;
  }
  CLSID clsid;
  bool ok = stress::FindClass(&clsid, &tally);
  const std::wstring target = Wide(argv[2]);
  if (ok && smtp) {
    for (long i = 0; i < count; ++i) ok = CallOnce(clsid, L"VerifySMTP", target, 0, &tally) && ok;
  } else if (ok) {
    const long long end = NowMs() + seconds * 1000LL;
    for (long i = 0; i < kMaxDnsCalls && NowMs() < end; ++i) {
      ok = CallOnce(clsid, i % 2 ? L"GetMXRecord" : L"MXRecords", target, timeout, &tally) && ok;
      if (pauseMs > 0) Sleep(static_cast<DWORD>(pauseMs));
    }
  }
  std::printf("done %ld\n", tally.Calls());
  std::fflush(stdout);
  CoUninitialize();
  return ok && tally.Failures() == 0 ? 0 : 1;
}
