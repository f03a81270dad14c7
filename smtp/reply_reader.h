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
#include <string>
#include <string_view>

#include "platform/result.h"

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

  enum class Status {
    kReply,          // a whole reply; `code` is its final line's code
    kIncomplete,     // TakeReply only: more bytes are needed
    kMalformed,      // a line without three leading digits
    kTooLong,        // more than kMaxReplyBytes without the reply's end
    kClosed,         // the peer closed before the reply was whole
    kTimedOut,       // the reply was not whole within the wait
    kReceiveFailed,  // the wait or the receive failed
  };
  struct Reply {
    Status status;
    int code;  // the final line's code (kReply), the source's code (kReceiveFailed), or 0
  };

  // A reader that only parses what Append gives it.
  ReplyReader() = default;
  // A reader that receives from `source`, waiting at most `wait_ms` for each reply.
  ReplyReader(ReplySource& source, int wait_ms) : m_pSource(&source), m_nWaitMs(wait_ms) {}
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  // Adds bytes received to those not yet taken.
  void Append(std::string_view bytes);
  // Takes one whole reply from the front of the bytes appended so far.
  Reply TakeReply();
  // Takes one whole reply, receiving from the source as often as it takes within the
  // wait. Without a source it is TakeReply, with kIncomplete read as kClosed.
  Reply Read();

  // Bytes appended and not yet taken as part of a reply.
  std::size_t Pending() const { return m_strBuffer.size(); }

 private:
  Reply Fail(Status status, int code = 0);

  ReplySource* m_pSource = nullptr;
  int m_nWaitMs = 0;
  std::string m_strBuffer;
  // Where the first line of the current reply that is not yet judged starts.
  std::size_t m_nLineStart = 0;
  Status m_nFailure = Status::kReply;  // kReply: no failure so far
};

}  // namespace smtp
