// Reading captured MX replies into owned exchangers, against c-ares on the same bytes;
// and dns::ResolveMx against a bare UDP round trip with a fresh socket per query to the
// same server (the floor any resolver of this shape pays).
// The resolve pair needs the test bed's DNS server: scripts/bench runs it.
#include <ares.h>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dns/mx_resolver.h"

namespace {

std::string ReadReply(const char* name) {
  std::ifstream in(std::string(KESTRA_SOURCE_DIR) + "/tests/dns/data/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Captured {
  std::string bytes;
  dns::Query query;  // the query it answers
};

const Captured& Reply(int exchangers) {
  static const Captured three{ReadReply("three_mx.bin"),
                              *dns::Query::Make("three.resolver.test", 0x1234)};
  static const Captured twenty{ReadReply("twenty_mx.bin"),
                               *dns::Query::Make("many.resolver.test", 0x5678)};
  return exchangers == 3 ? three : twenty;
}

// The reply read the way dns::ResolveMx reads the reply it accepts (checked against the
// query, its exchangers owned, as c-ares gives a list of owned hosts), then destroyed.
void DecodeOurs(benchmark::State& state) {
  const Captured& reply = Reply(static_cast<int>(state.range(0)));
  const std::span<const std::uint8_t> bytes(
      reinterpret_cast<const std::uint8_t*>(reply.bytes.data()), reply.bytes.size());
  for (auto _ : state) {
    dns::ReplyReading read = dns::ReadReply(bytes, reply.query);
    if (read.verdict != dns::Verdict::kTaken ||
        std::ssize(read.reply.exchangers) != state.range(0)) {
      state.SkipWithError("decode");
    }
    benchmark::DoNotOptimize(read);
  }
}

void DecodeCares(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<int>(state.range(0))).bytes;
  for (auto _ : state) {
    ares_mx_reply* mx = nullptr;
    int rc = ares_parse_mx_reply(reinterpret_cast<const unsigned char*>(reply.data()),
                                 static_cast<int>(reply.size()), &mx);
    int n = 0;
    for (ares_mx_reply* p = mx; p; p = p->next) ++n;
    if (rc != ARES_SUCCESS || n != state.range(0)) state.SkipWithError("c-ares decode");
    benchmark::DoNotOptimize(mx);
    ares_free_data(mx);
  }
}

const char kDomain[] = "three.resolver.test";

std::string Server() {
  const char* v = std::getenv("KESTRA_TEST_DNS");
  return v && *v ? v : "127.0.0.2";
}

bool ResolveOnce(const std::string& server) {
  const auto exchangers = dns::ResolveMx(kDomain, server, 5);
  return exchangers && exchangers->size() == 3;
}

// socket, bind, SO_RCVTIMEO, sendto, recvfrom, close: nothing checked but the length.
bool UdpRoundTrip(const std::string& query, const sockaddr_in& server) {
  char buffer[512];
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sendto(fd, query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&server),
         sizeof server);
  ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, nullptr, nullptr);
  close(fd);
  return n >= 12;
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Resolves and bare round trips alternate query by query, so that both see the same
// load on the machine; the medians of the single times are reported as counters.
void ResolvePair(benchmark::State& state) {
  const std::string server_text = Server();
  const std::string query(dns::Query::Make(kDomain, 0x0312)->Bytes());
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(53);
  server.sin_addr.s_addr = inet_addr(server_text.c_str());
  const int rounds = static_cast<int>(state.range(0));
  std::vector<double> resolve, floor;
  resolve.reserve(static_cast<std::size_t>(rounds));
  floor.reserve(static_cast<std::size_t>(rounds));
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    for (int i = 0; i < rounds; ++i) {
      auto t0 = Clock::now();
      const bool ok_resolve = ResolveOnce(server_text);
      auto t1 = Clock::now();
      const bool ok_floor = UdpRoundTrip(query, server);
      auto t2 = Clock::now();
      if (!ok_resolve || !ok_floor) {
        state.SkipWithError("no answer (is the test bed running?)");
        return;
      }
      resolve.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
      floor.push_back(std::chrono::duration<double, std::nano>(t2 - t1).count());
    }
  }
  state.counters["resolve_ns"] = Median(resolve);
  state.counters["floor_ns"] = Median(floor);
}

}  // namespace

BENCHMARK(DecodeOurs)->Name("decode/ours")->Arg(3)->Arg(20);
BENCHMARK(DecodeCares)->Name("decode/c-ares")->Arg(3)->Arg(20);
BENCHMARK(ResolvePair)
    ->Name("resolve/pair")
    ->Arg(20000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
