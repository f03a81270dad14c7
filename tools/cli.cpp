#include "tools/cli.h"

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
#include "platform/trim.h"
#include "support/texts.h"
#include "tools/command_line.h"
#include "tools/doctor.h"
#include "tools/policy.h"

namespace kestra_tool {
namespace {

constexpr char kUsage[] =
    "usage: kestra [--server ADDR] [--timeout SECONDS] [--caller-path PATH] COMMAND ARGUMENT\n"
    "       kestra doctor | policy [--site NAME]\n"
    "  resolve DOMAIN      the DNS server's MX answer, in answer order\n"
    "  mx DOMAIN           GetMXRecord: the exchangers as the list orders them\n"
    "  mxcount DOMAIN      MXRecords: the number of exchangers\n"
    "  host NAME           DNSLookup: the host's first IPv4 address\n"
    "  reverse ADDRESS     ReverseDNSLookup: the address's host name\n"
    "  smtp HOST           VerifySMTP: 1 when HOST answers as an SMTP server, else 0\n"
    "  access METHOD [--explain]\n"
    "                      the hosting access check for MXRecords, Lookup or VerifySMTP\n"
    "  doctor              checks the registration in each registry view, creates the object\n"
    "                      and checks the access configuration: one OK, WARN or FAIL row\n"
    "                      each; exit 1 when a row is FAIL\n"
    "  policy [--site NAME]\n"
    "                      what each site of [Path] may call, as the access control\n"
    "                      answers a page in the site's folder\n";

// The commands that take one argument and run a lookup (or its access check).
constexpr const char* kArgumentCommands[] = {"resolve", "mx",   "mxcount", "host",
                                             "reverse", "smtp", "access"};

struct Options {
  std::optional<std::string> server;
  std::optional<std::int32_t> timeout;
  std::optional<std::string> caller_path;
  bool explain = false;
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
    if (std::string(name) == "access") command->add_flag("--explain", options->explain);
  }
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

int Failed(const lookup::CLookup& lookup, std::ostream& err) {
  err << lookup.GetErrorReason() << '\n';
  return kExitFailed;
}

int RunResolve(lookup::CLookup& lookup, const Options& o, std::ostream& out, std::ostream& err) {
  // An administrator sees what a page calling the MX lookups would see.
  if (!lookup.CheckAccess(hosting::kMxRecordsAccess)) return Failed(lookup, err);
  // The names go out in their ASCII form, as the MX lookups send them.
  const auto domain = platform::AsciiName(o.argument);
  const auto server = platform::AsciiName(o.server.value_or(""));
  if (!domain || !server) {
    err << support::texts::kBadDomainOrServer << '\n';
    return kExitFailed;
  }
  (void)platform::EnsureSocketLayer();
  const auto exchangers = dns::ResolveMx(*domain, *server, o.timeout.value_or(60));
  if (!exchangers || exchangers->empty()) {
    err << support::texts::kBadDomainOrServer << '\n';
    return kExitFailed;
  }
  for (const dns::MxRecord& mx : *exchangers) out << mx.preference << ' ' << mx.exchange << '\n';
  return kExitOk;
}

// Each command prints what a page would read, or the ErrorReason when IsError is set.
int RunObjectCommand(lookup::CLookup& lookup, const Options& o, std::ostream& out,
                     std::ostream& err) {
  const std::string& c = o.command;
  if (c == "mx") {
    const auto entries = lookup.GetMXRecord();
    if (!entries || lookup.GetIsError() != 0) return Failed(lookup, err);
    for (const dns::MxRecord& mx : *entries) out << mx.preference << ' ' << mx.exchange << '\n';
    return kExitOk;
  }
  if (c == "mxcount") {
    const auto count = lookup.MXRecords();
    if (!count || lookup.GetIsError() != 0) return Failed(lookup, err);
    out << *count << '\n';
    return kExitOk;
  }
  if (c == "host" || c == "reverse") {
    const auto result =
        c == "host" ? lookup.DNSLookup(o.argument) : lookup.ReverseDNSLookup(o.argument);
    if (!result || lookup.GetIsError() != 0) return Failed(lookup, err);
    out << *result << '\n';
    return kExitOk;
  }
  // smtp
  const auto answer = lookup.VerifySMTP(o.argument);
  if (!answer) return Failed(lookup, err);
  out << *answer << '\n';
  return lookup.GetIsError() != 0 ? Failed(lookup, err) : kExitOk;
}

int RunAccess(lookup::CLookup& lookup, const Options& o, hosting::CallerSource* caller,
              std::ostream& out) {
  if (!o.explain) {
    bool allowed = lookup.CheckAccess(o.argument);
    if (allowed) {
      out << "allowed\n";
    } else {
      out << "refused\n" << lookup.GetErrorReason() << '\n';
    }
    return allowed ? kExitOk : kExitFailed;
  }
  // The same two steps through the access control's own account of them.
  const auto [decision, values] = hosting::Explain(kComponent, o.argument, caller);
  if (decision.allowed) {
    out << "allowed\n";
  } else {
    out << "refused\n" << decision.refusal << '\n';
  }
  out << "decided at step " << hosting::StepOf(decision.reason) << '\n';
  for (const auto& [name, value] : values) {
    out << "  " << name << ": " << platform::WithoutLineEnd(value) << '\n';
  }
  return decision.allowed ? kExitOk : kExitFailed;
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
  if (o.command == "doctor") return RunDoctor(out);
  if (o.command == "policy") return RunPolicy(o.site, out, err);

  lookup::CLookup lookup;
  if (o.server) lookup.PutDNSServer(*o.server);
  if (o.timeout) lookup.PutTimeout(*o.timeout);
  if (o.command == "mx" || o.command == "mxcount") lookup.PutDomainName(o.argument);
  // --caller-path stands in for the calling page; without it the platform's own request
  // is asked, as in a lookup called outside any page.
  hosting::FixedCaller caller(o.caller_path.value_or(""));
  hosting::CallerSource* caller_source = o.caller_path ? &caller : nullptr;
  hosting::ConfiguredAccess access_control(caller_source);
  lookup.SetAccessControl(&access_control);

  if (o.command == "resolve") return RunResolve(lookup, o, out, err);
  if (o.command == "access") return RunAccess(lookup, o, caller_source, out);
  return RunObjectCommand(lookup, o, out, err);
}

}  // namespace kestra_tool
