// libidn2 behind platform/idn.h, in the transitional mode: the IDNA2003 mapping that
// Windows's IdnToAscii applies ("faß.de" is "fass.de" on both).
#include <idn2.h>

#include <memory>

#include "platform/idn.h"

namespace platform {

Result<std::string> AsciiName(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  // libidn2 reads up to a NUL: one inside the text would cut it short unseen.
  if (utf8.find('\0') != std::string_view::npos) return Failure{Cause::kInvalidInput, 0};
  const std::string text(utf8);
  char* output = nullptr;
  const int rc = idn2_to_ascii_8z(text.c_str(), &output, IDN2_TRANSITIONAL);
  const std::unique_ptr<char, decltype(&idn2_free)> owned(output, &idn2_free);
  if (rc == IDN2_MALLOC) return Failure{Cause::kNoMemory, 0};
  if (rc != IDN2_OK || !output) return Failure{Cause::kInvalidInput, 0};
  return std::string(output);
}

}  // namespace platform
