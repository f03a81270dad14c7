// Reads SMTP replies whole. A reply is one or more lines, each ended by CR LF (a bare
// LF is taken too); every line starts with a three-digit code. A fourth character '-'
// means another line follows; anything else there (a space, a tab, a letter, the end of
// the line) ends the reply, as lenient clients read it, so "220ESMTP ready" is a 220.
// The final line's code is the reply's; a line without three leading digits is
// malformed. Bytes arrive however the network cuts them: a line may take several
// receives and one receive may carry several lines, and bytes after a reply wait for
// the next one.
//
// Failures are sticky: once a reply is malformed, too long, cut off or late, the
// connection stays untrusted and every later read repeats that failure.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/result.h"
#include "support/account.h"

namespace smtp {

// Where a reader gets its bytes from: the probe's socket, or a script in tests.
class ReplySource {
 public:
  virtual ~ReplySource() = default;
  // Waits up to ms milliseconds until bytes (or the peer's close) can be read; a wait
  // that runs out fails with Cause::kTimeout.
  virtual platform::Result<void> WaitReadable(int ms) = 0;
  // One receive of at most `size` bytes: the count read, 0 when the peer has closed.
  virtual platform::Result<std::size_t> Receive(char* buffer, std::size_t size) = 0;
};

class ReplyReader {
 public:
  // A reply longer than this in all is refused rather than buffered without end.
  static constexpr std::size_t kMaxReplyBytes = 64 * 1024;
  // Bytes asked for by one receive.
  static constexpr std::size_t kReceiveBytes = 1024;

  // A reader that receives from `source`, waiting at most `wait_ms` for each reply. An
  // account hears each line the reader frames, as it came, with its time since `opened`.
  ReplyReader(ReplySource& source, int wait_ms, support::Account* account = nullptr,
              support::Account::Clock::time_point opened = {})
      : m_pSource(&source), m_nWaitMs(wait_ms), m_pAccount(account), m_opened(opened) {}
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  // Takes one whole reply, receiving from the source as often as it takes within the
  // wait: its final line's code. A reply that is malformed, longer than kMaxReplyBytes
  // or cut off by the peer's close fails with kBadReply (code 0), one that is not whole
  // within the wait with kTimeout (WSAETIMEDOUT), and a wait or receive that fails with
  // the source's failure.
  platform::Result<int> Read();
  // Why the reading failed: kMalformed, kTooLong, kClosed, or kFailure (the source's
  // failure, or the wait running out); kNone while it has not.
  support::step::SmtpFault Fault() const { return m_nFault; }

 private:
  platform::Failure Fail(support::step::SmtpFault fault, platform::Failure failure);
  void NoteLine(std::string_view text);

  ReplySource* m_pSource;
  int m_nWaitMs;
  support::Account* m_pAccount;
  support::Account::Clock::time_point m_opened;
  support::step::SmtpFault m_nFault = support::step::SmtpFault::kNone;
  std::string m_strBuffer;
  // Where the first line of the current reply that is not yet judged starts.
  std::size_t m_nLineStart = 0;
  std::optional<platform::Failure> m_failure;
};

}  // namespace smtp
