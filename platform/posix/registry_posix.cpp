// The registry store on POSIX: a REGEDIT4 text file (format in platform/registry.h),
// read afresh at every open. An open key holds a copy of its values, so a handle never
// sees the file change under it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

#include "platform/errors.h"
#include "platform/posix/text_cursor.h"
#include "platform/registry.h"

namespace platform {
namespace {

using posix::EqualNoCase;

// `path` is `parent` or lies below it.
bool IsAtOrBelow(std::string_view path, std::string_view parent) {
  if (path.size() == parent.size()) return EqualNoCase(path, parent);
  return path.size() > parent.size() && path[parent.size()] == '\\' &&
         EqualNoCase(path.substr(0, parent.size()), parent);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted text with the \\ and \" escapes; the cursor stands on the opening quote.
bool ParseQuoted(posix::TextCursor& c, std::string* out) {
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

// Up to `max_digits` hex digits as a number; false when there are none.
bool ParseHexNumber(posix::TextCursor& c, std::size_t max_digits, std::uint32_t* value) {
  std::uint32_t v = 0;
  std::size_t digits = 0;
  while (digits < max_digits && HexDigit(c.Peek()) >= 0) {
    v = (v << 4) | static_cast<std::uint32_t>(HexDigit(c.Take()));
    ++digits;
  }
  *value = v;
  return digits > 0 && HexDigit(c.Peek()) < 0;
}

// Comma-separated bytes of one or two hex digits; may be empty.
bool ParseHexBytes(posix::TextCursor& c, std::vector<unsigned char>* bytes) {
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
LineResult ParseValueLine(std::string_view line, std::string* name, RegFileValue* value) {
  posix::TextCursor c(line);
  if (c.Consume('@')) {
    name->clear();
  } else if (!ParseQuoted(c, name)) {
    return LineResult::kMalformed;
  }
  c.SkipBlanks();
  if (!c.Consume('=')) return LineResult::kMalformed;
  c.SkipBlanks();
  value->data.clear();
  if (c.Peek() == '"') {
    std::string text;
    if (!ParseQuoted(c, &text)) return LineResult::kMalformed;
    value->type = kRegSz;
    value->data.assign(text.begin(), text.end());
    value->data.push_back(0);
  } else if (c.Consume('-')) {
    c.SkipBlanks();
    return c.AtEnd() ? LineResult::kDelete : LineResult::kMalformed;
  } else if (c.ConsumeWordNoCase("dword:")) {
    std::uint32_t v = 0;
    if (!ParseHexNumber(c, 8, &v)) return LineResult::kMalformed;
    value->type = kRegDword;
    for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<unsigned char>(v >> (8 * i)));
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
  if (!c.AtEnd() || c.Failed()) return LineResult::kMalformed;
  return LineResult::kValue;
}

// The next logical line: physical lines ending in a backslash continue on the next.
std::string NextLogicalLine(posix::TextCursor& c) {
  std::string line(TrimBlanks(c.TakeLine()));
  while (!line.empty() && line.back() == '\\' && !c.AtEnd()) {
    line.pop_back();
    line += TrimBlanks(c.TakeLine());
  }
  return line;
}

const char* RootName(RegKey root) {
  static constexpr const char* kNames[] = {
      "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
      "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  for (std::uint32_t i = 0; i < 7; ++i) {
    if (root == PredefinedRegKey(0x80000000u + i)) return kNames[i];
  }
  return nullptr;
}

// An open key: its path and a copy of its values.
struct OpenKey {
  std::string path;
  std::vector<std::pair<std::string, RegFileValue>> values;
};

std::mutex g_handles_mutex;
std::set<OpenKey*> g_handles;

OpenKey* Lookup(RegKey key) {
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  auto it = g_handles.find(reinterpret_cast<OpenKey*>(key));
  return it == g_handles.end() ? nullptr : *it;
}

const RegFileValue* FindValue(const OpenKey& key, const std::string& name) {
  for (const auto& [n, v] : key.values) {
    if (EqualNoCase(n, name)) return &v;
  }
  return nullptr;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text->append(chunk, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace

bool ParseRegFile(std::string_view text, std::vector<RegFileKey>* keys, std::size_t* skipped) {
  keys->clear();
  std::size_t bad = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  posix::TextCursor c(text);
  std::string header;
  while (!c.AtEnd() && header.empty()) header = NextLogicalLine(c);
  if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
    if (skipped) *skipped = 0;
    return false;
  }
  RegFileKey* current = nullptr;
  while (!c.AtEnd()) {
    std::string line = NextLogicalLine(c);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      current = nullptr;
      if (line.size() < 3 || line.back() != ']') {
        ++bad;
        continue;
      }
      std::string_view path = std::string_view(line).substr(1, line.size() - 2);
      if (path.front() == '-') {
        path.remove_prefix(1);
        std::erase_if(*keys, [&](const RegFileKey& k) { return IsAtOrBelow(k.path, path); });
        continue;
      }
      while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
      if (path.empty()) {
        ++bad;
        continue;
      }
      for (RegFileKey& k : *keys) {
        if (EqualNoCase(k.path, path)) current = &k;
      }
      if (current == nullptr) {
        keys->push_back(RegFileKey{std::string(path), {}});
        current = &keys->back();
      }
      continue;
    }
    std::string name;
    RegFileValue value;
    LineResult r = ParseValueLine(line, &name, &value);
    if (r == LineResult::kMalformed || current == nullptr) {
      ++bad;
      continue;
    }
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
  if (skipped) *skipped = bad;
  return true;
}

std::string RegistryFilePath() {
  const char* path = std::getenv("KESTRA_REGISTRY_FILE");
  return (path != nullptr && *path != '\0') ? path : "/etc/kestra/registry.reg";
}

int RegOpenForRead(RegKey root, const std::string& subkey, RegKey* key, RegView) {
  *key = kNullRegKey;
  const char* root_name = RootName(root);
  if (root_name == nullptr) return syserr::kInvalidHandle;
  if (!subkey.empty() && subkey.front() == '\\') return syserr::kBadPathname;
  std::string path = root_name;
  std::string_view sub = subkey;
  while (!sub.empty() && sub.back() == '\\') sub.remove_suffix(1);
  if (!sub.empty()) path += "\\" + std::string(sub);

  std::string text;
  std::vector<RegFileKey> keys;
  if (ReadFile(RegistryFilePath(), &text)) ParseRegFile(text, &keys);
  auto opened = std::make_unique<OpenKey>();
  opened->path = path;
  bool exists = sub.empty();  // the roots always exist
  for (RegFileKey& k : keys) {
    if (EqualNoCase(k.path, path)) {
      opened->values = std::move(k.values);
      exists = true;
    } else if (IsAtOrBelow(k.path, path)) {
      exists = true;
    }
  }
  if (!exists) return syserr::kFileNotFound;
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  OpenKey* raw = opened.release();
  g_handles.insert(raw);
  *key = reinterpret_cast<RegKey>(raw);
  return syserr::kSuccess;
}

int RegQueryValueInfo(RegKey key, const std::string& name, std::uint32_t* type,
                      std::uint32_t* size) {
  OpenKey* k = Lookup(key);
  if (k == nullptr) return syserr::kInvalidHandle;
  const RegFileValue* v = FindValue(*k, name);
  if (v == nullptr) return syserr::kFileNotFound;
  *type = v->type;
  *size = static_cast<std::uint32_t>(v->data.size());
  return syserr::kSuccess;
}

int RegQueryValueData(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                      std::uint32_t* size) {
  OpenKey* k = Lookup(key);
  if (k == nullptr) return syserr::kInvalidHandle;
  const RegFileValue* v = FindValue(*k, name);
  if (v == nullptr) return syserr::kFileNotFound;
  *type = v->type;
  std::uint32_t needed = static_cast<std::uint32_t>(v->data.size());
  if (data == nullptr || *size < needed) {
    *size = needed;
    return data == nullptr ? syserr::kSuccess : syserr::kMoreData;
  }
  if (needed > 0) std::memcpy(data, v->data.data(), needed);
  *size = needed;
  return syserr::kSuccess;
}

void RegClose(RegKey key) {
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  auto it = g_handles.find(reinterpret_cast<OpenKey*>(key));
  if (it == g_handles.end()) return;
  delete *it;
  g_handles.erase(it);
}

}  // namespace platform
