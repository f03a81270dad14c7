// A bounds-checked reader over the bytes of one DNS message. Every read checks what is
// left; the first read that runs short sets a sticky failure, after which every read
// returns zero and moves nothing, so a caller checks Ok() once after a run of fields
// instead of after each of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dns {

class WireCursor {
 public:
  explicit WireCursor(std::span<const std::uint8_t> bytes)
      : m_pData(bytes.data()), m_nSize(bytes.size()) {}

  bool Ok() const { return m_bOk; }
  void Fail() { m_bOk = false; }
  std::size_t Position() const { return m_nPos; }
  std::size_t Remaining() const { return m_bOk ? m_nSize - m_nPos : 0; }
  // All of the bytes, whatever the position (compressed names point anywhere in them).
  std::span<const std::uint8_t> Bytes() const { return {m_pData, m_nSize}; }

  // Moves to an absolute position; a position past the end fails.
  void Seek(std::size_t pos) {
    if (!m_bOk || pos > m_nSize) {
      m_bOk = false;
      return;
    }
    m_nPos = pos;
  }

  void Skip(std::size_t n) {
    if (!Have(n)) return;
    m_nPos += n;
  }

  // The next n bytes, moving past them; null when fewer are left (which fails).
  const std::uint8_t* Take(std::size_t n) {
    if (!Have(n)) return nullptr;
    const std::uint8_t* p = m_pData + m_nPos;
    m_nPos += n;
    return p;
  }

  // Big-endian fields of bytes that a Take has vouched for.
  static std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
  }
  static std::uint32_t Get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
  }

  std::uint16_t U16() {
    if (!Have(2)) return 0;
    auto v = static_cast<std::uint16_t>((m_pData[m_nPos] << 8) | m_pData[m_nPos + 1]);
    m_nPos += 2;
    return v;
  }

 private:
  bool Have(std::size_t n) {
    if (!m_bOk || m_nSize - m_nPos < n) {
      m_bOk = false;
      return false;
    }
    return true;
  }

  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
  bool m_bOk = true;
};

}  // namespace dns
