#include "script.h"

#include "cursor.h"
#include "platform/mbcs.h"

namespace registrar {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct Token {
  enum class Kind { kEnd, kWord, kOpen, kClose, kEquals };
  Kind kind = Kind::kEnd;
  std::string text;
  bool quoted = false;

  bool IsKeyword(std::string_view keyword) const {
    return kind == Kind::kWord && !quoted && platform::EqualNoCase(text, keyword);
  }
};

// Splits the text into words, quoted words and the marks '{', '}' and '='. A '{' is a
// mark only when white space (or the end) follows it, since class keys such as
// {3E5C...} are bare words that start with a brace.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : m_cursor(text) {}

  HResult Next(Token* token) {
    token->text.clear();
    token->quoted = false;
    while (IsSpace(m_cursor.Peek())) m_cursor.Advance();
    const char c = m_cursor.Peek();
    if (c == '\0') {  // the end of the text, or a NUL that ends it
      token->kind = Token::Kind::kEnd;
      return kOk;
    }
    if (c == '\'') return Quoted(token);
    if (c == '}' || c == '=') {
      m_cursor.Advance();
      token->kind = c == '}' ? Token::Kind::kClose : Token::Kind::kEquals;
      return kOk;
    }
    if (c == '{' && (IsSpace(m_cursor.Peek(1)) || m_cursor.Peek(1) == '\0')) {
      m_cursor.Advance();
      token->kind = Token::Kind::kOpen;
      return kOk;
    }
    const std::size_t start = m_cursor.Position();
    while (m_cursor.Peek() != '\0' && !IsSpace(m_cursor.Peek())) m_cursor.Advance();
    token->kind = Token::Kind::kWord;
    token->text.assign(m_cursor.Since(start));
    return kOk;
  }

 private:
  HResult Quoted(Token* token) {
    m_cursor.Advance();  // the opening quote
    for (;;) {
      const char c = m_cursor.Peek();
      if (c == '\0') return kDispException;  // no closing quote
      if (c == '\'') {
        if (m_cursor.Peek(1) != '\'') break;
        token->text.push_back('\'');
        m_cursor.Advance(2);
        continue;
      }
      token->text.push_back(c);
      m_cursor.Advance();
    }
    m_cursor.Advance();  // the closing quote
    token->kind = Token::Kind::kWord;
    token->quoted = true;
    return kOk;
  }

  Cursor m_cursor;
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
bool ParseDword(std::string_view text, std::uint32_t* number) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (digit >= base) return false;
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  *number = static_cast<std::uint32_t>(result);
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : m_tokens(text) {}

  HResult Parse(Script* script) {
    Token token;
    for (;;) {
      if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
      if (token.kind == Token::Kind::kEnd) return kOk;
      const std::optional<platform::RegRoot> named =
          token.kind == Token::Kind::kWord
              ? platform::FindRegRoot(token.text, platform::RegRootForms::kLongOrShort)
              : std::nullopt;
      if (!named) return kDispException;
      ScriptRoot root;
      root.root = *named;
      if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
      if (token.kind != Token::Kind::kOpen) return kDispException;
      if (HResult hr = Entries(1, &root.entries); Failed(hr)) return hr;
      script->roots.push_back(std::move(root));
    }
  }

 private:
  // The entries of one block, up to and including its closing '}'.
  HResult Entries(std::size_t depth, std::vector<ScriptEntry>* entries) {
    if (depth > kMaxScriptDepth) return kDispException;
    Token token;
    if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
    while (token.kind != Token::Kind::kClose) {
      if (token.kind != Token::Kind::kWord) return kDispException;
      ScriptEntry entry;
      if (token.IsKeyword("ForceRemove")) {
        entry.flag = ScriptEntry::Flag::kForceRemove;
      } else if (token.IsKeyword("NoRemove")) {
        entry.flag = ScriptEntry::Flag::kNoRemove;
      } else if (token.IsKeyword("Delete")) {
        entry.flag = ScriptEntry::Flag::kDelete;
      } else if (token.IsKeyword("val")) {
        entry.kind = ScriptEntry::Kind::kValue;
      }
      if (entry.flag != ScriptEntry::Flag::kNone || entry.kind == ScriptEntry::Kind::kValue) {
        if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
        if (token.kind != Token::Kind::kWord) return kDispException;
      }
      entry.name = std::move(token.text);
      const bool is_key = entry.kind == ScriptEntry::Kind::kKey;
      if (is_key && !IsKeyPath(entry.name)) return kDispException;
      // Whole trees are only ever removed by a single name, never by a path.
      const bool removes_tree =
          entry.flag == ScriptEntry::Flag::kForceRemove || entry.flag == ScriptEntry::Flag::kDelete;
      if (removes_tree && entry.name.find('\\') != std::string::npos) return kDispException;

      if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
      if (token.kind == Token::Kind::kEquals) {
        if (entry.flag == ScriptEntry::Flag::kDelete) return kDispException;
        if (HResult hr = Value(&entry); Failed(hr)) return hr;
        if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
      } else if (!is_key) {
        return kDispException;  // `val name` without a value
      }
      if (token.kind == Token::Kind::kOpen) {
        if (!is_key || entry.flag == ScriptEntry::Flag::kDelete) return kDispException;
        if (HResult hr = Entries(depth + 1, &entry.children); Failed(hr)) return hr;
        if (HResult hr = m_tokens.Next(&token); Failed(hr)) return hr;
      }
      entries->push_back(std::move(entry));
    }
    return kOk;
  }

  // `s 'text'` or `d 'number'` after an '='.
  HResult Value(ScriptEntry* entry) {
    Token type;
    Token data;
    if (HResult hr = m_tokens.Next(&type); Failed(hr)) return hr;
    if (HResult hr = m_tokens.Next(&data); Failed(hr)) return hr;
    if (data.kind != Token::Kind::kWord) return kDispException;
    if (type.IsKeyword("s")) {
      entry->value = platform::RegValue::String(data.text);
      return kOk;
    }
    std::uint32_t number = 0;
    if (type.IsKeyword("d") && ParseDword(data.text, &number)) {
      entry->value = platform::RegValue::Dword(number);
      return kOk;
    }
    return kDispException;
  }

  Tokenizer m_tokens;
};

}  // namespace

HResult ParseScript(std::string_view text, Script* script) {
  Script parsed;
  Parser parser(text);
  if (HResult hr = parser.Parse(&parsed); Failed(hr)) return hr;
  *script = std::move(parsed);
  return kOk;
}

void Replacements::Add(std::string name, std::string value) {
  m_items.emplace_back(std::move(name), std::move(value));
}

const std::string* Replacements::Find(std::string_view name) const {
  for (const auto& [key, value] : m_items) {
    if (platform::EqualNoCase(key, name)) return &value;
  }
  return nullptr;
}

Replacements Replacements::ForModule(const std::string& module_path) {
  Replacements r;
  r.Add("Module", QuoteForScript(module_path));
  r.Add("Module_Raw", module_path);
  r.Add("APPID", "");
  return r;
}

std::string QuoteForScript(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

HResult ExpandReplacements(std::string_view text, const Replacements& replacements,
                           std::string* out) {
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
    if (close == std::string_view::npos) return kDispException;
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      result.push_back('%');
    } else if (name.size() > Replacements::kMaxNameLength) {
      return kFail;
    } else if (const std::string* value = replacements.Find(name)) {
      result.append(*value);
    } else {
      return kDispException;
    }
    pos = close + 1;
  }
  *out = std::move(result);
  return kOk;
}

}  // namespace registrar
