// The text rules of the access configuration: trimming, membership in a comma-separated
// list, and the search for the key=value line whose value begins a text. Names compare
// without regard to case (platform/mbcs.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace support {

// A copy without leading and trailing white space (blank, tab, line feed, vertical
// tab, form feed, carriage return).
std::string Trim(std::string_view text);

// True when one item of the comma-separated `list` (each item trimmed) equals `name`
// without regard to case. `name` itself is not trimmed; an empty list holds nothing.
bool IsInList(std::string_view list, std::string_view name);

// The pieces of `text` between `separator`s, each trimmed. Empty pieces between two
// separators are kept; a separator at the very end adds none.
std::vector<std::string> SplitTrimmed(std::string_view text, char separator);

// The first line of `lines` whose value (the text after the first `separator`,
// trimmed) begins `target` without regard to case, whole and as listed; empty when
// none does. The first such line wins, not the longest, and an empty value begins
// every target. Lines without the separator are skipped.
std::string FindEntryByValuePrefix(const std::vector<std::string>& lines, std::string_view target,
                                   char separator);

// The same search where a value must also end at a path boundary of `target`: it is
// empty, ends with "\" or "/", or is followed in `target` by "\", "/" or the end.
// A site's folder 'C:\web\site1' so covers 'C:\web\site1\x.asp' but not
// 'C:\web\site10\x.asp'.
std::string FindEntryByFolderPrefix(const std::vector<std::string>& lines, std::string_view target,
                                    char separator);

}  // namespace support
