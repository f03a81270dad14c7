#include "support/registry_values.h"

#include "platform/errors.h"

namespace support {
namespace {

TextResult Failure(std::string text) {
  return {false, std::move(text)};
}

TextResult Read(platform::Registry& registry, std::string_view key_path,
                const std::string& value_name, std::uint32_t wanted_type) {
  const std::size_t slash = key_path.find('\\');
  const std::optional<platform::RegRoot> root =
      slash == std::string_view::npos
          ? std::nullopt
          : platform::FindRegRoot(key_path.substr(0, slash), platform::RegRootForms::kLong);
  if (!root) return Failure(SystemErrorText(platform::syserr::kInvalidHandle));
  const std::string subkey(key_path.substr(slash + 1));

  // Both bitnesses must read the same key, or a site escapes its settings by running in
  // the other kind of process: the 32-bit view, and the 64-bit one when it lacks the key.
  platform::RegValue value;
  if (int rc = registry.QueryValueOfFirstKey(*root, subkey, value_name, platform::RegView::k32,
                                             platform::RegView::k64, &value)) {
    return Failure(SystemErrorText(rc));
  }
  if (value.type != wanted_type || value.data.empty()) return Failure(kRegistryTypeMismatch);
  if (wanted_type == platform::kRegSz) return {true, value.Text()};
  // A number is 4 bytes; anything else is not a number this reader can give.
  const std::optional<std::uint32_t> number = value.Number();
  if (!number) return Failure(kRegistryTypeMismatch);
  return {true, std::to_string(*number)};
}

}  // namespace

TextResult ReadRegistryString(platform::Registry& registry, std::string_view key_path,
                              const std::string& value_name) {
  return Read(registry, key_path, value_name, platform::kRegSz);
}

TextResult ReadRegistryNumber(platform::Registry& registry, std::string_view key_path,
                              const std::string& value_name) {
  return Read(registry, key_path, value_name, platform::kRegDword);
}

}  // namespace support
