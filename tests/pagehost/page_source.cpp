#include "page_source.h"

#include <algorithm>
#include <cctype>

namespace pagehost {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

int CountLines(std::string_view text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The value of `name="value"` (or 'value', or a bare word) in a directive.
bool DirectiveValue(std::string_view directive, std::string_view name, std::string* value) {
  for (std::size_t at = 0; at + name.size() <= directive.size(); ++at) {
    if (!EqualNoCase(directive.substr(at, name.size()), name)) continue;
    std::size_t i = at + name.size();
    while (i < directive.size() && directive[i] == ' ') ++i;
    if (i >= directive.size() || directive[i] != '=') continue;
    ++i;
    while (i < directive.size() && directive[i] == ' ') ++i;
    if (i >= directive.size()) return false;
    const char quote = directive[i];
    std::size_t end;
    if (quote == '"' || quote == '\'') {
      end = directive.find(quote, ++i);
      if (end == std::string_view::npos) return false;
    } else {
      end = i;
      while (end < directive.size() && !std::isspace(static_cast<unsigned char>(directive[end])))
        ++end;
    }
    *value = std::string(directive.substr(i, end - i));
    return true;
  }
  return false;
}

// Appends script text, each of its lines mapped to the page's lines from `page_line`.
void Emit(Page* page, std::string_view text, int page_line) {
  page->script.append(text);
  page->script += '\n';
  const int lines = CountLines(text) + 1;
  for (int i = 0; i < lines; ++i) page->page_lines.push_back(page_line + i);
}

}  // namespace

int Page::PageLine(unsigned long script_line) const {
  if (page_lines.empty()) return 0;
  return script_line < page_lines.size() ? page_lines[script_line] : page_lines.back();
}

Translation TranslatePage(std::string_view text) {
  Translation out;
  Page& page = out.page;
  struct Block {
    enum Kind { kHtml, kCode, kExpression } kind;
    std::string_view text;
    int line;
  };
  std::vector<Block> blocks;
  int line = 1;
  bool seen_script = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find("<%", at);
    const std::string_view html =
        text.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at);
    if (!html.empty() && (seen_script || !IsBlank(html))) {
      blocks.push_back({Block::kHtml, html, line});
    }
    line += CountLines(html);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find("%>", open + 2);
    if (close == std::string_view::npos) {
      out.error = "line " + std::to_string(line) + ": a <% block is not closed";
      return out;
    }
    std::string_view inner = text.substr(open + 2, close - open - 2);
    if (!inner.empty() && inner.front() == '@') {
      std::string language;
      if (DirectiveValue(inner.substr(1), "Language", &language)) {
        if (EqualNoCase(language, "VBScript")) {
          page.language = Language::kVBScript;
        } else if (EqualNoCase(language, "JScript") || EqualNoCase(language, "JavaScript")) {
          page.language = Language::kJScript;
        } else {
          out.error = "line " + std::to_string(line) + ": unknown language " + language;
          return out;
        }
      }
    } else if (!inner.empty() && inner.front() == '=') {
      blocks.push_back({Block::kExpression, inner.substr(1), line});
      seen_script = true;
    } else {
      blocks.push_back({Block::kCode, inner, line});
      seen_script = true;
    }
    line += CountLines(inner);
    at = close + 2;
  }

  const bool vb = page.language == Language::kVBScript;
  for (const Block& b : blocks) {
    switch (b.kind) {
      case Block::kHtml: {
        const std::string n = std::to_string(page.blocks.size());
        page.blocks.emplace_back(b.text);
        Emit(&page, vb ? "Response.WriteBlock " + n : "Response.WriteBlock(" + n + ");", b.line);
        break;
      }
      case Block::kExpression:
        Emit(&page,
             vb ? "Response.Write (" + std::string(b.text) + ")"
                : "Response.Write(" + std::string(b.text) + ");",
             b.line);
        break;
      case Block::kCode:
        Emit(&page, b.text, b.line);
        break;
    }
  }
  out.ok = true;
  return out;
}

}  // namespace pagehost
