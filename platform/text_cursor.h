// A bounds-checked cursor over text read from outside (registry scripts, registry files,
// INI files): past the end Peek answers '\0' and nothing moves, so a parser may look
// ahead freely and never reads outside the text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "platform/mbcs.h"
#include "platform/trim.h"

namespace platform {

class TextCursor {
 public:
  explicit TextCursor(std::string_view text) : m_strText(text) {}

  bool AtEnd() const { return m_nPos == m_strText.size(); }
  std::size_t Position() const { return m_nPos; }

  // The byte `offset` places ahead, or '\0' past the end.
  char Peek(std::size_t offset = 0) const {
    return offset < m_strText.size() - m_nPos ? m_strText[m_nPos + offset] : '\0';
  }
  // Moves on by `count` bytes, never past the end.
  void Advance(std::size_t count = 1) { m_nPos += std::min(count, m_strText.size() - m_nPos); }
  // The next byte, taken ('\0' at the end).
  char Take() {
    const char c = Peek();
    Advance();
    return c;
  }
  // Takes `c` if it comes next.
  bool Consume(char c) {
    if (AtEnd() || Peek() != c) return false;
    Advance();
    return true;
  }
  // Takes `word` if it comes next, compared without regard to case.
  bool ConsumeWordNoCase(std::string_view word) {
    if (!EqualNoCase(m_strText.substr(m_nPos, word.size()), word)) return false;
    Advance(word.size());
    return true;
  }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') Advance();
  }

  std::string_view Rest() const { return m_strText.substr(m_nPos); }
  // The bytes from `from` (an earlier Position()) up to the cursor.
  std::string_view Since(std::size_t from) const { return m_strText.substr(from, m_nPos - from); }
  // The next line without its end: the "\n" and the CRs before it (or at the very end).
  std::string_view TakeLine() {
    const std::size_t end = std::min(m_strText.find('\n', m_nPos), m_strText.size());
    const std::string_view line = m_strText.substr(m_nPos, end - m_nPos);
    m_nPos = std::min(end + 1, m_strText.size());
    return WithoutLineEnd(line);
  }

 private:
  std::string_view m_strText;
  std::size_t m_nPos = 0;
};

}  // namespace platform
