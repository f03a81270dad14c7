#include "script.h"

#include <charconv>

#include "platform/mbcs.h"
#include "platform/text_cursor.h"

namespace registrar {
namespace {

using Flag = ScriptEntry::Flag;
using platform::Result;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct Token {
  enum class Kind { kEnd, kWord, kOpen, kClose, kEquals, kBad };  // kBad: a quote left open
  Kind kind = Kind::kEnd;
  std::string text;
  bool quoted = false;

  bool IsWord() const { return kind == Kind::kWord; }
  bool IsKeyword(std::string_view keyword) const {
    return IsWord() && !quoted && platform::EqualNoCase(text, keyword);
  }
};

// Splits the text into words, quoted words and the marks '{', '}' and '='. A '{' is a
// mark only when white space (or the end) follows it, since class keys such as
// {3E5C...} are bare words that start with a brace.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : m_cursor(text) {}

  Token Next() {
    while (IsSpace(m_cursor.Peek())) m_cursor.Advance();
    const char c = m_cursor.Peek();
    const char after = m_cursor.Peek(1);
    if (c == '\0') return {};  // the end of the text, or a NUL that ends it
    if (c == '\'') return Quoted();
    if (c == '}' || c == '=' || (c == '{' && (IsSpace(after) || after == '\0'))) {
      m_cursor.Advance();
      const Token::Kind mark = c == '}'   ? Token::Kind::kClose
                               : c == '=' ? Token::Kind::kEquals
                                          : Token::Kind::kOpen;
      return {mark, {}, false};
    }
    const std::size_t start = m_cursor.Position();
    while (m_cursor.Peek() != '\0' && !IsSpace(m_cursor.Peek())) m_cursor.Advance();
    return {Token::Kind::kWord, std::string(m_cursor.Since(start)), false};
  }

 private:
  // A word in single quotes, '' standing for one quote.
  Token Quoted() {
    Token token{Token::Kind::kWord, {}, true};
    m_cursor.Advance();
    for (char c = m_cursor.Peek(); c != '\'' || m_cursor.Peek(1) == '\''; c = m_cursor.Peek()) {
      if (c == '\0') return {Token::Kind::kBad, {}, false};
      token.text.push_back(c);
      m_cursor.Advance(c == '\'' ? 2 : 1);
    }
    m_cursor.Advance();
    return token;
  }

  platform::TextCursor m_cursor;
};

// A key's name may be a path of names, none of them empty: the registry skips empty
// names, so 'a\' or 'a\\b' would name another key than the one written (its parent,
// say), and unregistering would delete that one.
bool IsKeyPath(std::string_view name) {
  return !name.empty() && name.front() != '\\' && name.back() != '\\' &&
         name.find("\\\\") == std::string_view::npos;
}

// A DWORD written in decimal or as 0x followed by hexadecimal digits; the whole word
// must be the number and it must fit in 32 bits.
std::optional<std::uint32_t> ParseDword(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint32_t number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number, base);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : m_tokens(text) {}

  Result<Script> Parse() {
    Script script;
    for (Token token = m_tokens.Next(); token.kind != Token::Kind::kEnd; token = m_tokens.Next()) {
      const std::optional<platform::RegRoot> root =
          token.IsWord() ? platform::FindRegRoot(token.text, platform::RegRootForms::kLongOrShort)
                         : std::nullopt;
      if (!root || m_tokens.Next().kind != Token::Kind::kOpen) return kSyntaxError;
      Result<std::vector<ScriptEntry>> entries = Entries(1);
      if (!entries) return entries.failure();
      script.roots.push_back({*root, std::move(*entries)});
    }
    return script;
  }

 private:
  // The entries of one block, up to and including its closing '}'.
  Result<std::vector<ScriptEntry>> Entries(std::size_t depth) {
    if (depth > kMaxScriptDepth) return kSyntaxError;
    std::vector<ScriptEntry> entries;
    Token token = m_tokens.Next();
    while (token.kind != Token::Kind::kClose) {
      if (!token.IsWord()) return kSyntaxError;
      ScriptEntry entry;
      if (token.IsKeyword("ForceRemove")) {
        entry.flag = Flag::kForceRemove;
      } else if (token.IsKeyword("NoRemove")) {
        entry.flag = Flag::kNoRemove;
      } else if (token.IsKeyword("Delete")) {
        entry.flag = Flag::kDelete;
      } else if (token.IsKeyword("val")) {
        entry.kind = ScriptEntry::Kind::kValue;
      }
      if (entry.flag != Flag::kNone || entry.kind == ScriptEntry::Kind::kValue) {
        token = m_tokens.Next();
        if (!token.IsWord()) return kSyntaxError;
      }
      entry.name = std::move(token.text);
      const bool is_key = entry.kind == ScriptEntry::Kind::kKey;
      if (is_key && !IsKeyPath(entry.name)) return kSyntaxError;
      // Whole trees are only ever removed by a single name, never by a path.
      const bool removes_tree = entry.flag == Flag::kForceRemove || entry.flag == Flag::kDelete;
      if (removes_tree && entry.name.find('\\') != std::string::npos) return kSyntaxError;

      token = m_tokens.Next();
      if (token.kind == Token::Kind::kEquals) {
        if (entry.flag == Flag::kDelete) return kSyntaxError;
        Result<platform::RegValue> value = Value();
        if (!value) return value.failure();
        entry.value = std::move(*value);
        token = m_tokens.Next();
      } else if (!is_key) {
        return kSyntaxError;  // `val name` without a value
      }
      if (token.kind == Token::Kind::kOpen) {
        if (!is_key || entry.flag == Flag::kDelete) return kSyntaxError;
        Result<std::vector<ScriptEntry>> children = Entries(depth + 1);
        if (!children) return children.failure();
        entry.children = std::move(*children);
        token = m_tokens.Next();
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  }

  // `s 'text'` or `d 'number'` after an '='.
  Result<platform::RegValue> Value() {
    const Token type = m_tokens.Next();
    const Token data = m_tokens.Next();
    if (!data.IsWord()) return kSyntaxError;
    if (type.IsKeyword("s")) return platform::RegValue::String(data.text);
    const std::optional<std::uint32_t> number = ParseDword(data.text);
    if (!type.IsKeyword("d") || !number) return kSyntaxError;
    return platform::RegValue::Dword(*number);
  }

  Tokenizer m_tokens;
};

// Doubles every single quote, so that the text can stand inside a quoted word.
std::string QuoteForScript(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

}  // namespace

Result<Script> ParseScript(std::string_view text) {
  return Parser(text).Parse();
}

const std::string* Replacements::Find(std::string_view name) const {
  for (const auto& [key, value] : m_items) {
    if (platform::EqualNoCase(key, name)) return &value;
  }
  return nullptr;
}

Replacements Replacements::ForModule(const std::string& module_path) {
  Replacements r;
  r.m_items = {{"Module", QuoteForScript(module_path)}, {"Module_Raw", module_path}, {"APPID", ""}};
  return r;
}

Result<std::string> ExpandReplacements(std::string_view text, const Replacements& replacements) {
  // The script is a C string to the registrar: a NUL ends it.
  text = text.substr(0, text.find('\0'));
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      result.append(text.substr(pos));
      break;
    }
    result.append(text.substr(pos, open - pos));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) return kSyntaxError;
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      result.push_back('%');
    } else if (name.size() > Replacements::kMaxNameLength) {
      return kNameTooLong;
    } else if (const std::string* value = replacements.Find(name)) {
      result.append(*value);
    } else {
      return kSyntaxError;
    }
    pos = close + 1;
  }
  return result;
}

}  // namespace registrar
