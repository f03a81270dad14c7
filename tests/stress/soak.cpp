// soak CYCLES [DNS SMTP]: runs CYCLES page cycles through the registered library on
// one single-threaded apartment and checks that nothing grows: private bytes and
// handles after the last cycle against the mark at a tenth of the run (the heap and
// the library's caches have settled by then), and DllCanUnloadNow once every object
// is gone. Prints soak-growth, soak-handles, soak-failures and soak-unload; exits 1 on
// any failed check, growth over 1.02, more handles or an unload answer other than S_OK.
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "page.h"

namespace {

constexpr double kMaxGrowth = 1.02;
constexpr long kMaxCycles = 10'000'000;

struct Usage {
  SIZE_T privateBytes = 0;
  long handles = 0;
};

// Wine answers GetProcessHandleCount with 0; the system's handle table, filtered by
// our process id, counts the same handles there and on Windows.
struct HandleEntry {
  ULONG ownerPid;
  BYTE type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

long CountHandlesInTable() {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<char> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    LONG status =
        query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 4);
      continue;
    }
    if (status < 0) return -1;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < table->count; ++i)
      if (table->entries[i].ownerPid == GetCurrentProcessId()) ++count;
    return count;
  }
  return -1;
}

Usage Measure() {
  Usage usage;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
    // Wine leaves PrivateUsage at 0 and fills PagefileUsage, the commit charge, which
    // is the same private memory on Windows.
    usage.privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0)
    usage.handles = static_cast<long>(handles);
  else
    usage.handles = CountHandlesInTable();
  return usage;
}

}  // namespace

int main(int argc, char** argv) {
  long cycles = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (cycles < 10 || cycles > kMaxCycles) {
    std::printf("usage: soak CYCLES [DNS SMTP]   (10 <= CYCLES <= %ld)\n", kMaxCycles);
    return 2;
  }
  stress::Bed bed;
  int exitCode = 0;
  if (!stress::ReadBed(argc, argv, 2, &bed, &exitCode)) return exitCode;

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::printf("FAILED: CoInitializeEx\n");
    return 1;
  }
  stress::Tally tally("soak");
  const long mark = cycles / 10;
  Usage atMark, atEnd;
  auto start = std::chrono::steady_clock::now();
  for (long cycle = 1; cycle <= cycles; ++cycle) {
    CLSID clsid;
    if (!stress::FindClass(&clsid, &tally)) break;
    stress::RunPage(clsid, bed, cycle % 100 == 0, &tally);
    if (cycle == mark) atMark = Measure();
  }
  atEnd = Measure();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // A living object must hold the library; without this a library that always says
  // S_OK would pass the check below.
  HRESULT whileHeld = E_FAIL;
  {
    CLSID clsid;
    stress::Ref<IDispatch> held;
    if (stress::FindClass(&clsid, &tally) &&
        SUCCEEDED(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, held.put_void())))
      whileHeld = stress::AskCanUnloadNow();
  }
  HRESULT unload = stress::AskCanUnloadNow();

  double growth = atMark.privateBytes ? static_cast<double>(atEnd.privateBytes) /
                                            static_cast<double>(atMark.privateBytes)
                                      : 0.0;
  std::printf("soak-cycles: %ld in %.1f s (%.0f cycles/s, %.0f lookups/s)\n", cycles, seconds,
              cycles / seconds, tally.Calls() / seconds);
  std::printf("soak-private: %zu -> %zu bytes (cycle %ld -> %ld)\n",
              static_cast<size_t>(atMark.privateBytes), static_cast<size_t>(atEnd.privateBytes),
              mark, cycles);
  std::printf("soak-growth: %.4f\n", growth);
  std::printf("soak-handles: %ld -> %ld\n", atMark.handles, atEnd.handles);
  std::printf("soak-failures: %ld\n", tally.Failures());
  std::printf("soak-unload-while-held: %s\n", stress::DescribeUnload(whileHeld).c_str());
  std::printf("soak-unload: %s\n", stress::DescribeUnload(unload).c_str());
  CoUninitialize();

  bool ok = tally.Failures() == 0 && growth > 0.0 && growth <= kMaxGrowth && atMark.handles > 0 &&
            atEnd.handles <= atMark.handles && whileHeld == S_FALSE && unload == S_OK;
  std::printf("soak: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
