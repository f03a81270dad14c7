// The configuration's reader (see configuration.h).
#include "access/configuration.h"

#include <climits>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "support/texts.h"

namespace hosting {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;

// A profile answer whatever its length: `read` fills a buffer and returns the bytes it
// used, `slack` short of the size when the answer may not have fitted. Answers are
// bounded by memory; the limit bounds the doubling besides.
template <class Read>
std::string ReadWhole(std::uint32_t slack, Read read) {
  for (std::uint32_t size = 256;; size *= 2) {
    std::vector<char> buffer(size);
    const std::uint32_t n = read(buffer.data(), size);
    if (n != size - slack || size >= (1u << 30)) return std::string(buffer.data(), n);
  }
}

bool Covers(std::string_view folder, std::string_view page) {
  const std::size_t n = folder.size();
  if (n > page.size() || !platform::EqualNoCase(folder, page.substr(0, n))) return false;
  auto folder_end = [](char c) { return c == '\\' || c == '/'; };
  return n == 0 || folder_end(folder[n - 1]) || n == page.size() || folder_end(page[n]);
}

// A value of the key, read afresh (a new open of the registry) at every call. Both
// bitnesses must read the same key, or a site escapes its settings by running in the
// other kind of process: the 32-bit view, and the 64-bit one when it lacks the key.
Result<platform::RegValue> ReadValue(const char* name, std::uint32_t type) {
  Result<platform::RegValue> value = platform::OpenSystemRegistry()->QueryValueOfFirstKey(
      platform::RegRoot::kLocalMachine, support::texts::kConfigKeyPath, name,
      platform::RegView::k32, platform::RegView::k64);
  if (value && (value->type != type || value->data.empty())) return Failure{Cause::kWrongType};
  return value;
}

// The path of `name` in `folder` when an entry of that path exists.
Result<std::string> PathInFolder(const Result<std::string>& folder, const char* name) {
  if (!folder) return folder.failure();
  // No folder, no file: a path made from it would name the root of a drive.
  if (folder->empty()) return Failure{Cause::kSystem, platform::syserr::kFileNotFound};
  std::string path = *folder;
  if (path.back() != '\\') path += '\\';
  path += name;
  if (const Result<void> found = platform::FindEntry(path); !found) return found.failure();
  return path;
}

}  // namespace

std::string Trim(std::string_view text) {
  constexpr std::string_view kWhite = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kWhite) + 1 - first));
}

std::vector<std::string> ListItems(std::string_view list, char separator) {
  std::vector<std::string> items;
  while (!list.empty()) {
    const std::size_t sep = list.find(separator);
    items.push_back(Trim(list.substr(0, sep)));
    if (sep == std::string_view::npos) break;
    list.remove_prefix(sep + 1);
  }
  return items;
}

bool IsInList(std::string_view list, std::string_view name) {
  for (const std::string& item : ListItems(list)) {
    if (platform::EqualNoCase(item, name)) return true;
  }
  return false;
}

bool HasKey(platform::RegView view) {
  return platform::OpenSystemRegistry()
      ->OpenKey(platform::RegRoot::kLocalMachine, support::texts::kConfigKeyPath, view)
      .ok();
}

Result<std::string> InstallationFolder() {
  const Result<platform::RegValue> value = ReadValue("InstallationPath", platform::kRegSz);
  if (!value) return value.failure();
  return value->Text();
}

ConfigFiles LocateConfigFiles(const Result<std::string>& folder) {
  const Result<std::string> admin = PathInFolder(folder, "Admin.ini");
  if (!admin) return {false, FailureText(admin.failure()), {}};
  const Result<std::string> website = PathInFolder(folder, "WebSite.ini");
  return {website.ok(), *admin, website ? *website : FailureText(website.failure())};
}

bool SwitchedOn(std::uint32_t gatehouse) {
  return gatehouse > INT_MAX || (gatehouse & 0xFFFFu) != 0;
}

Result<std::uint32_t> Configuration::Gatehouse() {
  const Result<platform::RegValue> value = ReadValue("EnableGatehouse", platform::kRegDword);
  if (!value) return value.failure();
  // A number is four bytes; anything else is not a number.
  if (const std::optional<std::uint32_t> number = value->Number()) return *number;
  return Failure{Cause::kWrongType};
}

std::vector<Site> Configuration::Sites() {
  std::vector<Site> sites;
  for (const std::string& line : Lines(m_website, "Path")) {
    const std::size_t eq = line.find('=');
    const bool named = eq != std::string::npos;
    sites.push_back({line, line.substr(0, eq),
                     named ? Trim(std::string_view(line).substr(eq + 1)) : std::string(), named});
  }
  return sites;
}

std::optional<Site> Configuration::SiteOf(std::string_view page) {
  for (Site& site : Sites()) {
    if (site.named && Covers(site.folder, page)) return std::move(site);
  }
  return std::nullopt;
}

std::string Configuration::Value(platform::ProfileFile& file, const std::string& section,
                                 const std::string& key) {
  return Trim(ReadWhole(1, [&](char* buffer, std::uint32_t size) {
    return file.String(section, key, buffer, size);
  }));
}

std::vector<std::string> Configuration::Lines(platform::ProfileFile& file,
                                              const std::string& section) {
  // The reader ends each line with a NUL: that, and no byte of the text, separates them.
  return ListItems(
      Trim(ReadWhole(2, [&](char* buffer,
                            std::uint32_t size) { return file.Section(section, buffer, size); })),
      '\0');
}

}  // namespace hosting
