#include "support/error_text.h"

#include "platform/errors.h"

namespace support {

std::string SystemErrorText(int code) {
  std::string text;
  if (platform::SystemMessageText(code, &text)) return text;
  return "The system cannot find error message for error number " + std::to_string(code);
}

}  // namespace support
