// platform::Result: the one way a call below the automation boundary reports a failure.
// A call returns its value or a Failure: a cause, and the system's error code (Windows
// numbering) where there is one. Only inside platform/ do the system's own calls keep
// their shapes (return codes, WSAGetLastError or errno, buffer protocols); everything
// platform/ offers the other folders returns a Result, and no layer keeps a last error.
// The texts a page reads are chosen in two places: lookup/ (support/texts.h, and
// host_errors.cpp for the resolver's codes) and access/access_policy.cpp (the refusals,
// and the system's message text for a failure's code).
#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace platform {

enum class Cause {
  kInvalidInput,  // a name, address or argument that cannot be used as given
  kNotFound,      // what was looked for is not there (a host, a key, a file, a record)
  kTimeout,       // the time allowed ran out
  kUnreachable,   // the peer refused or could not be reached
  kBadReply,      // the peer answered with something that is not a usable answer
  kSystem,        // the system refused; `code` holds its error code
  kNoMemory,      // memory ran out
  kWrongType,     // a stored value is of another type than the one asked for
};

struct Failure {
  Cause cause = Cause::kSystem;
  int code = 0;  // the system's code (Windows numbering), 0 when there is none
  bool operator==(const Failure&) const = default;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : m_value(std::move(value)) {}  // NOLINT: implicit by design
  Result(Failure failure) : m_value(failure) {}   // NOLINT: implicit by design

  bool ok() const { return m_value.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return std::get<0>(m_value);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(m_value);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(m_value));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Failure& failure() const {
    assert(!ok());
    return std::get<1>(m_value);
  }

 private:
  std::variant<T, Failure> m_value;
};

// A call that yields nothing but success or its failure.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : m_failure(failure), m_bFailed(true) {}  // NOLINT: implicit

  bool ok() const { return !m_bFailed; }
  explicit operator bool() const { return ok(); }
  const Failure& failure() const {
    assert(!ok());
    return m_failure;
  }

 private:
  Failure m_failure;
  bool m_bFailed = false;
};

}  // namespace platform
