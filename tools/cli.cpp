#include "tools/cli.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string_view>
#include <variant>

#include <CLI/CLI.hpp>

#include "access/access_control.h"
#include "access/access_policy.h"
#include "access/caller_source.h"
#include "lookup/lookup.h"
#include "platform/mbcs.h"
#include "platform/net.h"
#include "platform/trim.h"
#include "support/texts.h"
#include "tools/command_line.h"
#include "tools/doctor.h"
#include "tools/policy.h"
#include "tools/report.h"
#include "tools/safe_text.h"

namespace kestra_tool {
namespace {

using Json = nlohmann::ordered_json;

// The document as text. Every text in it has been through JsonText; should one not
// have, its stray byte is replaced rather than the document lost.
std::string Dumped(const Json& doc) {
  return doc.dump(2, ' ', false, Json::error_handler_t::replace);
}

enum class Shown { kText, kExplain, kJson };

constexpr char kUsage[] =
    "usage: kestra [--explain | --json] [--caller-path PATH]\n"
    "              [--server ADDR] [--timeout SECONDS] resolve | mx | mxcount DOMAIN\n"
    "       kestra [--explain | --json] [--caller-path PATH] COMMAND ARGUMENT\n"
    "       kestra [--json] doctor | policy [--site NAME]\n"
    "       kestra help | --help | /? | --version\n"
    "  resolve DOMAIN      the DNS server's MX answer, in answer order\n"
    "  mx DOMAIN           GetMXRecord: the exchangers as the list orders them\n"
    "  mxcount DOMAIN      MXRecords: the number of exchangers\n"
    "  host NAME           DNSLookup: the host's first IPv4 address\n"
    "  reverse ADDRESS     ReverseDNSLookup: the address's host name\n"
    "  smtp HOST           VerifySMTP: 1 when HOST answers as an SMTP server, else 0\n"
    "  access NAME         the hosting access check of a member (MXRecords, GetMXRecord,\n"
    "                      DNSLookup, ReverseDNSLookup, VerifySMTP) or an access name\n"
    "                      (MXRecords, Lookup, VerifySMTP)\n"
    "  doctor              checks the registration in each registry view, creates the object\n"
    "                      and checks the access configuration: one OK, WARN or FAIL row\n"
    "                      each; exit 1 when a row is FAIL\n"
    "  policy [--site NAME]\n"
    "                      what each site of [Path] may call, as the access control\n"
    "                      answers a page in the site's folder\n"
    "  --server ADDR       the DNS server (DNSServer); default: the machine's first\n"
    "  --timeout SECONDS   the wait for the DNS server (Timeout), default 60; 0 waits\n"
    "                      without limit and a negative one fails the lookup, as a page's\n"
    "  --caller-path PATH  the calling page's path for the access check\n"
    "  --explain           after the result, how it was reached: the access decision, each\n"
    "                      query and reply, each SMTP line, each resolver call\n"
    "  --json              the result and that account as one JSON document\n";

// The commands that take one argument and run a lookup (or its access check).
constexpr const char* kArgumentCommands[] = {"resolve", "mx",   "mxcount", "host",
                                             "reverse", "smtp", "access"};

// Every document kestra writes has this envelope; the parts a command has no steps of
// stay null.
Json Envelope(const std::string& command, Json argument, bool ok, Json error, Json result) {
  return {{"schema", 1},
          {"command", command},
          {"argument", std::move(argument)},
          {"ok", ok},
          {"error", std::move(error)},
          {"result", std::move(result)},
          {"access", nullptr},
          {"dns", nullptr},
          {"smtp", nullptr},
          {"resolver", nullptr}};
}

// Which commands each option applies to.
constexpr struct {
  const char* option;
  const char* commands;  // each between spaces
} kOptionCommands[] = {
    {"--server", " resolve mx mxcount "},
    {"--timeout", " resolve mx mxcount "},
    {"--caller-path", " resolve mx mxcount host reverse smtp access "},
    {"--explain", " resolve mx mxcount host reverse smtp access "},
    {"--site", " policy "},
};

struct Options {
  std::optional<std::string> server;
  std::optional<std::int32_t> timeout;
  std::optional<std::string> caller_path;
  Shown shown = Shown::kText;
  std::optional<std::string> site;
  std::string command;
  std::string argument;
  std::string given_argument;  // as typed (UTF-8), before any conversion
  std::string access_name;     // `access`: the name the check runs under
};

// The options, or what is wrong with the command line.
std::variant<Options, std::string> Parse(const std::vector<std::string>& args) {
  CLI::App app("kestra");
  app.set_help_flag();
  app.require_subcommand(1);
  Options o;
  std::string server, timeout, caller_path, site;
  bool explain = false, json = false;
  std::map<std::string, const CLI::Option*> given = {
      {"--server", app.add_option("--server", server)},
      {"--timeout", app.add_option("--timeout", timeout)},
      {"--caller-path", app.add_option("--caller-path", caller_path)},
      {"--explain", app.add_flag("--explain", explain)},
      {"--site", app.add_option("--site", site)},
  };
  app.add_flag("--json", json);
  for (const char* name : kArgumentCommands) {
    CLI::App* command = app.add_subcommand(name);
    command->fallthrough();
    command->add_option("argument", o.argument)->required();
  }
  app.add_subcommand("doctor")->fallthrough();
  app.add_subcommand("policy")->fallthrough();

  // CLI11 takes a vector of arguments last one first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  o.command = app.get_subcommands().front()->get_name();
  for (const auto& rule : kOptionCommands) {
    if (*given[rule.option] &&
        std::string_view(rule.commands).find(" " + o.command + " ") == std::string_view::npos) {
      return std::string(rule.option) + " does not apply to " + o.command;
    }
  }
  if (explain && json) return "--explain and --json exclude each other";
  o.shown = json ? Shown::kJson : explain ? Shown::kExplain : Shown::kText;
  if (*given["--server"]) o.server = server;
  if (*given["--caller-path"]) o.caller_path = caller_path;
  if (*given["--site"]) o.site = site;
  if (*given["--timeout"]) {
    char* end = nullptr;
    // Out of its range, strtoll gives its own limit, which lies beyond these.
    const long long seconds = std::strtoll(timeout.c_str(), &end, 10);
    if (timeout.empty() || *end != '\0') return "--timeout needs a whole number of seconds";
    if (seconds > INT32_MAX) return "--timeout is at most 2147483647";
    if (seconds < INT32_MIN) return "--timeout is at least -2147483648";
    o.timeout = static_cast<std::int32_t>(seconds);
  }
  if (o.command == "access") {
    // The members and the access names, without regard to case as the check compares.
    for (const lookup::MemberAccess& m : lookup::kMemberAccess) {
      if (platform::EqualNoCase(o.argument, m.member)) o.access_name = m.access_name;
    }
    for (const char* name : hosting::kAccessNames) {
      if (platform::EqualNoCase(o.argument, name)) o.access_name = name;
    }
    if (o.access_name.empty()) {
      return "access takes MXRecords, GetMXRecord, DNSLookup, ReverseDNSLookup, VerifySMTP "
             "or Lookup";
    }
  }
  return o;
}

// What a command found, as a page reads it: the result under its JSON name (records,
// count or value; null when the call failed), IsError and ErrorReason; whether the page
// got what it asked for; and the lines `access` prints instead of a value.
struct Found {
  int is_error = 0;
  std::string error_reason;
  const char* key = "value";
  Json value;
  bool ok = false;
  std::vector<std::string> lines;
};

Found FromLookup(const lookup::CLookup& lookup, const char* key, Json value, bool got) {
  const int is_error = lookup.GetIsError();
  return {is_error,
          lookup.GetErrorReason(),
          key,
          is_error ? Json() : std::move(value),
          is_error == 0 && got,
          {}};
}

Json Records(const std::vector<dns::MxRecord>& exchangers) {
  Json records = Json::array();
  for (const dns::MxRecord& mx : exchangers) {
    records.push_back(
        {{"preference", mx.preference}, {"exchange", JsonText(mx.exchange, Encoding::kUtf8)}});
  }
  return records;
}

// Each command finds what a page would read, and IsError and ErrorReason after the call.
Found RunLookup(lookup::CLookup& lookup, const Options& o) {
  const std::string& c = o.command;
  if (c == "mx" || c == "resolve") {
    const auto entries = c == "mx" ? lookup.GetMXRecord() : lookup.MxAnswer();
    const bool got = entries && !entries->empty();
    return FromLookup(lookup, "records", entries ? Records(*entries) : Json(), got);
  }
  if (c == "mxcount") {
    const auto count = lookup.MXRecords();
    return FromLookup(lookup, "count", count ? Json(*count) : Json(), count.has_value());
  }
  if (c == "host" || c == "reverse") {
    const auto result =
        c == "host" ? lookup.DNSLookup(o.argument) : lookup.ReverseDNSLookup(o.argument);
    const bool got = result && !result->empty();
    return FromLookup(lookup, "value", result ? Json(JsonText(*result, Encoding::kAnsi)) : Json(),
                      got);
  }
  // A probe that fails is a result (0), not an error.
  const auto answer = lookup.VerifySMTP(o.argument);
  return FromLookup(lookup, "value", answer ? Json(*answer) : Json(), answer && *answer == 1);
}

// The frame's access check alone: allowed, or refused and why.
Found RunAccess(lookup::CLookup& lookup, const Options& o) {
  const bool allowed = lookup.CheckAccess(o.access_name);
  Found f = FromLookup(lookup, nullptr, {}, allowed);
  f.lines.push_back(allowed ? "allowed" : "refused");
  if (!allowed)
    f.lines.push_back(
        ShownText(platform::WithoutLineEnd(lookup.GetErrorReason()), Encoding::kAnsi));
  return f;
}

// Where a failed command's error arose.
const char* ErrorStep(const Options& o, const support::Account& account) {
  for (const support::Step& s : account.Steps()) {
    if (const auto* d = std::get_if<support::step::AccessDecision>(&s); d && !d->allowed)
      return "access";
  }
  const std::string& c = o.command;
  return c == "smtp"                     ? "smtp"
         : c == "host" || c == "reverse" ? "resolver"
         : c == "access"                 ? "access"
                                         : "dns";
}

// Prints what the command found (and with --explain, how), or one JSON document.
int Show(const Options& o, const Found& f, const support::Account& account, std::ostream& out,
         std::ostream& err) {
  const int rc = f.ok ? kExitOk : kExitFailed;
  const std::string reason(platform::WithoutLineEnd(f.error_reason));
  if (o.shown == Shown::kJson) {
    Json result = {{"is_error", f.is_error}, {"error_reason", JsonText(reason, Encoding::kAnsi)}};
    if (f.key) result[f.key] = f.value;
    if (!f.key) result["allowed"] = f.ok;
    Json error;
    if (!f.ok) {
      error = {{"reason", JsonText(reason.empty() && o.command == "smtp" ? "VerifySMTP gave 0"
                                   : reason.empty() ? "the page got an empty answer"
                                                    : reason,
                                   Encoding::kAnsi)},
               {"step", ErrorStep(o, account)}};
    }
    Json doc = Envelope(o.command, Json(JsonText(o.given_argument, Encoding::kUtf8)), f.ok,
                        std::move(error), std::move(result));
    ShowAccount(account, nullptr, &doc);
    out << Dumped(doc) << '\n';
    return rc;
  }
  for (const std::string& line : f.lines) out << line << '\n';
  if (f.value.is_array()) {
    for (const Json& r : f.value)
      out << r["preference"] << ' ' << ShownText(r["exchange"].get<std::string>(), Encoding::kUtf8)
          << '\n';
  } else if (f.value.is_string()) {
    out << ShownText(f.value.get<std::string>(), Encoding::kUtf8) << '\n';
  } else if (!f.value.is_null()) {
    out << f.value << '\n';
  }
  if (f.key && f.is_error) err << ShownText(reason, Encoding::kAnsi) << '\n';
  if (o.shown == Shown::kExplain) {
    out << '\n';
    ShowAccount(account, &out, nullptr);
    if (f.key) {
      out << ";; the page reads: IsError " << f.is_error << ", ErrorReason \""
          << ShownText(reason, Encoding::kAnsi) << "\"\n";
    }
  }
  return rc;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h" || a == "/?" || (a == "help" && &a == &args.front())) {
      out << kUsage;
      return kExitOk;
    }
    if (a == "--version") {
      out << "kestra " KESTRA_VERSION "\n";
      return kExitOk;
    }
  }
  auto parsed = Parse(args);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    err << "kestra: " << ShownText(*problem, Encoding::kUtf8) << '\n' << kUsage;
    return kExitUsage;
  }
  Options& o = std::get<Options>(parsed);
  o.given_argument = o.argument;
  // Names stay UTF-8; the other texts go on in the component's narrow text.
  if (o.caller_path) o.caller_path = AnsiText(*o.caller_path);
  if (o.site) o.site = AnsiText(*o.site);
  if (o.command == "reverse") o.argument = AnsiText(o.argument);
  if (o.command == "doctor") {
    const std::vector<CheckRow> rows = DoctorRows();
    if (o.shown != Shown::kJson) return PrintRows(rows, out) ? kExitOk : kExitFailed;
    const bool ok = std::none_of(rows.begin(), rows.end(),
                                 [](const CheckRow& r) { return r.status == Status::kFail; });
    Json error = ok ? Json() : Json({{"reason", "a check failed"}, {"step", "doctor"}});
    out << Dumped(Envelope(o.command, nullptr, ok, std::move(error), DoctorJson(rows))) << '\n';
    return ok ? kExitOk : kExitFailed;
  }
  if (o.command == "policy") {
    if (o.shown != Shown::kJson) return RunPolicy(o.site, out, err);
    const Policy policy = ComputePolicy(o.site);
    const bool ok = !(o.site && !policy.everywhere && policy.sites.empty());
    Json error = ok ? Json() : Json({{"reason", "no such site"}, {"step", "policy"}});
    Json argument = o.site ? Json(JsonText(*o.site, Encoding::kAnsi)) : Json();
    out << Dumped(
               Envelope(o.command, std::move(argument), ok, std::move(error), PolicyJson(policy)))
        << '\n';
    return ok ? kExitOk : kExitFailed;
  }

  lookup::CLookup lookup;
  if (o.server) lookup.PutDNSServer(*o.server);
  if (o.timeout) lookup.PutTimeout(*o.timeout);
  if (o.command == "mx" || o.command == "mxcount" || o.command == "resolve") {
    lookup.PutDomainName(o.argument);
  }
  // --caller-path stands in for the calling page; without it the platform's own request
  // is asked, as in a lookup called outside any page.
  hosting::FixedCaller caller(o.caller_path.value_or(""));
  hosting::ConfiguredAccess access_control(o.caller_path ? &caller : nullptr);
  lookup.SetAccessControl(&access_control);
  // The account is kept whatever is shown: the lookups take the same path either way.
  support::Account account;
  lookup.SetAccount(&account);
  const Found found = o.command == "access" ? RunAccess(lookup, o) : RunLookup(lookup, o);
  return Show(o, found, account, out, err);
}

}  // namespace kestra_tool
