// A read cursor over the bytes of one registry script. Every read is checked against
// the end of the text: past the end, Peek answers '\0' and Advance does nothing, so
// the tokenizer can look ahead freely without ever reading outside the buffer.
#pragma once

#include <cstddef>
#include <string_view>

namespace registrar {

class Cursor {
 public:
  explicit Cursor(std::string_view text) : m_text(text) {}

  bool AtEnd() const { return m_pos >= m_text.size(); }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return AtEnd() ? 0 : m_text.size() - m_pos; }

  // The byte `offset` places ahead, or '\0' past the end.
  char Peek(std::size_t offset = 0) const {
    return offset < Remaining() ? m_text[m_pos + offset] : '\0';
  }
  // Moves on by `count` bytes, never past the end.
  void Advance(std::size_t count = 1) { m_pos += count < Remaining() ? count : Remaining(); }
  // The bytes from `from` (an earlier Position()) up to the cursor.
  std::string_view Since(std::size_t from) const {
    return from <= m_pos ? m_text.substr(from, m_pos - from) : std::string_view();
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace registrar
