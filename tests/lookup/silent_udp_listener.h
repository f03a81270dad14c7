// A DNS server that never answers: a UDP socket on port 53 of a loopback address that
// lets queries queue up, so a test can count what a lookup sent.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "platform/net.h"
#include "test_sockets.h"

namespace testbed {

class SilentUdpListener {
 public:
  explicit SilentUdpListener(const std::string& address) {
    if (!platform::EnsureSocketLayer()) return;
    platform::Result<platform::UniqueSocket> socket = platform::OpenSocket(platform::kSockDgram);
    if (!socket) return;
    socket_ = std::move(*socket);
    // Wine binds to every loopback address and then finds port 53 taken by the test
    // bed's own server unless the address may be shared.
    testbed::SetReuseAddress(socket_.Get());
    ready_ = platform::Bind(socket_.Get(), {platform::InetAddr(address), 53}).ok();
  }
  SilentUdpListener(const SilentUdpListener&) = delete;
  SilentUdpListener& operator=(const SilentUdpListener&) = delete;

  bool Ready() const { return ready_; }

  // Counts (and drains) the datagrams that arrived so far or arrive within `ms`
  // milliseconds of the last one; at most 100 are counted.
  int DatagramsWithin(int ms) {
    int count = 0;
    std::array<unsigned char, 1024> buffer{};
    while (count < 100 && platform::WaitReadable(socket_.Get(), ms)) {
      if (!platform::RecvFrom(socket_.Get(), buffer.data(), buffer.size(), false, nullptr)) break;
      ++count;
    }
    return count;
  }

 private:
  bool ready_ = false;
  platform::UniqueSocket socket_;
};

}  // namespace testbed
