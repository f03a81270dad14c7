// A page as the web server runs it: its HTML, its script blocks and its language
// directive turned into one script for an ActiveX Scripting engine. HTML is written by
// `Response.WriteBlock n` (the page's n-th block of HTML), `<%= x %>` by
// `Response.Write (x)`, and code blocks stand as written. Each block starts a line of
// the script, and the script remembers which line of the page each of its lines came
// from, so that an error names the page's own line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagehost {

enum class Language { kVBScript, kJScript };

struct Page {
  Language language = Language::kVBScript;
  std::string script;               // the text the engine parses
  std::vector<std::string> blocks;  // the HTML blocks, by number
  std::vector<int> page_lines;      // the page's line (1-based) of each script line
  // The page's line of the script's line `script_line` (0-based, as engines count).
  int PageLine(unsigned long script_line) const;
};

struct Translation {
  bool ok = false;
  Page page;
  std::string error;  // why the page could not be read, with its line
};

// Splits `text` into blocks. A `<%@ ... %>` directive may name the language
// (Language="VBScript" or "JScript", without regard to case); VBScript is the default.
// HTML made only of white space before the first script block is left out: it would
// stand before VBScript's `Option Explicit`, which must come first.
Translation TranslatePage(std::string_view text);

}  // namespace pagehost
