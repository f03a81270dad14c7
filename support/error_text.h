// System error texts, as a page reads them in ErrorReason, and the shape of a reading
// that yields either a value or such a text.
#pragma once

#include <string>

namespace support {

// `text` is the value read when `ok`, else the text that says why it could not be read.
struct TextResult {
  bool ok = false;
  std::string text;
};

// The system's message text for `code`, line break included; when the system has none,
// "The system cannot find error message for error number <code>".
std::string SystemErrorText(int code);

}  // namespace support
