// A bounds-checked cursor over text read from outside (INI files, registry files).
// Reads past the end do nothing and set a sticky failure flag, so a parser checks once
// at the end of an item instead of after every byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform::posix {

// Names in INI and registry files match without regard to ASCII letter case, as the
// Windows profile and registry functions match them.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

class TextCursor {
 public:
  explicit TextCursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Failed() const { return failed_; }
  std::size_t Remaining() const { return AtEnd() ? 0 : text_.size() - pos_; }
  std::string_view Rest() const { return text_.substr(pos_ < text_.size() ? pos_ : text_.size()); }

  // The next byte without taking it; '\0' at the end (and no failure).
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  // Takes one byte; at the end returns '\0' and fails.
  char Take() {
    if (AtEnd()) {
      failed_ = true;
      return '\0';
    }
    return text_[pos_++];
  }

  // Takes `c` if it comes next.
  bool Consume(char c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // Takes `word` if it comes next, comparing letters without regard to case.
  bool ConsumeWordNoCase(std::string_view word) {
    if (Remaining() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (Lower(text_[pos_ + i]) != Lower(word[i])) return false;
    }
    pos_ += word.size();
    return true;
  }

  // The next line without its end ("\n", "\r\n" or a lone "\r" at the very end).
  std::string_view TakeLine() {
    if (AtEnd()) {
      failed_ = true;
      return {};
    }
    std::size_t end = text_.find('\n', pos_);
    std::size_t next = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = next;
    return line;
  }

  void SkipBlanks() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }

 private:
  static char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace platform::posix
