// A bounds-checked cursor over text read from outside (INI files, registry files).
// Reads past the end do nothing and set a sticky failure flag, so a parser checks once
// at the end of an item instead of after every byte.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/mbcs.h"

namespace platform {

class TextCursor {
 public:
  explicit TextCursor(std::string_view text) : m_strText(text) {}

  bool AtEnd() const { return m_nPos >= m_strText.size(); }
  bool Failed() const { return m_bFailed; }
  std::size_t Remaining() const { return AtEnd() ? 0 : m_strText.size() - m_nPos; }

  // The next byte without taking it; '\0' at the end (and no failure).
  char Peek() const { return AtEnd() ? '\0' : m_strText[m_nPos]; }

  // Takes one byte; at the end returns '\0' and fails.
  char Take() {
    if (AtEnd()) {
      m_bFailed = true;
      return '\0';
    }
    return m_strText[m_nPos++];
  }

  // Takes `c` if it comes next.
  bool Consume(char c) {
    if (AtEnd() || m_strText[m_nPos] != c) return false;
    ++m_nPos;
    return true;
  }

  // Takes `word` if it comes next, compared without regard to case.
  bool ConsumeWordNoCase(std::string_view word) {
    if (Remaining() < word.size() || !EqualNoCase(m_strText.substr(m_nPos, word.size()), word)) {
      return false;
    }
    m_nPos += word.size();
    return true;
  }

  // The next line without its end ("\n", "\r\n" or a lone "\r" at the very end).
  std::string_view TakeLine() {
    if (AtEnd()) {
      m_bFailed = true;
      return {};
    }
    std::size_t end = m_strText.find('\n', m_nPos);
    const std::size_t next = end == std::string_view::npos ? m_strText.size() : end + 1;
    if (end == std::string_view::npos) end = m_strText.size();
    std::string_view line = m_strText.substr(m_nPos, end - m_nPos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_nPos = next;
    return line;
  }

  void SkipBlanks() {
    while (!AtEnd() && (m_strText[m_nPos] == ' ' || m_strText[m_nPos] == '\t')) ++m_nPos;
  }

 private:
  std::string_view m_strText;
  std::size_t m_nPos = 0;
  bool m_bFailed = false;
};

}  // namespace platform
