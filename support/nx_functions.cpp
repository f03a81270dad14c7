#include "support/nx_functions.h"

#include <cstdio>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/net.h"
#include "platform/profile.h"
#include "support/nx_reg.h"

namespace {

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One character at `*i` (two bytes when a lead byte opens it and its trail byte lies
// within `length`), folded to lower case; `*i` moves past it.
unsigned NextFolded(const char* text, std::size_t length, std::size_t* i) {
  unsigned char lead = static_cast<unsigned char>(text[*i]);
  ++*i;
  if (platform::IsMultibyteLeadByte(lead) && *i < length) {
    unsigned trail = static_cast<unsigned char>(text[*i]);
    ++*i;
    return platform::FoldMultibyteToLower((static_cast<unsigned>(lead) << 8) | trail);
  }
  return platform::FoldMultibyteToLower(lead);
}

// Profile answers are bounded by memory; this bounds the doubling loops besides.
constexpr std::uint32_t kMaxProfileBuffer = 1u << 30;

bool IsFolderEnd(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

bool CNxFunctions::EqualNoCase(const char* a, const char* b, std::size_t length) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < length && j < length) {
    if (NextFolded(a, length, &i) != NextFolded(b, length, &j)) return false;
  }
  return i == j;
}

std::string CNxFunctions::Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsWhite(text[begin])) ++begin;
  while (end > begin && IsWhite(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool CNxFunctions::IsInList(const std::string& list, const std::string& name) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t comma = list.find(',', pos);
    std::size_t end = comma == std::string::npos ? list.size() : comma;
    std::string item = Trim(list.substr(pos, end - pos));
    if (item.size() == name.size() && EqualNoCase(item.data(), name.data(), item.size())) {
      return true;
    }
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return false;
}

namespace {

// Both searches: the first line whose trimmed value begins `target`; with
// `folder_boundary` the value must also end where a folder of `target` ends.
void FindByValuePrefix(CNxFunctions& f, std::string& out, const std::list<std::string>& lines,
                       const std::string& target, char separator, bool folder_boundary) {
  out.clear();
  for (const std::string& line : lines) {
    std::size_t sep = line.find(separator);
    if (sep == std::string::npos) continue;
    std::string value = f.Trim(line.substr(sep + 1));
    std::size_t n = value.size();
    if (n > target.size()) continue;
    if (!CNxFunctions::EqualNoCase(value.data(), target.data(), n)) continue;
    if (folder_boundary && n > 0 && !IsFolderEnd(value[n - 1]) && n < target.size() &&
        !IsFolderEnd(target[n])) {
      continue;
    }
    out = line;
    return;
  }
}

}  // namespace

void CNxFunctions::FindEntryByValuePrefix(std::string& out, const std::list<std::string>& lines,
                                          const std::string& target, char separator) {
  FindByValuePrefix(*this, out, lines, target, separator, false);
}

void CNxFunctions::FindEntryByFolderPrefix(std::string& out, const std::list<std::string>& lines,
                                           const std::string& target, char separator) {
  FindByValuePrefix(*this, out, lines, target, separator, true);
}

void CNxFunctions::GetSystemErrorText(std::string& out, int code) {
  out.clear();
  if (platform::SystemMessageText(code, &out)) return;
  char text[96];
  std::snprintf(text, sizeof text, "The system cannot find error message for error number %d",
                code);
  out = text;
}

void CNxFunctions::ReadIniString(std::string& out, const std::string& section,
                                 const std::string& key, const std::string& file) {
  out.clear();
  for (std::uint32_t size = 256; size <= kMaxProfileBuffer; size *= 2) {
    std::vector<char> buffer(size);
    std::uint32_t n = platform::ProfileString(section, key, buffer.data(), size, file);
    if (n == 0) return;
    if (n == size - 1 && size < kMaxProfileBuffer) continue;  // may not have fitted
    out = Trim(std::string(buffer.data(), n));
    return;
  }
}

void CNxFunctions::ReadIniSection(const std::string& section, const std::string& file,
                                  std::list<std::string>& lines) {
  for (std::uint32_t size = 256; size <= kMaxProfileBuffer; size *= 2) {
    std::vector<char> buffer(size);
    std::uint32_t n = platform::ProfileSection(section, buffer.data(), size, file);
    if (n == 0) return;
    if (n == size - 2 && size < kMaxProfileBuffer) continue;  // may not have fitted
    // The reader ends each line with a NUL: that, and no byte of the text, separates
    // the lines.
    SplitToList(lines, Trim(std::string(buffer.data(), n)), '\0');
    return;
  }
}

void CNxFunctions::SplitToList(std::list<std::string>& lines, const std::string& text,
                               char separator) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t sep = text.find(separator, pos);
    if (sep == std::string::npos) {
      lines.push_back(Trim(text.substr(pos)));
      return;
    }
    lines.push_back(Trim(text.substr(pos, sep - pos)));
    pos = sep + 1;
  }
}

bool CNxFunctions::GetInstalledFilePath(std::string& out, const std::string& file_name) {
  CNxReg reg;
  std::string folder;
  if (!reg.ReadString(folder, reg.GetRootKey("HKEY_LOCAL_MACHINE"), "SOFTWARE\\Halverd\\Tarnwick",
                      "InstallationPath")) {
    out = folder;
    return false;
  }
  if (folder.empty()) {
    // No folder, no file: a path made from it would name the root of a drive.
    platform::SetThreadLastError(platform::syserr::kFileNotFound);
    GetSystemErrorText(out, platform::syserr::kFileNotFound);
    return false;
  }
  std::string path = folder;
  if (path.back() != '\\') path += '\\';
  path += file_name;
  if (platform::FindEntry(path) != 0) {
    GetSystemErrorText(out, platform::ThreadLastError());
    return false;
  }
  out = path;
  return true;
}
