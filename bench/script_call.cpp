// The cost of one lookup through a page script against the same lookup called in
// process: ROUNDS rounds of COUNT MXRecords calls, each round once straight on CLookup
// from this program and once from a VBScript loop (script_call.vbs) through the
// registered Kestra.dll, both against the same DNS server. The two kinds of round
// alternate, so that a change of load on the machine falls on both alike. Prints the
// medians per call and
//   script-call-vs-direct: RATIO
// the median over the rounds of (per-call time through the script) / (per-call time
// direct).
//   bench_script_call DNS-SERVER DOMAIN SCRIPT-FOLDER [COUNT [ROUNDS]]
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
bool RunDirect(CLookup& lookup, int count, double* per_call) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::int16_t n = 0;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) lookup.MXRecords(&n);
  QueryPerformanceCounter(&end);
  if (lookup.GetIsError() != 0 || n < 1) {
    std::fprintf(stderr, "direct MXRecords failed: %s\n", lookup.GetErrorReason().c_str());
    return false;
  }
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  *per_call = seconds * 1e6 / count;
  return true;
}

// Microseconds per call of one round, from the VBScript loop under cscript (its start-up
// is not timed: the script times its own loop).
bool RunScript(const std::string& server, const std::string& domain, const std::string& folder,
               int count, double* per_call) {
  char temp[MAX_PATH];
  if (!GetTempPathA(sizeof temp, temp)) return false;
  const std::string out = std::string(temp) + "kestra-script-call.txt";
  DeleteFileA(out.c_str());
  std::string command = "cscript.exe //nologo script_call.vbs " + server + " " + domain + " " +
                        std::to_string(count) + " 1 \"" + out + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start cscript (%lu)\n", GetLastError());
    return false;
  }
  const bool ended = WaitForSingleObject(process.hProcess, 600000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(out);
  long long micros = 0;
  const bool read = static_cast<bool>(in >> micros);
  in.close();
  DeleteFileA(out.c_str());
  if (!read) {
    std::fprintf(stderr, "the script loop reported nothing\n");
    return false;
  }
  *per_call = double(micros) / count;
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
  const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 7;

  CLookup lookup;
  lookup.PutDNSServer(server);
  lookup.PutDomainName(domain);
  lookup.PutTimeout(5);
  std::int16_t n = 0;
  lookup.MXRecords(&n);  // warm-up: socket start, first query

  std::vector<double> direct, script, ratio;
  for (int r = 0; r < rounds; ++r) {
    double d = 0, s = 0;
    if (!RunDirect(lookup, count, &d)) return 1;
    if (!RunScript(server, domain, folder, count, &s)) return 1;
    // Wine's helper processes of the finished cscript (its desktop, the server) stay
    // busy for a moment; the next direct round must not run in their shadow.
    Sleep(2000);
    direct.push_back(d);
    script.push_back(s);
    ratio.push_back(s / d);
  }
  std::printf(
      "script-call: %d calls x %d rounds, median per call: direct %.1f us, script %.1f us\n", count,
      rounds, Median(direct), Median(script));
  std::printf("script-call-vs-direct: %.2f\n", Median(ratio));
  return 0;
}
