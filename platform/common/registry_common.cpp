// The parts of platform/registry.h that are the same on every platform.
#include "platform/errors.h"
#include "platform/mbcs.h"
#include "platform/registry.h"

namespace platform {

std::optional<RegRoot> FindRegRoot(std::string_view name, RegRootForms forms) {
  for (const RegRootNames& names : kRegRootNames) {
    if (EqualNoCase(name, names.name) ||
        (forms == RegRootForms::kLongOrShort && EqualNoCase(name, names.short_name))) {
      return names.root;
    }
  }
  return std::nullopt;
}

RegValue RegValue::String(std::string_view text) {
  RegValue value{kRegSz, std::vector<unsigned char>(text.begin(), text.end())};
  value.data.push_back(0);
  return value;
}

RegValue RegValue::Dword(std::uint32_t number) {
  return {kRegDword,
          {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
           static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)}};
}

std::string RegValue::Text() const {
  std::size_t n = 0;
  while (n < data.size() && data[n] != 0) ++n;
  return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
}

std::optional<std::uint32_t> RegValue::Number() const {
  if (data.size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
         (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

Failure RegFailure(int code) {
  switch (code) {
    case syserr::kFileNotFound:
    case syserr::kPathNotFound:
      return {Cause::kNotFound, code};
    case syserr::kBadPathname:
    case syserr::kInvalidParameter:
      return {Cause::kInvalidInput, code};
    case syserr::kNotEnoughMemory:
      return {Cause::kNoMemory, code};
    default:
      return {Cause::kSystem, code};
  }
}

}  // namespace platform
