// A read cursor over the bytes of one registry script. Every read is checked against
// the end of the text: past the end, Peek answers '\0' and Advance does nothing, so
// the tokenizer can look ahead freely without ever reading outside the buffer.
#pragma once

#include <cstddef>
#include <string_view>

namespace registrar {

class Cursor {
 public:
  explicit Cursor(std::string_view text) : m_strText(text) {}

  bool AtEnd() const { return m_nPos >= m_strText.size(); }
  std::size_t Position() const { return m_nPos; }
  std::size_t Remaining() const { return AtEnd() ? 0 : m_strText.size() - m_nPos; }

  // The byte `offset` places ahead, or '\0' past the end.
  char Peek(std::size_t offset = 0) const {
    return offset < Remaining() ? m_strText[m_nPos + offset] : '\0';
  }
  // Moves on by `count` bytes, never past the end.
  void Advance(std::size_t count = 1) { m_nPos += count < Remaining() ? count : Remaining(); }
  // The bytes from `from` (an earlier Position()) up to the cursor.
  std::string_view Since(std::size_t from) const {
    return from <= m_nPos ? m_strText.substr(from, m_nPos - from) : std::string_view();
  }

 private:
  std::string_view m_strText;
  std::size_t m_nPos = 0;
};

}  // namespace registrar
