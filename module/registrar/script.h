// Registry scripts: the text that says which keys and values a class registers.
//
//   HKCR
//   {
//   	NoRemove CLSID
//   	{
//   		ForceRemove {guid} = s 'Name'
//   		{
//   			InprocServer32 = s '%MODULE%'
//   			{
//   				val ThreadingModel = s 'Apartment'
//   			}
//   		}
//   	}
//   }
//
// Words are separated by white space; a word in single quotes is taken literally ('' in
// it is one quote) and is never a keyword. Keywords (ForceRemove, NoRemove, Delete,
// val, the value types s and d), replacement names and root names (platform/registry.h,
// long or short) are compared without regard to case.
// The text is parsed whole before anything is written, so a syntax error leaves the
// registry untouched.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "result.h"

namespace registrar {

struct ScriptEntry {
  enum class Kind { kKey, kValue };  // `name ...` or `val name = ...`
  enum class Flag { kNone, kForceRemove, kNoRemove, kDelete };

  Kind kind = Kind::kKey;
  Flag flag = Flag::kNone;
  std::string name;
  // A key's default value, or the value of a `val` entry (always present for those).
  std::optional<platform::RegValue> value;
  std::vector<ScriptEntry> children;  // keys only
};

struct ScriptRoot {
  platform::RegRoot root = platform::RegRoot::kClassesRoot;
  std::vector<ScriptEntry> entries;
};

struct Script {
  std::vector<ScriptRoot> roots;
};

// Deeper nesting than this is refused as a syntax error (the registry itself allows
// 512 levels; scripts use four).
inline constexpr std::size_t kMaxScriptDepth = 64;

// Parses a script whose replacements have already been expanded. The text ends at its
// end or at its first NUL byte. kSyntaxError for any syntax error.
platform::Result<Script> ParseScript(std::string_view text);

// The names a script may use between percent signs, e.g. %MODULE%.
class Replacements {
 public:
  // Names longer than this end the expansion with kNameTooLong.
  static constexpr std::size_t kMaxNameLength = 31;

  // The value of `name`, compared without regard to case; null when unknown.
  const std::string* Find(std::string_view name) const;

  // The registrar's own set for a library at `module_path`: MODULE (the path with every
  // single quote doubled, for use inside a quoted word), MODULE_RAW (the path as it
  // is) and APPID (empty).
  static Replacements ForModule(const std::string& module_path);

 private:
  std::vector<std::pair<std::string, std::string>> m_items;
};

// `text` with every %name% replaced by its value and every %% by one '%'. kNameTooLong
// for a name longer than 31 characters; kSyntaxError for an unknown name or a '%'
// without its closing '%'.
platform::Result<std::string> ExpandReplacements(std::string_view text,
                                                 const Replacements& replacements);

}  // namespace registrar
