// The cost of one lookup through a page script against the same lookup called in
// process: ROUNDS rounds of COUNT MXRecords calls, each round once straight on CLookup
// from this program and once from a VBScript loop (script_call.vbs) through the
// registered Kestra.dll, both against the same DNS server. The two kinds of round
// alternate, in turn first and second, so that a change of load on the machine falls on
// both alike. Prints the medians per call, the spread of the rounds' ratios, and
//   script-call-vs-direct: RATIO
// the median over the rounds of (per-call time through the script) / (per-call time
// direct).
//   bench_script_call DNS-SERVER DOMAIN SCRIPT-FOLDER [COUNT [ROUNDS]]
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lookup/lookup.h"

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Microseconds per call of one round, calling CLookup directly.
bool RunDirect(lookup::CLookup& lookup, int count, double* per_call) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::int16_t n = 0;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) n = lookup.MXRecords().value_or(0);
  QueryPerformanceCounter(&end);
  if (lookup.GetIsError() != 0 || n < 1) {
    std::fprintf(stderr, "direct MXRecords failed: %s\n", lookup.GetErrorReason().c_str());
    return false;
  }
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  *per_call = seconds * 1e6 / count;
  return true;
}

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Ends a script still running after ten minutes, which also ends the reads of its output.
DWORD WINAPI Watchdog(void* process) {
  if (WaitForSingleObject(process, 600000) == WAIT_TIMEOUT) TerminateProcess(process, 1);
  return 0;
}

// Microseconds per call of one round, from the VBScript loop under cscript. The script
// writes "start" and "end" around its loop; each line is timed here as it arrives, on
// the clock that times the direct rounds. The pipe costs the same on both lines, so it
// drops out of the difference; the start-up of cscript and the warm-up call are outside.
bool RunScript(const std::string& server, const std::string& domain, const std::string& folder,
               int count, double* per_call) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::string command =
      "cscript.exe //nologo script_call.vbs " + server + " " + domain + " " + std::to_string(count);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    std::fprintf(stderr, "cannot start cscript (%lu)\n", GetLastError());
    CloseHandle(read_end);
    return false;
  }
  HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, process.hProcess, 0, nullptr);

  // Lines as they come, until "ok", a failure, or the end of the output; a bounded
  // number of reads, each ended by the watchdog at the latest.
  double loop_start = -1, loop_end = -1;
  bool ok = false, failed = false;
  std::string pending, output;
  char buffer[512];
  for (int reads = 0; reads < 10000 && !ok && !failed; ++reads) {
    DWORD got = 0;
    if (!ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    const double now = Now();
    pending.append(buffer, got);
    std::size_t newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      output += line + "\n";
      if (line == "start") {
        loop_start = now;
      } else if (line == "end") {
        loop_end = now;
      } else if (line == "ok") {
        ok = true;
      } else {
        failed = true;
      }
    }
  }
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, 600000);
  if (watchdog) {
    WaitForSingleObject(watchdog, INFINITE);  // it waits on the process, bounded above
    CloseHandle(watchdog);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Both lines in one read would mean this program did not run while the loop did.
  if (!ok || loop_start < 0 || loop_end <= loop_start) {
    std::fprintf(stderr, "the script loop was not timed; its output:\n%s%s\n", output.c_str(),
                 pending.c_str());
    return false;
  }
  *per_call = (loop_end - loop_start) * 1e6 / count;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: bench_script_call DNS-SERVER DOMAIN SCRIPT-FOLDER [COUNT [ROUNDS]]\n");
    return 2;
  }
  const std::string server = argv[1];
  const std::string domain = argv[2];
  const std::string folder = argv[3];
  const int count = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1000;
  const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 11;

  lookup::CLookup lookup;
  lookup.PutDNSServer(server);
  lookup.PutDomainName(domain);
  lookup.PutTimeout(5);
  (void)lookup.MXRecords();  // warm-up: socket start, first query

  // Round 0 of each kind is a warm-up (files into the page cache, Wine's helpers of the
  // first cscript started) and is not counted.
  std::vector<double> direct, script, ratio;
  for (int r = 0; r <= rounds; ++r) {
    double d = 0, s = 0;
    // Which kind runs first alternates: the one after the pause below starts on a
    // machine that has been idle, the other right after its partner.
    const bool direct_first = r % 2 == 0;
    if (direct_first && !RunDirect(lookup, count, &d)) return 1;
    if (!RunScript(server, domain, folder, count, &s)) return 1;
    if (!direct_first && !RunDirect(lookup, count, &d)) return 1;
    // Wine's helper processes of the finished cscript (its desktop, the server) stay
    // busy for a moment; the next round must not run in their shadow.
    Sleep(2000);
    if (r == 0) continue;
    direct.push_back(d);
    script.push_back(s);
    ratio.push_back(s / d);
  }
  const auto [low, high] = std::minmax_element(ratio.begin(), ratio.end());
  std::printf(
      "script-call: %d calls x %d rounds, median per call: direct %.1f us, script %.1f us "
      "(ratio of a round %.2f to %.2f)\n",
      count, rounds, Median(direct), Median(script), *low, *high);
  std::printf("script-call-vs-direct: %.2f\n", Median(ratio));
  return 0;
}
