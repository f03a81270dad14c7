// Text helpers shared by the access control and its readers: trimming, membership in
// a comma-separated list, the search for the key=value line whose value begins a
// text, system error texts, INI reading and the installed-file search. A class
// without data; callers make a local object wherever they need one of them.
#pragma once

#include <cstdint>
#include <list>
#include <string>

class CNxFunctions {
 public:
  virtual ~CNxFunctions() = default;

  // A copy without leading and trailing white space (blank, tab, line feed, vertical
  // tab, form feed, carriage return).
  std::string Trim(const std::string& text);

  // True when one item of the comma-separated `list` (each item trimmed) equals `name`
  // without regard to case. `name` itself is not trimmed; an empty list holds nothing.
  bool IsInList(const std::string& list, const std::string& name);

  // The first line of `lines` whose value (the text after the first `separator`,
  // trimmed) begins `target` without regard to case, whole and as listed; empty when
  // none does. The first such line wins, not the longest, and an empty value begins
  // every target. Lines without the separator are skipped.
  void FindEntryByValuePrefix(std::string& out, const std::list<std::string>& lines,
                              const std::string& target, char separator);

  // The same search where a value must also end at a path boundary of `target`: it is
  // empty, ends with "\" or "/", or is followed in `target` by "\", "/" or the end.
  // A site's folder 'C:\web\site1' so covers 'C:\web\site1\x.asp' but not
  // 'C:\web\site10\x.asp'.
  void FindEntryByFolderPrefix(std::string& out, const std::list<std::string>& lines,
                               const std::string& target, char separator);

  // The system's message text for `code`, line break included; when the system has
  // none, "The system cannot find error message for error number <code>".
  void GetSystemErrorText(std::string& out, int code);

  // The value of `key` in `section` of the INI file `file`, trimmed; empty when the
  // file, section or key is missing or the value is empty. Values of any length.
  void ReadIniString(std::string& out, const std::string& section, const std::string& key,
                     const std::string& file);

  // Appends the lines of `section` (each trimmed) to `lines`; nothing when the file or
  // section is missing or empty. Lines are split where the profile reader ends them,
  // so any byte of the code page may appear inside a line.
  void ReadIniSection(const std::string& section, const std::string& file,
                      std::list<std::string>& lines);

  // Appends the pieces of `text` between `separator`s, each trimmed. Empty pieces
  // between two separators are kept; a separator at the very end adds none.
  void SplitToList(std::list<std::string>& lines, const std::string& text, char separator);

  // The full path of `file_name` in the installation folder (registry value
  // InstallationPath of HKEY_LOCAL_MACHINE\SOFTWARE\Halverd\Tarnwick) when an entry of
  // that path exists; otherwise false with an error text in `out`. An empty folder
  // counts as a missing file.
  bool GetInstalledFilePath(std::string& out, const std::string& file_name);

  // Compares `length` bytes without regard to case, by the rules of the process's
  // multibyte code page: a two-byte character folds and compares as one unit.
  static bool EqualNoCase(const char* a, const char* b, std::size_t length);
};
