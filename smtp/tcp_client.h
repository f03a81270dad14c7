// smtp::TcpClient: one blocking stream socket over platform/net.h, as the SMTP
// probe uses it, on the process-wide start of the socket library (which its user
// makes). Every failing call returns the socket library's failure; the socket closes
// when the client goes.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/net.h"
#include "smtp/reply_reader.h"

namespace smtp {

class TcpClient final : public ReplySource {
 public:
  // Opens a socket of the address's family bound to any local address and connects it,
  // waiting at most wait_ms for the connection.
  platform::Result<void> Connect(const platform::IpAddress& address, std::uint16_t port,
                                 int wait_ms);
  // One send: the count the platform took (a partial count is not retried).
  platform::Result<std::size_t> Send(std::string_view bytes);
  platform::Result<void> WaitReadable(int ms) override;
  platform::Result<std::size_t> Receive(char* buffer, std::size_t size) override;

 private:
  platform::UniqueSocket m_socket;
};

}  // namespace smtp
