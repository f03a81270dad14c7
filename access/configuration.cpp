// The configuration's reader (see configuration.h).
#include "access/configuration.h"

#include <climits>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/mbcs.h"
#include "platform/trim.h"
#include "support/texts.h"

namespace hosting {
namespace {

using platform::Cause;
using platform::Failure;
using platform::Result;

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
  if (path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  path += name;
  if (const Result<void> found = platform::FindEntry(path); !found) return found.failure();
  return path;
}

}  // namespace

std::vector<std::string> ListItems(std::string_view list) {
  std::vector<std::string> items;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    items.emplace_back(platform::Trim(list.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
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
  ConfigFiles files{PathInFolder(folder, "Admin.ini")};
  if (files.admin_ini) files.website_ini = PathInFolder(folder, "WebSite.ini");
  return files;
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
  for (const std::string& text : m_website.Section("Path")) {
    const std::string line(platform::Trim(text));
    const std::size_t eq = line.find('=');
    const bool named = eq != std::string::npos;
    sites.push_back(
        {line, line.substr(0, eq),
         named ? std::string(platform::Trim(std::string_view(line).substr(eq + 1))) : std::string(),
         named});
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
  return std::string(platform::Trim(file.String(section, key)));
}

}  // namespace hosting
