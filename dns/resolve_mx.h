// CResolveMX: the resolver object one lookup makes on its stack. Resolve() asks one
// DNS server for a domain's MX records; the results are two parallel lists of owned
// texts (exchange names and decimal preferences) in answer order, read with
// first/next cursors. The SMTP probe's operations live here too (smtp/), though they
// use none of the resolver's data.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

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
  using TextList = std::list<std::unique_ptr<std::string>>;
  TextList m_exchanges;
  TextList::iterator m_exchangeCursor;
  bool m_exchangeCursorSet = false;
  TextList m_preferences;
  TextList::iterator m_preferenceCursor;
  bool m_preferenceCursorSet = false;

  // The reply reader of the probe under way (only set inside SMTPHandshake).
  smtp::ReplyReader* m_pProbeReader = nullptr;
};
