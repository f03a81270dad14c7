// Bounds-checked reading and writing of DNS wire bytes. The first access that runs past
// the end sets a sticky failure, after which reads give zero and nothing moves, so a
// caller checks Ok() once after a run of fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace dns {

class WireCursor {
 public:
  explicit WireCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

  bool Ok() const { return m_bOk; }
  void Fail() { m_bOk = false; }
  std::size_t Position() const { return m_nPos; }
  std::size_t Remaining() const { return m_bOk ? m_bytes.size() - m_nPos : 0; }
  // All of the bytes, whatever the position (compressed names point anywhere in them).
  std::span<const std::uint8_t> Bytes() const { return m_bytes; }

  // Moves to an absolute position; a position past the end fails.
  void Seek(std::size_t pos) {
    if (pos > m_bytes.size()) m_bOk = false;
    if (m_bOk) m_nPos = pos;
  }
  void Skip(std::size_t n) { Take(n); }
  std::uint16_t U16() {
    const std::uint8_t* p = Take(2);
    return p ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : 0;
  }
  // The next n bytes, or null (the cursor failed) when fewer are left.
  const std::uint8_t* Take(std::size_t n) {
    if (!m_bOk || m_bytes.size() - m_nPos < n) {
      m_bOk = false;
      return nullptr;
    }
    m_nPos += n;
    return m_bytes.data() + m_nPos - n;
  }

 private:
  std::span<const std::uint8_t> m_bytes;
  std::size_t m_nPos = 0;
  bool m_bOk = true;
};

class WireWriter {
 public:
  explicit WireWriter(std::span<std::uint8_t> out) : m_out(out) {}

  bool Ok() const { return m_bOk; }
  std::size_t Size() const { return m_nSize; }

  void Put(std::span<const std::uint8_t> bytes) {
    if (!m_bOk || m_out.size() - m_nSize < bytes.size()) {
      m_bOk = false;
      return;
    }
    if (!bytes.empty()) std::memcpy(m_out.data() + m_nSize, bytes.data(), bytes.size());
    m_nSize += bytes.size();
  }
  void U8(std::uint8_t v) { Put({&v, 1}); }
  void U16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    Put(b);
  }

 private:
  std::span<std::uint8_t> m_out;
  std::size_t m_nSize = 0;
  bool m_bOk = true;
};

}  // namespace dns
