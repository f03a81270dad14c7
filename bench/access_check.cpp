// The hosting access check a configured server runs before every lookup, measured on
// its own: LocateConfigFiles and Decide, as the lookup's frame calls them, with a
// configuration that allows the caller (step 9, the longest way through the steps).
// Prints the median over ROUNDS rounds of COUNT checks, per check:
//   access-check-native: N us per check      (POSIX: the portable implementation)
//   access-check-wine: N us per check        (the Windows build, under Wine)
// Natively the figure is the thread's CPU time, the part that is ours whatever else
// the machine runs (the wall time is printed beside it); under Wine it is the wall
// time, since the wineserver does much of the work in a process of its own.
// Natively it also counts, for one check, how often each configuration file is opened
// and the registry store (the key) is read, and fails when any is read more often than
// the steps need: Admin.ini once, WebSite.ini once, the key twice (the installation
// folder, then the switch). The Windows build writes the key into the registry of the
// prefix it runs in and refuses to run when the key is there already.
//   access_check [COUNT [ROUNDS]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/access_policy.h"
#include "access/caller_source.h"
#include "platform/registry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kKey = "SOFTWARE\\Halverd\\Tarnwick";
constexpr const char* kCaller = "C:\\sites\\one\\page.asp";

void Write(const std::string& path, const char* text) {
  std::ofstream(path, std::ios::binary) << text;
}

#ifndef _WIN32
std::map<std::string, int> g_opens;
bool g_counting = false;
#endif

}  // namespace

#ifndef _WIN32
// Every file the check opens goes through the C library's fopen (platform/files.h):
// counted here on the way through.
extern "C" FILE* fopen(const char* __restrict path, const char* __restrict mode) {
  using Fopen = FILE* (*)(const char*, const char*);
  static const Fopen real = reinterpret_cast<Fopen>(dlsym(RTLD_NEXT, "fopen"));
  if (g_counting && path != nullptr) ++g_opens[path];
  return real(path, mode);
}
#endif

namespace {

struct Setup {
  std::string folder;
  std::string registry_file;  // POSIX: the store
  bool ok = false;
};

Setup Configure() {
  Setup s;
#ifdef _WIN32
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  s.folder = std::string(temp) + "kestra-access-bench";
  CreateDirectoryA(s.folder.c_str(), nullptr);
  auto registry = platform::OpenSystemRegistry();
  if (registry->OpenKey(platform::RegRoot::kLocalMachine, kKey, platform::RegView::kOwn)) {
    std::fprintf(stderr, "access_check: the access key is configured already; not touching it\n");
    return s;
  }
  if (!registry->CreateKey(platform::RegRoot::kLocalMachine, kKey) ||
      !registry->SetValue(platform::RegRoot::kLocalMachine, kKey, "InstallationPath",
                          platform::RegValue::String(s.folder)) ||
      !registry->SetValue(platform::RegRoot::kLocalMachine, kKey, "EnableGatehouse",
                          platform::RegValue::Dword(1))) {
    std::fprintf(stderr, "access_check: cannot write the access key\n");
    return s;
  }
  const std::string sep = "\\";
#else
  char pattern[] = "/tmp/kestra-access-bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return s;
  s.folder = pattern;
  s.registry_file = s.folder + "/registry.reg";
  Write(s.registry_file, ("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick]\n"
                          "\"InstallationPath\"=\"" +
                          s.folder +
                          "\"\n"
                          "\"EnableGatehouse\"=dword:00000001\n")
                             .c_str());
  setenv("KESTRA_REGISTRY_FILE", s.registry_file.c_str(), 1);
  const std::string sep = "/";
#endif
  Write(s.folder + sep + "Admin.ini",
        "[Settings]\r\nInstalled=Other, Brevan\r\nApplied=Brevan\r\n");
  Write(s.folder + sep + "WebSite.ini",
        "[Path]\r\nTwo=C:\\sites\\two\r\nOne=C:\\sites\\one\r\n[Security]\r\nTwo=Brevan\r\n"
        "One=Other, Brevan\r\n[Two]\r\nBrevan=All\r\n[One]\r\nBrevan=Lookup, MXRecords\r\n");
  s.ok = true;
  return s;
}

void Remove(const Setup& s) {
#ifdef _WIN32
  auto registry = platform::OpenSystemRegistry();
  (void)registry->DeleteKey(platform::RegRoot::kLocalMachine, kKey);
  (void)registry->DeleteKey(platform::RegRoot::kLocalMachine, "SOFTWARE\\Halverd");
  DeleteFileA((s.folder + "\\Admin.ini").c_str());
  DeleteFileA((s.folder + "\\WebSite.ini").c_str());
  RemoveDirectoryA(s.folder.c_str());
#else
  for (const char* name : {"/Admin.ini", "/WebSite.ini", "/registry.reg"})
    unlink((s.folder + name).c_str());
  rmdir(s.folder.c_str());
#endif
}

bool Check(hosting::CallerSource* caller) {
  const hosting::ConfigFiles files = hosting::LocateConfigFiles();
  const hosting::Decision decision = hosting::Decide("Brevan", "MXRecords", files, caller);
  return decision.reason == hosting::Reason::kGranted;
}

// Microseconds of this thread's CPU time (POSIX) or of the wall clock (Windows).
double Now() {
#ifdef _WIN32
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) * 1e6 / double(frequency.QuadPart);
#else
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
#endif
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 1000000) : 2000;
  const int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 1000) : 11;
  const Setup setup = Configure();
  if (!setup.ok) return 1;
  hosting::FixedCaller caller{std::string(kCaller)};
  int rc = 0;
  if (!Check(&caller)) {
    std::fprintf(stderr, "access_check: the check did not allow the caller at step 9\n");
    rc = 1;
  }

