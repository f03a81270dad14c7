#include "tools/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

#include <CLI/CLI.hpp>

#include "access/access_control.h"
#include "access/access_policy.h"
#include "access/caller_source.h"
#include "dns/mx_resolver.h"
#include "lookup/lookup.h"
#include "platform/idn.h"
#include "platform/net.h"
#include "support/texts.h"
#include "tools/command_line.h"
#include "tools/doctor.h"
#include "tools/policy.h"
#include "tools/report.h"

namespace kestra_tool {
namespace {

using Json = nlohmann::ordered_json;

// The document as text. Paths and server texts are bytes, not always UTF-8 (a POSIX file
// name, a narrow text): a byte that is not UTF-8 is replaced rather than losing the
// document.
std::string Dumped(const Json& doc) {
  return doc.dump(2, ' ', false, Json::error_handler_t::replace);
}

enum class Shown { kText, kExplain, kJson };

constexpr char kUsage[] =
    "usage: kestra [--server ADDR] [--timeout SECONDS] [--caller-path PATH]\n"
    "              [--explain | --json] COMMAND ARGUMENT\n"
    "       kestra [--json] doctor | policy [--site NAME]\n"
    "  resolve DOMAIN      the DNS server's MX answer, in answer order\n"
    "  mx DOMAIN           GetMXRecord: the exchangers as the list orders them\n"
    "  mxcount DOMAIN      MXRecords: the number of exchangers\n"
    "  host NAME           DNSLookup: the host's first IPv4 address\n"
    "  reverse ADDRESS     ReverseDNSLookup: the address's host name\n"
    "  smtp HOST           VerifySMTP: 1 when HOST answers as an SMTP server, else 0\n"
    "  access METHOD       the hosting access check for MXRecords, Lookup or VerifySMTP\n"
    "  doctor              checks the registration in each registry view, creates the object\n"
    "                      and checks the access configuration: one OK, WARN or FAIL row\n"
    "                      each; exit 1 when a row is FAIL\n"
    "  policy [--site NAME]\n"
    "                      what each site of [Path] may call, as the access control\n"
    "                      answers a page in the site's folder\n"
    "  --explain           after the result, how it was reached: the access decision, each\n"
    "                      query and reply, each SMTP line, each resolver call\n"
    "  --json              the result and that account as one JSON document\n";

// The commands that take one argument and run a lookup (or its access check).
constexpr const char* kArgumentCommands[] = {"resolve", "mx",   "mxcount", "host",
                                             "reverse", "smtp", "access"};

struct Options {
  std::optional<std::string> server;
  std::optional<std::int32_t> timeout;
  std::optional<std::string> caller_path;
  Shown shown = Shown::kText;
  std::optional<std::string> site;
  std::string command;
  std::string argument;
};

bool ParseTimeout(const std::string& text, std::int32_t* seconds) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  *seconds = static_cast<std::int32_t>(value);
  return true;
}

// Returns an empty text on success, else what was wrong. The options before the
// command belong to every command and may also follow it.
std::string Parse(const std::vector<std::string>& args, Options* options) {
  CLI::App app("kestra");
  app.set_help_flag();
  app.require_subcommand(1);
  std::string server, timeout, caller_path;
  CLI::Option* server_option = app.add_option("--server", server);
  CLI::Option* timeout_option = app.add_option("--timeout", timeout);
  CLI::Option* caller_option = app.add_option("--caller-path", caller_path);
  for (const char* name : kArgumentCommands) {
    CLI::App* command = app.add_subcommand(name);
    command->fallthrough();
    command->add_option("argument", options->argument)->required();
  }
  bool explain = false, json = false;
  app.add_flag("--explain", explain);
  app.add_flag("--json", json);
  app.add_subcommand("doctor")->fallthrough();
  CLI::App* policy = app.add_subcommand("policy");
  policy->fallthrough();
  std::string site;
  CLI::Option* site_option = policy->add_option("--site", site);

  // CLI11 takes a vector of arguments last one first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  options->command = app.get_subcommands().front()->get_name();
  if (explain && json) return "--explain and --json exclude each other";
  options->shown = json ? Shown::kJson : explain ? Shown::kExplain : Shown::kText;
  if (*server_option) options->server = server;
  if (*caller_option) options->caller_path = caller_path;
  if (*site_option) options->site = site;
  if (*timeout_option) {
    std::int32_t seconds = 0;
    if (!ParseTimeout(timeout, &seconds)) return "--timeout needs a whole number of seconds";
    options->timeout = seconds;
  }
  return "";
}

// What a command found, as a page reads it: the result under its JSON name (records,
// count or value; null when the call failed), IsError and ErrorReason.
struct Found {
  int is_error = 0;
  std::string error_reason;
  const char* key = "value";
  Json value;
  std::vector<std::string> lines;  // what `access` prints instead of a value
  int Rc() const { return is_error ? kExitFailed : kExitOk; }
};

Found FromLookup(const lookup::CLookup& lookup, const char* key, Json value) {
  const int is_error = lookup.GetIsError();
  return {is_error, lookup.GetErrorReason(), key, is_error ? Json() : std::move(value), {}};
}

Json Records(const std::vector<dns::MxRecord>& exchangers) {
  Json records = Json::array();
  for (const dns::MxRecord& mx : exchangers) {
    records.push_back({{"preference", mx.preference}, {"exchange", mx.exchange}});
  }
  return records;
}

Found RunResolve(lookup::CLookup& lookup, const Options& o, support::Account& account) {
  // An administrator sees what a page calling the MX lookups would see.
  if (!lookup.CheckAccess(hosting::kMxRecordsAccess)) return FromLookup(lookup, "records", {});
  const Found failed{1, support::texts::kBadDomainOrServer, "records", {}, {}};
  // The names go out in their ASCII form, as the MX lookups send them.
  const auto domain = platform::AsciiName(o.argument);
  const auto server = platform::AsciiName(o.server.value_or(""));
  if (!domain || !server) return failed;
  account.Add(support::steps::kDnsName, {{"name", o.argument}, {"ascii", *domain}});
  account.Add(support::steps::kDnsPurpose, {{"purpose", std::string("resolve")}});
  (void)platform::EnsureSocketLayer();
  const auto exchangers = dns::ResolveMx(*domain, *server, o.timeout.value_or(60), &account);
  if (!exchangers || exchangers->empty()) return failed;
  return {0, "", "records", Records(*exchangers), {}};
}

// Each command finds what a page would read, and IsError and ErrorReason after the call.
Found RunObjectCommand(lookup::CLookup& lookup, const Options& o) {
  const std::string& c = o.command;
  if (c == "mx") {
    const auto entries = lookup.GetMXRecord();
    return FromLookup(lookup, "records", entries ? Records(*entries) : Json());
  }
  if (c == "mxcount") {
    const auto count = lookup.MXRecords();
    return FromLookup(lookup, "count", count ? Json(*count) : Json());
  }
  if (c == "host" || c == "reverse") {
    const auto result =
        c == "host" ? lookup.DNSLookup(o.argument) : lookup.ReverseDNSLookup(o.argument);
    return FromLookup(lookup, "value", result ? Json(*result) : Json());
  }
  // A probe that fails is a result (0), not an error.
  const auto answer = lookup.VerifySMTP(o.argument);
  return FromLookup(lookup, "value", answer ? Json(*answer) : Json());
}

// The frame's access check alone: allowed, or refused and why; with --explain, how the
// decision was reached, every value read on the way.
Found RunAccess(lookup::CLookup& lookup, const Options& o, const support::Account& account) {
  const bool allowed = lookup.CheckAccess(o.argument);
  Found f = FromLookup(lookup, nullptr, {});
  f.lines.push_back(allowed ? "allowed" : "refused");
  if (!allowed) f.lines.push_back(lookup.GetErrorReason());
  if (o.shown != Shown::kExplain) return f;
  for (const support::Account::Step& s : account.Steps()) {
    if (s.what == support::steps::kAccessDecision) {
      f.lines.push_back("decided at step " + std::to_string(s.Number("step")));
    }
  }
  for (const support::Account::Step& s : account.Steps()) {
    if (s.what == support::steps::kAccessRead) {
      f.lines.push_back("  " + s.Text("name") + ": " + OneLine(s.Text("value")));
    }
  }
  return f;
}

// Prints what the command found (and with --explain, how), or one JSON document.
int Show(const Options& o, const Found& f, const support::Account& account, std::ostream& out,
         std::ostream& err) {
  if (o.shown == Shown::kJson) {
    Json result = {{"is_error", f.is_error}, {"error_reason", OneLine(f.error_reason)}};
    if (f.key) result[f.key] = f.value;
    Json doc = {{"command", o.command}, {"argument", o.argument}, {"result", std::move(result)}};
    doc.update(AccountJson(account));
    out << Dumped(doc) << '\n';
    return f.Rc();
  }
  for (const std::string& line : f.lines) out << line << '\n';
  if (f.value.is_array()) {
    for (const Json& r : f.value)
      out << r["preference"] << ' ' << r["exchange"].get<std::string>() << '\n';
  } else if (f.value.is_string()) {
    out << f.value.get<std::string>() << '\n';
  } else if (!f.value.is_null()) {
    out << f.value << '\n';
  }
  if (f.key && f.is_error) err << f.error_reason << '\n';
  if (o.shown == Shown::kExplain && f.key) {
    out << '\n';
    PrintAccount(account, out);
    out << ";; the page reads: IsError " << f.is_error << ", ErrorReason \""
        << OneLine(f.error_reason) << "\"\n";
  }
  return f.Rc();
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return kExitOk;
    }
  }
  Options o;
  std::string problem = Parse(args, &o);
  if (!problem.empty()) {
    err << "kestra: " << problem << '\n' << kUsage;
    return kExitUsage;
  }
  // Names stay UTF-8; the other texts go on in the component's narrow text.
  if (o.caller_path) o.caller_path = AnsiText(*o.caller_path);
  if (o.site) o.site = AnsiText(*o.site);
  if (o.command == "access" || o.command == "reverse") o.argument = AnsiText(o.argument);
  if (o.command == "doctor") {
    const std::vector<CheckRow> rows = DoctorRows();
    if (o.shown != Shown::kJson) return PrintRows(rows, out) ? kExitOk : kExitFailed;
    out << Dumped(DoctorJson(rows)) << '\n';
    return std::none_of(rows.begin(), rows.end(),
                        [](const CheckRow& r) { return r.status == Status::kFail; })
               ? kExitOk
               : kExitFailed;
  }
  if (o.command == "policy") {
    if (o.shown != Shown::kJson) return RunPolicy(o.site, out, err);
    const Policy policy = ComputePolicy(o.site);
    out << Dumped(PolicyJson(policy)) << '\n';
    return o.site && !policy.everywhere && policy.sites.empty() ? kExitFailed : kExitOk;
  }

  lookup::CLookup lookup;
  if (o.server) lookup.PutDNSServer(*o.server);
  if (o.timeout) lookup.PutTimeout(*o.timeout);
  if (o.command == "mx" || o.command == "mxcount") lookup.PutDomainName(o.argument);
  // --caller-path stands in for the calling page; without it the platform's own request
  // is asked, as in a lookup called outside any page.
  hosting::FixedCaller caller(o.caller_path.value_or(""));
  hosting::CallerSource* caller_source = o.caller_path ? &caller : nullptr;
  // The account is kept whatever is shown: the lookups take the same path either way.
  support::Account account;
  hosting::ConfiguredAccess access_control(caller_source, &account);
  lookup.SetAccessControl(&access_control);
  lookup.SetAccount(&account);

  const Found found = o.command == "resolve"  ? RunResolve(lookup, o, account)
                      : o.command == "access" ? RunAccess(lookup, o, account)
                                              : RunObjectCommand(lookup, o);
  return Show(o, found, account, out, err);
}

}  // namespace kestra_tool
