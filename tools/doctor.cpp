// The doctor's run: every check for this machine, then its rows (see doctor.h).
#include "tools/doctor.h"

#include "platform/files.h"
#include "tools/safe_text.h"

namespace kestra_tool {

const char* StatusName(Status status) {
  return status == Status::kOk ? "OK" : status == Status::kWarn ? "WARN" : "FAIL";
}

bool PrintRows(const std::vector<CheckRow>& rows, std::ostream& out) {
  bool passed = true;
  for (const CheckRow& row : rows) {
    const std::string status = StatusName(row.status);
    out << status << std::string(6 - status.size(), ' ') << ShownText(row.text, Encoding::kAnsi);
    if (!row.todo.empty()) out << ". To do: " << ShownText(row.todo, Encoding::kAnsi);
    out << '\n';
    passed = passed && row.status != Status::kFail;
  }
  return passed;
}

std::vector<CheckRow> DoctorRows() {
  std::vector<CheckRow> rows;
#ifdef _WIN32
  const bool two_views = HasTwoRegistryViews();
  std::unique_ptr<platform::Registry> registry = platform::OpenSystemRegistry();
  const FileReader read_file = [](const std::string& path) -> std::optional<std::string> {
    platform::Result<std::string> bytes = platform::ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return std::move(*bytes);
  };
  using platform::RegView;
  const std::vector<ViewInfo> views =
      two_views ? std::vector<ViewInfo>{{RegView::k64, 64, "%SystemRoot%\\System32\\regsvr32"},
                                        {RegView::k32, 32, "%SystemRoot%\\SysWOW64\\regsvr32"}}
                : std::vector<ViewInfo>{{RegView::kOwn, 32, "%SystemRoot%\\System32\\regsvr32"}};
  bool own_registered = false;
  for (const ViewInfo& view : views) {
    const bool registered = CheckRegistration(*registry, view, read_file, ReadSignature, &rows);
    if (view.bits == int{sizeof(void*) * 8} || views.size() == 1) own_registered = registered;
  }
  rows.push_back(CheckCreation(own_registered));
#else
  const bool two_views = false;
#endif
  CheckConfiguration(two_views, &rows);
  return rows;
}

}  // namespace kestra_tool
