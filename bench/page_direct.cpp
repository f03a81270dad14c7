// The direct side of page-cycle-vs-direct: COUNT times what examples/asp/mx-list.asp
// does, called in process on CLookup: a new lookup object, DomainName, DNSServer and
// Timeout, GetMXRecord, a walk of the list, object and list gone. Prints
//   direct: N us per call
// with the first call (socket start, first query) left out of the time.
//   bench_page_direct DNS-SERVER DOMAIN COUNT
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lookup/lookup.h"

namespace {

// One page's worth of work; the number of exchangers walked, or -1 on a failure.
int Cycle(const std::string& server, const std::string& domain) {
  lookup::CLookup lookup;
  lookup.PutDomainName(domain);
  lookup.PutDNSServer(server);
  lookup.PutTimeout(10);
  const auto list = lookup.GetMXRecord();
  if (!list || lookup.GetIsError() != 0) return -1;
  std::size_t bytes = 0;
  // What a page reads of each entry: MX and the preference as text.
  for (const dns::MxRecord& entry : *list) {
    bytes += entry.exchange.size() + std::to_string(entry.preference).size();
  }
  return bytes > 0 ? static_cast<int>(list->size()) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_page_direct DNS-SERVER DOMAIN COUNT\n");
    return 2;
  }
  const std::string server = argv[1];
  const std::string domain = argv[2];
  const long count = std::max(1L, std::strtol(argv[3], nullptr, 10));
  if (Cycle(server, domain) < 1) {
    std::fprintf(stderr, "bench_page_direct: GetMXRecord failed\n");
    return 1;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (long i = 0; i < count; ++i) {
    if (Cycle(server, domain) < 1) {
      std::fprintf(stderr, "bench_page_direct: GetMXRecord failed at call %ld\n", i + 1);
      return 1;
    }
  }
  QueryPerformanceCounter(&end);
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  std::printf("direct: %.1f us per call\n", seconds * 1e6 / double(count));
  return 0;
}
