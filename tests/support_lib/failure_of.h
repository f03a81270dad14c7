// Results in test expectations: the failure a result holds (nothing for a value), and
// how GoogleTest prints one.
#pragma once

#include <optional>
#include <ostream>

#include "platform/result.h"

namespace platform {
inline void PrintTo(const Failure& failure, std::ostream* os) {
  *os << "{cause " << static_cast<int>(failure.cause) << ", code " << failure.code << "}";
}
}  // namespace platform

namespace testbed {

template <class T>
std::optional<platform::Failure> FailureOf(const platform::Result<T>& result) {
  if (result) return std::nullopt;
  return result.failure();
}

}  // namespace testbed
