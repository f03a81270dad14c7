// pagehost: runs one server-side page the way a web server runs it, for the tests.
//   pagehost [--form NAME=VALUE]... [--query NAME=VALUE]... [--path-translated PATH]
//            [--no-context] [--repeat N] PAGE.asp
// and, for the checks of the walk from the object context to PATH_TRANSLATED and for
// the benchmark:
//   --context full|none|no-request|empty-request|unknown-request|variables-fail|item-fails|
//             value-object
//   --server-variable NAME=VALUE   (besides PATH_TRANSLATED, REMOTE_ADDR and the like)
//   --time                         per-run time of the runs after the first, on stderr
// A VALUE may hold %XX escapes of UTF-8 bytes, as a browser sends them: b%C3%BCcher.example.
// The page is parsed once; each run gets its own Request, Response, Server and object
// context, and the engine drops them again before the next. The HTML of the last run
// goes to standard output. Exit 0; 1 on a script error (its page line and text on
// standard error); 2 when the page cannot be run; 3 when a run leaves references on the
// host's objects that were not there before it.
#include <windows.h>

#include <activscp.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <oleauto.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "host_objects.h"
#include "page_source.h"
#include "platform/win32/owned.h"
#include "platform/win32/text.h"

namespace {

using platform::OwnedBstr;
using platform::OwnedInterface;

// IActiveScriptParse of this bitness: its identifier is in no import library.
#ifdef _WIN64
constexpr IID kIidActiveScriptParse = {
    0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};
#else
constexpr IID kIidActiveScriptParse = {
    0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#endif

// Response and Server are named items of their own; Request reaches the page as a
// global member of "Page" (host_objects.cpp says why).
constexpr wchar_t kPageItem[] = L"Page";
constexpr const wchar_t* kItems[] = {L"Response", L"Server"};
// A page of the tests runs in well under a second; this bounds a runaway --repeat.
constexpr long kMaxRepeat = 1000000;

std::wstring Wide(const std::string& text, UINT code_page = CP_ACP) {
  auto wide = platform::WideText(text, code_page, platform::TextEnd::kWhole);
  return wide ? std::move(*wide) : std::wstring();
}

// %XX escapes of UTF-8 bytes reach the page as the text they stand for, whatever the
// code pages of the shell and of Wine.
std::wstring Unescape(const char* text) {
  std::string bytes;
  for (const char* p = text; *p != '\0'; ++p) {
    unsigned byte = 0;
    if (p[0] == '%' && std::isxdigit(static_cast<unsigned char>(p[1])) &&
        std::isxdigit(static_cast<unsigned char>(p[2])) && std::sscanf(p + 1, "%2x", &byte) == 1) {
      bytes += static_cast<char>(byte);
      p += 2;
    } else {
      bytes += *p;
    }
  }
  return Wide(bytes, CP_UTF8);
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  auto narrow = platform::NarrowText(text, CP_ACP, platform::TextEnd::kFirstNul);
  return narrow ? std::move(*narrow) : std::string();
}

struct Options {
  pagehost::RequestData data;
  pagehost::ContextKind context = pagehost::ContextKind::kFull;
  std::optional<std::wstring> path_translated;
  long repeat = 1;
  bool time = false;
  std::string page;
};

bool SplitPair(const char* arg, pagehost::Pairs* into) {
  const char* eq = std::strchr(arg, '=');
  if (eq == nullptr) return false;
  into->emplace_back(Wide(std::string(arg, eq)), Unescape(eq + 1));
  return true;
}

bool ParseContext(const std::string& name, pagehost::ContextKind* kind) {
  using pagehost::ContextKind;
  static const struct {
    const char* name;
    ContextKind kind;
  } kKinds[] = {{"full", ContextKind::kFull},
                {"none", ContextKind::kNone},
                {"no-request", ContextKind::kNoRequest},
                {"empty-request", ContextKind::kEmptyRequest},
                {"unknown-request", ContextKind::kAsUnknown},
                {"variables-fail", ContextKind::kVariablesFail},
                {"item-fails", ContextKind::kItemFails},
                {"value-object", ContextKind::kValueObject}};
  for (const auto& k : kKinds) {
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

bool ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--form" && has_value) {
      if (!SplitPair(argv[++i], &options->data.form)) return false;
    } else if (arg == "--query" && has_value) {
      if (!SplitPair(argv[++i], &options->data.query)) return false;
    } else if (arg == "--server-variable" && has_value) {
      if (!SplitPair(argv[++i], &options->data.server_variables)) return false;
    } else if (arg == "--path-translated" && has_value) {
      options->path_translated = Wide(argv[++i]);
    } else if (arg == "--no-context") {
      options->context = pagehost::ContextKind::kNone;
    } else if (arg == "--context" && has_value) {
      if (!ParseContext(argv[++i], &options->context)) return false;
    } else if (arg == "--repeat" && has_value) {
      options->repeat = std::strtol(argv[++i], nullptr, 10);
      if (options->repeat < 1 || options->repeat > kMaxRepeat) return false;
    } else if (arg == "--time") {
      options->time = true;
    } else if (!arg.empty() && arg[0] != '-' && options->page.empty()) {
      options->page = arg;
    } else {
      return false;
    }
  }
  return !options->page.empty();
}

// The server variables a page may read, unless the command line gave them.
void AddServerVariables(Options* options, const std::wstring& path) {
  pagehost::Pairs& vars = options->data.server_variables;
  auto add = [&vars](const wchar_t* name, std::wstring value) {
    for (const auto& [key, _] : vars) {
      if (_wcsicmp(key.c_str(), name) == 0) return;
    }
    vars.emplace_back(name, std::move(value));
  };
  add(L"PATH_TRANSLATED", path);
  add(L"REQUEST_METHOD", options->data.form.empty() ? L"GET" : L"POST");
  add(L"REMOTE_ADDR", L"127.0.0.1");
  add(L"SERVER_NAME", L"localhost");
  const std::size_t slash = options->page.find_last_of("/\\");
  add(L"SCRIPT_NAME",
      L"/" + Wide(options->page.substr(slash == std::string::npos ? 0 : slash + 1)));
}

// The engine's site: hands out the request's objects and keeps the first script error.
class Site final : public IActiveScriptSite {
 public:
  explicit Site(const pagehost::Page& page) : m_page(page) {}

