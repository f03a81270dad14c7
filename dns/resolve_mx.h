// CResolveMX: the resolver object one lookup makes on its stack. Resolve() asks one
// DNS server for a domain's MX records; the results are two parallel lists of owned
// texts (exchange names and decimal preferences) in answer order, read with
// first/next cursors. The SMTP probe's operations live here too (smtp/), though they
// use none of the resolver's data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace smtp {
class ReplyReader;  // smtp/reply_reader.h
}

class CResolveMX {
 public:
  CResolveMX();
  virtual ~CResolveMX();
  CResolveMX(const CResolveMX&) = delete;
  CResolveMX& operator=(const CResolveMX&) = delete;

  // True when the reply held at least one exchanger; never throws.
  bool Resolve(std::string domain, std::string server, std::int32_t timeout_seconds);

  std::int32_t GetCount() const;
  const std::string* GetFirstExchange();
  const std::string* GetNextExchange();
  const std::string* GetFirstPreference();
  const std::string* GetNextPreference();

  // SMTP probe (smtp/smtp_probe.cpp).
  enum SmtpStep { kGreeting = 0, kHeloAnswer = 1 };
  bool VerifySMTPServer(const std::string& server);
  bool SMTPHandshake(const std::string& server, std::uint16_t port);
  bool CheckReply(SmtpStep step);

 private:
  // One exchanger's texts.
  struct Exchanger {
    std::string exchange;
    std::string preference;
  };
  // One chunk per successful Resolve, made at its final size and never grown, so the
  // texts stay where they are while later calls append (the pointers the cursors hand
  // out stay valid until the object goes), at one allocation per call. The first
  // chunk, which is mostly the only one, is a member of its own.
  using Chunks = std::vector<std::vector<Exchanger>>;
  static constexpr std::size_t kUnset = ~std::size_t{0};
  // The entry at a position counted across the chunks, or null past the end.
  const Exchanger* At(std::size_t index) const;

  std::vector<Exchanger> m_first;
  Chunks m_chunks;
  std::size_t m_nCount = 0;
  std::size_t m_exchangeCursor = kUnset;
  std::size_t m_preferenceCursor = kUnset;

  // The reply reader of the probe under way (only set inside SMTPHandshake).
  smtp::ReplyReader* m_pProbeReader = nullptr;
};
