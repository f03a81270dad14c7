#include "smtp/reply_reader.h"

#include <cstdint>
#include <string_view>

#include "platform/net.h"
#include "platform/text_cursor.h"
#include "platform/trim.h"
#include "support/deadline.h"

namespace smtp {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;
using support::step::SmtpFault;

constexpr Failure kBadReply{Cause::kBadReply, 0};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

struct Line {
  int code;
  bool last;
};

Result<Line> JudgeLine(std::string_view text) {
  const platform::TextCursor line(text);
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (!IsDigit(line.Peek(i))) return kBadReply;
    code = code * 10 + (line.Peek(i) - '0');
  }
  // Read as lenient SMTP clients read it: only a '-' right after the code continues the
  // reply; anything else there (a space, a tab, text, the line's end) ends it.
  return Line{code, line.Peek(3) != '-'};
}

}  // namespace

Failure ReplyReader::Fail(SmtpFault fault, Failure failure) {
  m_nFault = fault;
  m_failure = failure;
  return failure;
}

void ReplyReader::NoteLine(std::string_view text) {
  support::Note(m_pAccount, [&] {
    return support::step::SmtpLine{support::step::Direction::kReceived, std::string(text),
                                   support::Account::MsSince(m_opened)};
  });
}

Result<int> ReplyReader::Read() {
  if (m_failure) return *m_failure;
  const support::Deadline deadline = support::Deadline::In(m_nWaitMs);
  // The current reply always starts at the front of the buffer; lines already judged as
  // continuations are not looked at again. Each turn judges a line or appends at least
  // one byte, or ends the read, and the buffer is capped by kMaxReplyBytes, so the loop
  // ends on its own even without the deadline.
  while (true) {
    const std::size_t lf = m_strBuffer.find('\n', m_nLineStart);
    if (lf != std::string::npos) {
      if (lf + 1 > kMaxReplyBytes) return Fail(SmtpFault::kTooLong, kBadReply);
      const std::string_view text = platform::WithoutLineEnd(
          std::string_view(m_strBuffer).substr(m_nLineStart, lf + 1 - m_nLineStart));
      NoteLine(text);
      const Result<Line> line = JudgeLine(text);
      if (!line) return Fail(SmtpFault::kMalformed, line.failure());
      m_nLineStart = lf + 1;
      if (line->last) {
        m_strBuffer.erase(0, m_nLineStart);
        m_nLineStart = 0;
        return line->code;
      }
      continue;
    }
    if (m_strBuffer.size() > kMaxReplyBytes) return Fail(SmtpFault::kTooLong, kBadReply);

    const std::int32_t left = deadline.RemainingMs();
    if (left == 0) {
      return Fail(SmtpFault::kFailure, platform::SocketFailure(platform::wsa::kETIMEDOUT));
    }
    if (Result<void> ready = m_pSource->WaitReadable(left); !ready) {
      return Fail(SmtpFault::kFailure, ready.failure());
    }
    char chunk[kReceiveBytes];
    const Result<std::size_t> n = m_pSource->Receive(chunk, kReceiveBytes);
    if (!n) return Fail(SmtpFault::kFailure, n.failure());
    if (*n == 0) {  // closed before the end: what came of the cut line is shown as it was
      if (m_nLineStart < m_strBuffer.size())
        NoteLine(std::string_view(m_strBuffer).substr(m_nLineStart));
      return Fail(SmtpFault::kClosed, kBadReply);
    }
    if (*n > kReceiveBytes)
      return Fail(SmtpFault::kFailure, Failure{Cause::kSystem});  // a source that lies
    m_strBuffer.append(chunk, *n);
  }
}

}  // namespace smtp