  void SetObjects(const pagehost::RequestObjects* objects) { m_pObjects = objects; }
  const std::string& Error() const { return m_strError; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IActiveScriptSite) return E_NOINTERFACE;
    *out = static_cast<IActiveScriptSite*>(this);
    return S_OK;
  }
  // Lives on main's stack, longer than the engine.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** object,
                           ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    if (object != nullptr) *object = nullptr;
    if (m_pObjects == nullptr || name == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    IDispatch* found = nullptr;
    if (_wcsicmp(name, kPageItem) == 0) found = m_pObjects->page;
    if (_wcsicmp(name, L"Response") == 0) found = m_pObjects->response;
    if (_wcsicmp(name, L"Server") == 0) found = m_pObjects->server;
    if (found == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
      if (object == nullptr) return E_POINTER;
      found->AddRef();
      *object = found;
    }
    return S_OK;
  }
  STDMETHODIMP GetDocVersionString(BSTR* version) override {
    if (version != nullptr) *version = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
    if (error == nullptr || !m_strError.empty()) return S_OK;
    EXCEPINFO info{};
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    std::string text = "script error";
    if (SUCCEEDED(error->GetExceptionInfo(&info))) {
      if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
      if (info.bstrDescription != nullptr && *info.bstrDescription != 0) {
        text = Narrow(info.bstrDescription);
      } else {
        char code[32];
        std::snprintf(code, sizeof code, "error 0x%08lX",
                      static_cast<unsigned long>(info.scode ? info.scode : info.wCode));
        text = code;
      }
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrHelpFile);
    }
    m_strError = "line " + std::to_string(m_page.PageLine(line)) + ": " + text;
    return S_OK;
  }
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }

 private:
  const pagehost::Page& m_page;
  const pagehost::RequestObjects* m_pObjects = nullptr;
  std::string m_strError;
};

double Seconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

int Usage() {
  std::fprintf(stderr,
               "usage: pagehost [--form NAME=VALUE]... [--query NAME=VALUE]... "
               "[--path-translated PATH] [--no-context] [--repeat N] PAGE.asp\n");
  return 2;
}

