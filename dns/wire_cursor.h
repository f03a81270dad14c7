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
      : m_data(bytes.data()), m_size(bytes.size()) {}

  bool Ok() const { return m_ok; }
  void Fail() { m_ok = false; }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_ok ? m_size - m_pos : 0; }
  // All of the bytes, whatever the position (compressed names point anywhere in them).
  std::span<const std::uint8_t> Bytes() const { return {m_data, m_size}; }

  // Moves to an absolute position; a position past the end fails.
  void Seek(std::size_t pos) {
    if (!m_ok || pos > m_size) {
      m_ok = false;
      return;
    }
    m_pos = pos;
  }

  void Skip(std::size_t n) {
    if (!Have(n)) return;
    m_pos += n;
  }

  // The next n bytes, moving past them; null when fewer are left (which fails).
  const std::uint8_t* Take(std::size_t n) {
    if (!Have(n)) return nullptr;
    const std::uint8_t* p = m_data + m_pos;
    m_pos += n;
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
    auto v = static_cast<std::uint16_t>((m_data[m_pos] << 8) | m_data[m_pos + 1]);
    m_pos += 2;
    return v;
  }

 private:
  bool Have(std::size_t n) {
    if (!m_ok || m_size - m_pos < n) {
      m_ok = false;
      return false;
    }
    return true;
  }

  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  bool m_ok = true;
};

}  // namespace dns
