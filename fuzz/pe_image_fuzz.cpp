// Any bytes read as a PE image: an answer or a problem, never a read out of bounds,
// and the bounds on names hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const kestra_tool::PeImage image = kestra_tool::ReadPeImage(bytes);
  if (image.valid != image.problem.empty()) std::abort();
  if (image.exports.size() > 65536) std::abort();
  for (const auto& name : image.exports) {
    if (name.size() >= 512 || name.size() >= size) std::abort();
  }
  return 0;
}
