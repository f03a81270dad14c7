// support::Deadline: the end of a wait that started at some moment, on the steady clock,
// so that a run of waits (a receive after each dropped datagram, a read of each part
// of a reply) all end by it instead of each starting afresh.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace support {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  // No time limit.
  static Deadline None() { return Deadline(); }
  // ms milliseconds from now; 0 or less is a deadline already passed.
  static Deadline In(std::int32_t ms) {
    Deadline d;
    d.m_end = Clock::now() + std::chrono::milliseconds(ms);
    return d;
  }

  // -1 with no time limit, 0 once the time is up, else the milliseconds left (rounded
  // up, so that a wait of less than a millisecond is not taken for "no limit").
  std::int32_t RemainingMs() const {
    if (!m_end) return -1;
    const auto left = *m_end - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    return static_cast<std::int32_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  }

  // The earlier of this deadline and max_ms from now.
  Deadline Within(std::int32_t max_ms) const {
    Deadline earlier(*this);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(max_ms);
    if (!earlier.m_end || end < *earlier.m_end) earlier.m_end = end;
    return earlier;
  }

 private:
  Deadline() = default;
  std::optional<Clock::time_point> m_end;
};

}  // namespace support
