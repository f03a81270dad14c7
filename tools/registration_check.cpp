// The doctor's registration rows for one registry view (see doctor.h).
#include <algorithm>
#include <cstdio>

#include "platform/mbcs.h"
#include "tools/doctor.h"
#include "tools/pe_image.h"

namespace kestra_tool {
namespace {

using platform::RegRoot;

constexpr char kClasses[] = "SOFTWARE\\Classes\\";

struct ClassName {
  const char* prog_id;
  const char* clsid;
};
constexpr ClassName kClassNames[] = {
    {"Brevan.MX", "{" KESTRA_CLSID_LOOKUP "}"},
    {"Kestra.List", "{" KESTRA_CLSID_LIST "}"},
    {"Kestra.ListEntries", "{" KESTRA_CLSID_LISTENTRIES "}"},
};
constexpr char kLibId[] = "{" KESTRA_LIBID "}";
constexpr const char* kEntryPoints[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                        "DllUnregisterServer"};

// "64-bit", "32-bit" or the machine number in hex.
std::string MachineName(std::uint16_t machine) {
  if (machine == kMachineX64) return "64-bit";
  if (machine == kMachineX86) return "32-bit";
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", machine);
  return std::string("machine ") + text;
}

// The rows of one view.
class ViewCheck {
 public:
  ViewCheck(platform::Registry& registry, const ViewInfo& view, const FileReader& read_file)
      : m_registry(registry), m_view(view), m_readFile(read_file) {}

  // One class's row: the first broken link of its chain, or the whole chain.
  CheckRow Class(const ClassName& name) {
    const std::string label = Bits() + "-bit view: " + name.prog_id;
    const std::optional<std::string> current =
        Text(kClasses + std::string(name.prog_id) + "\\CurVer", "", true);
    if (!current || current->empty()) return Fail(label + " is not registered (no CurVer)");
    const std::optional<std::string> clsid = Text(kClasses + *current + "\\CLSID", "", true);
    if (!clsid) return Fail(label + " -> " + *current + ", which names no CLSID");
    std::string chain = label + " -> " + *current + " -> " + *clsid;
    if (!platform::EqualNoCase(*clsid, name.clsid)) {
      return Fail(chain + ", not this Kestra's class " + name.clsid);
    }
    const std::string server = kClasses + ("CLSID\\" + *clsid) + "\\InprocServer32";
    const std::optional<std::string> path = Text(server);
    if (!path || path->empty()) return Fail(chain + ", which has no InprocServer32 file");
    chain += " -> " + *path;
    if (std::optional<std::string> problem = Problem(*path)) {
      return {Status::kFail, label + ": " + *problem,
              "put the " + Machine() + " Kestra.dll there, or " + RegisterTodo()};
    }
    if (std::ranges::none_of(
            m_dlls, [&](const std::string& dll) { return platform::EqualNoCase(dll, *path); })) {
      m_dlls.push_back(*path);
    }
    const std::optional<std::string> model = Text(server, "ThreadingModel");
    if (!model || !platform::EqualNoCase(*model, "Apartment")) {
      return Fail(chain + ": ThreadingModel is \"" + model.value_or("") + "\", not \"Apartment\"");
    }
    return {Status::kOk, chain + " (" + Bits() + "-bit DLL, four entry points, Apartment)", {}};
  }

  CheckRow TypeLibrary() {
    const std::string label = Bits() + "-bit view: type library KestraLib 1.0";
    const std::string key =
        std::string("TypeLib\\") + kLibId + "\\1.0\\0\\" + (m_view.bits == 64 ? "win64" : "win32");
    const std::optional<std::string> path = Text(kClasses + key, "", true);
    if (!path || path->empty()) return Fail(label + " is not registered (no " + key + ")");
    if (!m_readFile(*path)) return Fail(label + ": " + *path + " does not exist");
    return {Status::kOk, label + " -> " + *path, {}};
  }

  // The row of a DLL's signature: who signed it, whether the signature matches the
  // file as it is now, whether this machine trusts the chain.
  CheckRow SignatureRow(const std::string& path, const Signature& signature) const {
    const std::string label = Bits() + "-bit view: " + path;
    const std::string signer = "signed by \"" + signature.signer + "\"";
    switch (signature.state) {
      case Signature::State::kTrusted:
        return {Status::kOk,
                label + " is " + signer +
                    ", matches its signature and this machine "
                    "trusts the signer's chain",
                {}};
      case Signature::State::kUntrusted:
        return {Status::kWarn,
                label + " is " + signer +
                    " and matches its signature, but this machine does not "
                    "trust the signer's chain (" +
                    Untrusted(signature.code) + ")",
                "if that is your publisher, trust its root certificate (Trusted Root "
                "Certification Authorities) or it (Trusted Publishers) on this machine"};
      case Signature::State::kChanged:
        return {Status::kFail,
                label + " is " + signer +
                    ", but the file no longer matches its signature: it "
                    "was changed after signing",
                "put the " + Machine() + " Kestra.dll of the signed release there"};
      case Signature::State::kUnsigned:
        break;
    }
    return {Status::kWarn, label + " is not signed",
            "install a signed release (README: signing a release) where application-control "
            "policies allow by publisher"};
  }