int Run(Options& options) {
  std::ifstream in(options.page, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pagehost: cannot read %s\n", options.page.c_str());
    return 2;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const pagehost::Translation translation = pagehost::TranslatePage(text);
  if (!translation.ok) {
    std::fprintf(stderr, "pagehost: %s\n", translation.error.c_str());
    return 1;
  }
  const pagehost::Page& page = translation.page;

  std::wstring path = options.path_translated.value_or(L"");
  if (!options.path_translated) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(Wide(options.page).c_str(), MAX_PATH * 4, full, nullptr);
    if (n > 0 && n < MAX_PATH * 4) path = full;
  }
  AddServerVariables(&options, path);
  const std::size_t slash = path.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);

  CLSID engine_class;
  if (FAILED(
          CLSIDFromProgID(page.language == pagehost::Language::kVBScript ? L"VBScript" : L"JScript",
                          &engine_class))) {
    std::fprintf(stderr, "pagehost: no script engine for the page's language\n");
    return 2;
  }
  OwnedInterface<IActiveScript> engine;
  OwnedInterface<IActiveScriptParse> parser;
  if (FAILED(CoCreateInstance(engine_class, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                              engine.put_void())) ||
      FAILED(engine->QueryInterface(kIidActiveScriptParse, parser.put_void())) ||
      FAILED(parser->InitNew())) {
    std::fprintf(stderr, "pagehost: cannot start the script engine\n");
    return 2;
  }
  Site site(page);
  const std::wstring script = Wide(page.script);
  std::string html;
  double timed = 0;
  int rc = 0;
  for (long run = 0; run < options.repeat && rc == 0; ++run) {
    const double start = Seconds();
    pagehost::RequestObjects objects =
        pagehost::MakeRequestObjects(options.data, options.context, page.blocks, folder);
    const pagehost::Tally before = pagehost::CurrentTally();
    site.SetObjects(&objects);
    HRESULT hr = engine->SetScriptSite(&site);
    for (const wchar_t* item : kItems) {
      if (SUCCEEDED(hr)) hr = engine->AddNamedItem(item, SCRIPTITEM_ISVISIBLE);
    }
    if (SUCCEEDED(hr)) hr = engine->AddNamedItem(kPageItem, SCRIPTITEM_GLOBALMEMBERS);
    if (SUCCEEDED(hr) && run == 0) {
      // Kept by the engine across resets: each later run executes it again unparsed.
      EXCEPINFO info{};
      hr = parser->ParseScriptText(script.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                   SCRIPTTEXT_ISPERSISTENT | SCRIPTTEXT_ISVISIBLE, nullptr, &info);
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrHelpFile);
    }
    pagehost::SetCurrentContext(objects.context);
    if (SUCCEEDED(hr) || !site.Error().empty()) {
      if (site.Error().empty()) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
    }
    pagehost::SetCurrentContext(nullptr);
    // Back to uninitialized: the engine lets go of the named items and of the page's
    // variables, and keeps the parsed page for the next run.
    engine->SetScriptState(SCRIPTSTATE_UNINITIALIZED);
    site.SetObjects(nullptr);
    const pagehost::Tally after = pagehost::CurrentTally();
    html = pagehost::ResponseText(objects.response);
    pagehost::ReleaseRequestObjects(&objects);
    if (run > 0) timed += Seconds() - start;

    if (!site.Error().empty()) {
      std::fprintf(stderr, "pagehost: %s: %s\n", options.page.c_str(), site.Error().c_str());
      rc = 1;
    } else if (FAILED(hr)) {
      std::fprintf(stderr, "pagehost: the engine failed to run the page: 0x%08lX\n",
                   static_cast<unsigned long>(hr));
      rc = 2;
    } else if (!(after == before)) {
      std::fprintf(stderr,
                   "pagehost: run %ld: the host's %ld objects hold %ld references after the "
                   "page, %ld before it (%ld objects)\n",
                   run + 1, after.objects, after.references, before.references, before.objects);
      rc = 3;
    } else if (run + 1 == options.repeat) {
      std::fprintf(stderr, "pagehost: references on the host's objects: %ld before and after %s\n",
                   before.references, options.repeat == 1 ? "the page" : "each run");
    }
  }
  engine->Close();
  std::fwrite(html.data(), 1, html.size(), stdout);
  std::fflush(stdout);
  if (rc == 0 && options.time && options.repeat > 1) {
    std::fprintf(stderr, "pagehost: %ld runs, %.1f us per run after the first\n", options.repeat,
                 timed * 1e6 / double(options.repeat - 1));
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, &options)) return Usage();
  _setmode(_fileno(stdout), _O_BINARY);
  // The thread of a web server's page: a single-threaded apartment.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "pagehost: cannot enter an apartment\n");
    return 2;
  }
  const int rc = Run(options);
  CoUninitialize();
  return rc;
}