#ifndef _WIN32
  if (rc == 0) {
    g_opens.clear();
    g_counting = true;
    Check(&caller);
    g_counting = false;
    const int admin = g_opens[setup.folder + "/Admin.ini"];
    const int website = g_opens[setup.folder + "/WebSite.ini"];
    const int key = g_opens[setup.registry_file];
    std::printf(
        "access-check-native: per check, Admin.ini opened %d, WebSite.ini opened %d, "
        "registry key read %d times\n",
        admin, website, key);
    if (admin != 1 || website != 1 || key != 2) {
      std::fprintf(stderr, "access_check: a file or the key is read more often than needed\n");
      rc = 1;
    }
  }
#endif

  // Median microseconds per call of `check`, CPU time natively, and wall time.
  const auto measure = [&](auto check) {
    std::vector<double> per_check, wall_per_check;
    for (int r = 0; r <= rounds && rc == 0; ++r) {
      const auto wall_start = std::chrono::steady_clock::now();
      const double start = Now();
      for (int i = 0; i < count; ++i) check();
      const double took = Now() - start;
      const std::chrono::duration<double, std::micro> wall =
          std::chrono::steady_clock::now() - wall_start;
      if (r == 0) continue;  // round 0 warms the caches
      per_check.push_back(took / count);
      wall_per_check.push_back(wall.count() / count);
    }
    return std::make_pair(Median(per_check), Median(wall_per_check));
  };
  const auto [cpu, wall] = measure([&] { Check(&caller); });
  Remove(setup);
  if (rc != 0) return rc;
  // A default install (no key), through the frame's own objects as a page's call takes
  // them: no account, so nothing of the check is worded or kept.
  hosting::ConfiguredAccess frame_access;
  const auto [default_cpu, default_wall] = measure([&] {
    const hosting::ConfigFiles files = frame_access.LocateConfigFiles(nullptr);
    (void)frame_access.Check("Brevan", "MXRecords", files, nullptr);
  });
  std::printf("access-check-default: %.2f us per check (no key; wall %.2f us)\n", default_cpu,
              default_wall);
#ifdef _WIN32
  std::printf("access-check-wine: %.1f us per check (median of %d rounds of %d)\n", cpu, rounds,
              count);
#else
  std::printf(
      "access-check-native: %.1f us per check (CPU time; wall %.1f us; median of %d "
      "rounds of %d)\n",
      cpu, wall, rounds, count);
#endif
  return 0;
}