  const std::vector<std::string>& Dlls() const { return m_dlls; }

  std::string RegisterTodo() const {
    return "register the " + Machine() + " Kestra.dll from an elevated prompt: " + m_view.regsvr32 +
           " <folder>\\Kestra.dll (install.cmd does it)";
  }

 private:
  std::string Bits() const { return std::to_string(m_view.bits); }
  std::string Machine() const { return m_view.bits == 64 ? "x64" : "x86"; }
  CheckRow Fail(std::string text) const { return {Status::kFail, std::move(text), RegisterTodo()}; }

  // A string value, or nothing when the key or value is missing or not text. ProgIDs
  // and type libraries are `shared` between the two views of 64-bit Windows (only the
  // class keys are redirected), and a read in the 32-bit view may not find them there:
  // such a key is read in the 64-bit view then.
  std::optional<std::string> Text(const std::string& path, const char* name = "",
                                  bool shared = false) {
    for (platform::RegView view : {m_view.view, platform::RegView::k64}) {
      const auto value = m_registry.QueryValue(RegRoot::kLocalMachine, path, name, view);
      if (value && (value->type == platform::kRegSz || value->type == platform::kRegExpandSz)) {
        return value->Text();
      }
      if (!shared || m_view.view != platform::RegView::k32) break;
    }
    return std::nullopt;
  }

  // What is wrong with a DLL file for this view, or nothing.
  std::optional<std::string> Problem(const std::string& path) {
    const std::optional<std::string> bytes = m_readFile(path);
    if (!bytes) return path + " does not exist";
    const PeImage image = ReadPeImage(*bytes);
    if (!image.valid) return path + " is not a DLL (" + image.problem + ")";
    if (image.machine != (m_view.bits == 64 ? kMachineX64 : kMachineX86)) {
      return path + " is a " + MachineName(image.machine) + " DLL (wrong bitness): " + Bits() +
             "-bit processes cannot load it";
    }
    if (!image.is_dll) return path + " is a program, not a DLL";
    std::string missing;
    for (const char* name : kEntryPoints) {
      if (std::find(image.exports.begin(), image.exports.end(), name) == image.exports.end()) {
        missing += (missing.empty() ? "" : ", ") + std::string(name);
      }
    }
    if (!missing.empty()) return path + " does not export " + missing;
    return std::nullopt;
  }

  // Why the chain is not trusted, for the system's codes that say it plainly.
  static std::string Untrusted(std::uint32_t code) {
    switch (code) {
      case 0x800B0109:
        return "its root certificate is not trusted";
      case 0x800B010A:
        return "the chain does not reach a root certificate";
      case 0x800B0101:
        return "a certificate has expired";
      case 0x800B0110:
        return "a certificate is not for code signing";
      case 0x800B0111:
        return "a certificate is explicitly distrusted";
      case 0x800B010C:
        return "a certificate was revoked";
      default:
        break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
  }

  platform::Registry& m_registry;
  const ViewInfo& m_view;
  const FileReader& m_readFile;
  std::vector<std::string> m_dlls;  // the DLL files the classes name, each once
};

}  // namespace

bool CheckRegistration(platform::Registry& registry, const ViewInfo& view,
                       const FileReader& read_file, const SignatureReader& read_signature,
                       std::vector<CheckRow>* rows) {
  ViewCheck check(registry, view, read_file);
  // The class keys tell: they alone are the view's own.
  const bool registered = std::ranges::any_of(kClassNames, [&](const ClassName& name) {
    const std::string key = kClasses + std::string("CLSID\\") + name.clsid;
    return registry.OpenKey(RegRoot::kLocalMachine, key, view.view).ok();
  });
  if (!registered) {
    rows->push_back({Status::kWarn,
                     std::to_string(view.bits) + "-bit view: no Kestra class is registered: " +
                         (view.bits == 64 ? "64-bit application pools and 64-bit script hosts"
                                          : "32-bit application pools (\"Enable 32-Bit "
                                            "Applications\") and 32-bit script hosts") +
                         " cannot create Brevan.MX",
                     check.RegisterTodo()});
    return false;
  }
  for (const ClassName& name : kClassNames) rows->push_back(check.Class(name));
  rows->push_back(check.TypeLibrary());
  for (const std::string& dll : check.Dlls()) {
    rows->push_back(check.SignatureRow(dll, read_signature(dll)));
  }
  return true;
}

}  // namespace kestra_tool
