#include "script.h"

#include <array>

#include "cursor.h"

namespace registrar {
namespace {

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct Token {
  enum class Kind { kEnd, kWord, kOpen, kClose, kEquals };
  Kind kind = Kind::kEnd;
  std::string text;
  bool quoted = false;

  bool IsKeyword(std::string_view keyword) const {
    return kind == Kind::kWord && !quoted && EqualsNoCase(text, keyword);
  }
};

// Splits the text into words, quoted words and the marks '{', '}' and '='. A '{' is a
// mark only when white space (or the end) follows it, since class keys such as
// {3E5C...} are bare words that start with a brace.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : cursor_(text) {}

  HResult Next(Token* token) {
    token->text.clear();
    token->quoted = false;
    while (IsSpace(cursor_.Peek())) cursor_.Advance();
    const char c = cursor_.Peek();
    if (c == '\0') {  // the end of the text, or a NUL that ends it
      token->kind = Token::Kind::kEnd;
      return kOk;
    }
    if (c == '\'') return Quoted(token);
    if (c == '}' || c == '=') {
      cursor_.Advance();
      token->kind = c == '}' ? Token::Kind::kClose : Token::Kind::kEquals;
      return kOk;
    }
    if (c == '{' && (IsSpace(cursor_.Peek(1)) || cursor_.Peek(1) == '\0')) {
      cursor_.Advance();
      token->kind = Token::Kind::kOpen;
      return kOk;
    }
    const std::size_t start = cursor_.Position();
    while (cursor_.Peek() != '\0' && !IsSpace(cursor_.Peek())) cursor_.Advance();
    token->kind = Token::Kind::kWord;
    token->text.assign(cursor_.Since(start));
    return kOk;
  }

 private:
  HResult Quoted(Token* token) {
    cursor_.Advance();  // the opening quote
    for (;;) {
      const char c = cursor_.Peek();
      if (c == '\0') return kDispException;  // no closing quote
      if (c == '\'') {
        if (cursor_.Peek(1) != '\'') break;
        token->text.push_back('\'');
        cursor_.Advance(2);
        continue;
      }
      token->text.push_back(c);
      cursor_.Advance();
    }
    cursor_.Advance();  // the closing quote
    token->kind = Token::Kind::kWord;
    token->quoted = true;
    return kOk;
  }

  Cursor cursor_;
};

bool ParseRoot(std::string_view name, Root* root) {
  static constexpr std::array<std::pair<std::string_view, Root>, 14> kRoots = {{
      {"HKEY_CLASSES_ROOT", Root::kClassesRoot},
      {"HKEY_CURRENT_USER", Root::kCurrentUser},
      {"HKEY_LOCAL_MACHINE", Root::kLocalMachine},
      {"HKEY_USERS", Root::kUsers},
      {"HKEY_PERFORMANCE_DATA", Root::kPerformanceData},
      {"HKEY_DYN_DATA", Root::kDynData},
      {"HKEY_CURRENT_CONFIG", Root::kCurrentConfig},
      {"HKCR", Root::kClassesRoot},
      {"HKCU", Root::kCurrentUser},
      {"HKLM", Root::kLocalMachine},
      {"HKU", Root::kUsers},
      {"HKPD", Root::kPerformanceData},
      {"HKDD", Root::kDynData},
      {"HKCC", Root::kCurrentConfig},
  }};
  for (const auto& [text, value] : kRoots) {
    if (EqualsNoCase(name, text)) {
      *root = value;
      return true;
    }
  }
  return false;
}

// A DWORD written in decimal or as 0x followed by hexadecimal digits; the whole word
// must be the number and it must fit in 32 bits.
bool ParseDword(std::string_view text, std::uint32_t* number) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && FoldCase(text[1]) == 'x') {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    unsigned digit;
    const char f = FoldCase(c);
    if (f >= '0' && f <= '9') {
      digit = static_cast<unsigned>(f - '0');
    } else if (base == 16 && f >= 'a' && f <= 'f') {
      digit = static_cast<unsigned>(f - 'a' + 10);
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
  explicit Parser(std::string_view text) : tokens_(text) {}

  HResult Parse(Script* script) {
    Token token;
    for (;;) {
      if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
      if (token.kind == Token::Kind::kEnd) return kOk;
      ScriptRoot root;
      if (token.kind != Token::Kind::kWord || !ParseRoot(token.text, &root.root)) {
        return kDispException;
      }
      if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
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
    if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
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
        if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
        if (token.kind != Token::Kind::kWord) return kDispException;
      }
      entry.name = std::move(token.text);
      const bool is_key = entry.kind == ScriptEntry::Kind::kKey;
      if (is_key && entry.name.empty()) return kDispException;
      // Whole trees are only ever removed by a single name, never by a path.
      const bool removes_tree =
          entry.flag == ScriptEntry::Flag::kForceRemove || entry.flag == ScriptEntry::Flag::kDelete;
      if (removes_tree && entry.name.find('\\') != std::string::npos) return kDispException;

      if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
      if (token.kind == Token::Kind::kEquals) {
        if (entry.flag == ScriptEntry::Flag::kDelete) return kDispException;
        if (HResult hr = Value(&entry); Failed(hr)) return hr;
        if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
      } else if (!is_key) {
        return kDispException;  // `val name` without a value
      }
      if (token.kind == Token::Kind::kOpen) {
        if (!is_key || entry.flag == ScriptEntry::Flag::kDelete) return kDispException;
        if (HResult hr = Entries(depth + 1, &entry.children); Failed(hr)) return hr;
        if (HResult hr = tokens_.Next(&token); Failed(hr)) return hr;
      }
      entries->push_back(std::move(entry));
    }
    return kOk;
  }

  // `s 'text'` or `d 'number'` after an '='.
  HResult Value(ScriptEntry* entry) {
    Token type;
    Token data;
    if (HResult hr = tokens_.Next(&type); Failed(hr)) return hr;
    if (HResult hr = tokens_.Next(&data); Failed(hr)) return hr;
    if (data.kind != Token::Kind::kWord) return kDispException;
    if (type.IsKeyword("s")) {
      entry->value = RegistryValue::String(std::move(data.text));
      return kOk;
    }
    std::uint32_t number = 0;
    if (type.IsKeyword("d") && ParseDword(data.text, &number)) {
      entry->value = RegistryValue::Dword(number);
      return kOk;
    }
    return kDispException;
  }

  Tokenizer tokens_;
};

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

HResult ParseScript(std::string_view text, Script* script) {
  Script parsed;
  Parser parser(text);
  if (HResult hr = parser.Parse(&parsed); Failed(hr)) return hr;
  *script = std::move(parsed);
  return kOk;
}

void Replacements::Add(std::string name, std::string value) {
  items_.emplace_back(std::move(name), std::move(value));
}

const std::string* Replacements::Find(std::string_view name) const {
  for (const auto& [key, value] : items_) {
    if (EqualsNoCase(key, name)) return &value;
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
