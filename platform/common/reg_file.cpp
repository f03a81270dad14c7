// The REGEDIT4 parser (format in platform/reg_file.h).
#include "platform/reg_file.h"

#include <algorithm>
#include <charconv>

#include "platform/mbcs.h"
#include "platform/text_cursor.h"
#include "platform/trim.h"

namespace platform {
namespace {

// `path` is `parent` or lies below it.
bool IsAtOrBelow(std::string_view path, std::string_view parent) {
  if (path.size() == parent.size()) return EqualNoCase(path, parent);
  return path.size() > parent.size() && path[parent.size()] == '\\' &&
         EqualNoCase(path.substr(0, parent.size()), parent);
}

std::string_view TrimBlanks(std::string_view s) {
  return Trim(TrimEnd(s, " \t\r"), " \t");
}

// A quoted text with the \\ and \" escapes; the cursor stands on the opening quote.
bool ParseQuoted(TextCursor& c, std::string* out) {
  if (!c.Consume('"')) return false;
  out->clear();
  while (!c.AtEnd()) {
    char ch = c.Take();
    if (ch == '"') return true;
    if (ch == '\\' && (c.Peek() == '\\' || c.Peek() == '"')) ch = c.Take();
    out->push_back(ch);
  }
  return false;  // no closing quote
}

// One to `max_digits` hex digits as a number, and no more digits after them.
bool ParseHexNumber(TextCursor& c, std::size_t max_digits, std::uint32_t* value) {
  const std::string_view rest = c.Rest();
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), *value, 16);
  const auto digits = static_cast<std::size_t>(end - rest.data());
  c.Advance(digits);
  return error == std::errc() && digits <= max_digits;
}

// Comma-separated bytes of one or two hex digits; may be empty.
bool ParseHexBytes(TextCursor& c, std::vector<unsigned char>* bytes) {
  bytes->clear();
  c.SkipBlanks();
  if (c.AtEnd()) return true;
  while (true) {
    c.SkipBlanks();
    std::uint32_t b = 0;
    if (!ParseHexNumber(c, 2, &b)) return false;
    bytes->push_back(static_cast<unsigned char>(b));
    c.SkipBlanks();
    if (c.AtEnd()) return true;
    if (!c.Consume(',')) return false;
  }
}

enum class LineResult { kValue, kDelete, kMalformed };

// `"name"=data` or `@=data`.
LineResult ParseValueLine(std::string_view line, std::string* name, RegValue* value) {
  TextCursor c(line);
  if (c.Consume('@')) {
    name->clear();
  } else if (!ParseQuoted(c, name)) {
    return LineResult::kMalformed;
  }
  c.SkipBlanks();
  if (!c.Consume('=')) return LineResult::kMalformed;
  c.SkipBlanks();
  if (c.Peek() == '"') {
    std::string text;
    if (!ParseQuoted(c, &text)) return LineResult::kMalformed;
    *value = RegValue::String(text);
  } else if (c.Consume('-')) {
    c.SkipBlanks();
    return c.AtEnd() ? LineResult::kDelete : LineResult::kMalformed;
  } else if (c.ConsumeWordNoCase("dword:")) {
    std::uint32_t v = 0;
    if (!ParseHexNumber(c, 8, &v)) return LineResult::kMalformed;
    *value = RegValue::Dword(v);
  } else if (c.ConsumeWordNoCase("hex")) {
    value->type = kRegBinary;
    if (c.Consume('(')) {
      std::uint32_t type = 0;
      if (!ParseHexNumber(c, 8, &type) || !c.Consume(')')) return LineResult::kMalformed;
      value->type = type;
    }
    if (!c.Consume(':')) return LineResult::kMalformed;
    if (!ParseHexBytes(c, &value->data)) return LineResult::kMalformed;
  } else {
    return LineResult::kMalformed;
  }
  c.SkipBlanks();
  return c.AtEnd() ? LineResult::kValue : LineResult::kMalformed;
}

// The next logical line: physical lines ending in a backslash continue on the next.
std::string NextLogicalLine(TextCursor& c) {
  std::string line(TrimBlanks(c.TakeLine()));
  while (!line.empty() && line.back() == '\\' && !c.AtEnd()) {
    line.pop_back();
    line += TrimBlanks(c.TakeLine());
  }
  return line;
}

}  // namespace

std::optional<RegFile> ParseRegFile(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TextCursor c(text);
  std::string header;
  while (!c.AtEnd() && header.empty()) header = NextLogicalLine(c);
  if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
    return std::nullopt;
  }
  RegFile file;
  std::vector<RegFileKey>& keys = file.keys;
  RegFileKey* current = nullptr;
  while (!c.AtEnd()) {
    std::string line = NextLogicalLine(c);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      current = nullptr;
      if (line.size() < 3 || line.back() != ']') continue;
      std::string_view path = std::string_view(line).substr(1, line.size() - 2);
      if (path.front() == '-') {
        path.remove_prefix(1);
        std::erase_if(keys, [&](const RegFileKey& k) { return IsAtOrBelow(k.path, path); });
        continue;
      }
      while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
      if (path.empty()) continue;
      for (RegFileKey& k : keys) {
        if (EqualNoCase(k.path, path)) current = &k;
      }
      if (current == nullptr) {
        keys.push_back(RegFileKey{std::string(path), {}});
        current = &keys.back();
      }
      continue;
    }
    std::string name;
    RegValue value;
    LineResult r = ParseValueLine(line, &name, &value);
    if (r == LineResult::kMalformed || current == nullptr) continue;
    auto& values = current->values;
    auto same = [&](const auto& nv) { return EqualNoCase(nv.first, name); };
    if (r == LineResult::kDelete) {
      std::erase_if(values, same);
      continue;
    }
    auto it = std::find_if(values.begin(), values.end(), same);
    if (it != values.end()) {
      it->second = std::move(value);  // a later line replaces the value, as an import does
    } else {
      values.emplace_back(std::move(name), std::move(value));
    }
  }
  return file;
}

}  // namespace platform
