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
  explicit TextCursor(std::string_view text) : m_text(text) {}

  bool AtEnd() const { return m_pos >= m_text.size(); }
  bool Failed() const { return m_failed; }
  std::size_t Remaining() const { return AtEnd() ? 0 : m_text.size() - m_pos; }

  // The next byte without taking it; '\0' at the end (and no failure).
  char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }

  // Takes one byte; at the end returns '\0' and fails.
  char Take() {
    if (AtEnd()) {
      m_failed = true;
      return '\0';
    }
    return m_text[m_pos++];
  }

  // Takes `c` if it comes next.
  bool Consume(char c) {
    if (AtEnd() || m_text[m_pos] != c) return false;
    ++m_pos;
    return true;
  }

  // Takes `word` if it comes next, compared without regard to case.
  bool ConsumeWordNoCase(std::string_view word) {
    if (Remaining() < word.size() || !EqualNoCase(m_text.substr(m_pos, word.size()), word)) {
      return false;
    }
    m_pos += word.size();
    return true;
  }

  // The next line without its end ("\n", "\r\n" or a lone "\r" at the very end).
  std::string_view TakeLine() {
    if (AtEnd()) {
      m_failed = true;
      return {};
    }
    std::size_t end = m_text.find('\n', m_pos);
    const std::size_t next = end == std::string_view::npos ? m_text.size() : end + 1;
    if (end == std::string_view::npos) end = m_text.size();
    std::string_view line = m_text.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_pos = next;
    return line;
  }

  void SkipBlanks() {
    while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
  bool m_failed = false;
};

}  // namespace platform
