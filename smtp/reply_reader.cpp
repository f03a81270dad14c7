#include "smtp/reply_reader.h"

#include <cstdint>

#include "platform/text_cursor.h"
#include "support/deadline.h"

namespace smtp {
namespace {

enum class LineKind { kContinues, kEnds, kBad };

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

LineKind JudgeLine(std::string_view text, int* code) {
  const platform::TextCursor line(text);
  int value = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (!IsDigit(line.Peek(i))) return LineKind::kBad;
    value = value * 10 + (line.Peek(i) - '0');
  }
  *code = value;
  // Read as lenient SMTP clients read it: only a '-' right after the code continues the
  // reply; anything else there (a space, a tab, text, the line's end) ends it.
  return line.Peek(3) == '-' ? LineKind::kContinues : LineKind::kEnds;
}

}  // namespace

void ReplyReader::Append(std::string_view bytes) {
  if (m_nFailure == Status::kReply) m_strBuffer.append(bytes);
}

ReplyReader::Reply ReplyReader::Fail(Status status, int code) {
  m_nFailure = status;
  m_strBuffer.clear();
  m_nLineStart = 0;
  return Reply{status, code};
}

ReplyReader::Reply ReplyReader::TakeReply() {
  if (m_nFailure != Status::kReply) return Reply{m_nFailure, 0};
  // The current reply always starts at the front of the buffer; lines already judged
  // as continuations are not looked at again.
  while (true) {
    std::size_t lf = m_strBuffer.find('\n', m_nLineStart);
    if (lf == std::string::npos) {
      if (m_strBuffer.size() > kMaxReplyBytes) return Fail(Status::kTooLong);
      return Reply{Status::kIncomplete, 0};
    }
    if (lf + 1 > kMaxReplyBytes) return Fail(Status::kTooLong);
    std::string_view line(m_strBuffer.data() + m_nLineStart, lf - m_nLineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int code = 0;
    LineKind kind = JudgeLine(line, &code);
    if (kind == LineKind::kBad) return Fail(Status::kMalformed);
    m_nLineStart = lf + 1;
    if (kind == LineKind::kEnds) {
      m_strBuffer.erase(0, m_nLineStart);
      m_nLineStart = 0;
      return Reply{Status::kReply, code};
    }
  }
}

ReplyReader::Reply ReplyReader::Read() {
  const support::Deadline deadline = support::Deadline::In(m_nWaitMs);
  // Each turn either ends the read or appends at least one byte, and the buffer is
  // capped by kMaxReplyBytes, so the loop ends on its own even without the deadline.
  while (true) {
    Reply reply = TakeReply();
    if (reply.status != Status::kIncomplete) return reply;
    if (m_pSource == nullptr) return Fail(Status::kClosed);

    const std::int32_t left = deadline.RemainingMs();
    if (left == 0) return Fail(Status::kTimedOut);
    const platform::Result<void> ready = m_pSource->WaitReadable(left);
    if (!ready && ready.failure().cause == platform::Cause::kTimeout) {
      return Fail(Status::kTimedOut);
    }
    if (!ready) return Fail(Status::kReceiveFailed, ready.failure().code);

    char chunk[kReceiveBytes];
    const platform::Result<std::size_t> n = m_pSource->Receive(chunk, kReceiveBytes);
    if (!n) return Fail(Status::kReceiveFailed, n.failure().code);
    if (*n == 0) return Fail(Status::kClosed);
    if (*n > kReceiveBytes) return Fail(Status::kReceiveFailed);  // a source that lies
    Append(std::string_view(chunk, *n));
  }
}

}  // namespace smtp
