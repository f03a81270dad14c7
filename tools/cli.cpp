#include "tools/cli.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

#include "access/access_control.h"
#include "access/access_policy.h"
#include "access/caller_source.h"
#include "collections/mx_list.h"
#include "dns/mx_resolver.h"
#include "lookup/lookup.h"
#include "lookup/socket_layer.h"

namespace kestra_tool {
namespace {

constexpr char kUsage[] =
    "usage: kestra [--server ADDR] [--timeout SECONDS] [--caller-path PATH] COMMAND ARGUMENT\n"
    "  resolve DOMAIN      the DNS server's MX answer, in answer order\n"
    "  mx DOMAIN           GetMXRecord: the exchangers as the list orders them\n"
    "  mxcount DOMAIN      MXRecords: the number of exchangers\n"
    "  host NAME           DNSLookup: the host's first IPv4 address\n"
    "  reverse ADDRESS     ReverseDNSLookup: the address's host name\n"
    "  smtp HOST           VerifySMTP: 1 when HOST answers as an SMTP server, else 0\n"
    "  access METHOD [--explain]\n"
    "                      the hosting access check for MXRecords, Lookup or VerifySMTP\n";

struct Options {
  std::optional<std::string> server;
  std::optional<std::int32_t> timeout;
  std::optional<std::string> caller_path;
  bool explain = false;
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

// Returns an empty text on success, else what was wrong.
std::string Parse(const std::vector<std::string>& args, Options* options) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      std::string prefix = std::string(name) + "=";
      if (a.compare(0, prefix.size(), prefix) == 0) return a.substr(prefix.size());
      if (a == name && i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (a == "--explain") {
      options->explain = true;
    } else if (a.rfind("--server", 0) == 0) {
      options->server = value("--server");
      if (!options->server) return "--server needs an address";
    } else if (a.rfind("--timeout", 0) == 0) {
      auto text = value("--timeout");
      std::int32_t seconds = 0;
      if (!text || !ParseTimeout(*text, &seconds))
        return "--timeout needs a whole number of seconds";
      options->timeout = seconds;
    } else if (a.rfind("--caller-path", 0) == 0) {
      options->caller_path = value("--caller-path");
      if (!options->caller_path) return "--caller-path needs a path";
    } else if (a == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return "unknown option " + a;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return "expected a command and one argument";
  options->command = positional[0];
  options->argument = positional[1];
  if (options->explain && options->command != "access") return "--explain belongs to access";
  return "";
}

// The tool's Lookup object: the access check of a frame is reachable for `access`.
class ToolLookup : public lookup::CLookup {
 public:
  using lookup::CLookup::EnterFrame;
};

int Failed(const lookup::CLookup& lookup, std::ostream& err) {
  err << lookup.GetErrorReason() << '\n';
  return kExitFailed;
}

int RunResolve(ToolLookup& lookup, const Options& o, std::ostream& out, std::ostream& err) {
  // An administrator sees what a page calling the MX lookups would see.
  if (!lookup.EnterFrame("MXRecords")) return Failed(lookup, err);
  lookup::EnsureSocketLayer();
  dns::MxResolver resolver;
  if (!resolver.Resolve(o.argument, o.server.value_or(""), o.timeout.value_or(60))) {
    err << "Invalid domain name or DNS server\n";
    return kExitFailed;
  }
  const std::string* exchange = resolver.GetFirstExchange();
  const std::string* preference = resolver.GetFirstPreference();
  for (std::int32_t i = 0; i < resolver.GetCount() && exchange && preference; ++i) {
    out << *preference << ' ' << *exchange << '\n';
    exchange = resolver.GetNextExchange();
    preference = resolver.GetNextPreference();
  }
  return kExitOk;
}

int RunObjectCommand(ToolLookup& lookup, const Options& o, std::ostream& out, std::ostream& err) {
  const std::string& c = o.command;
  if (c == "mx") {
    collections::CMXList list;
    bool has_list = false;
    if (!lookup.GetMXRecord(&list, &has_list) || lookup.GetIsError() != 0) {
      return Failed(lookup, err);
    }
    for (std::int32_t i = 0; i < list.GetCount(); ++i) {
      const collections::CMXEntry& entry = list.GetEntry(i);
      out << entry.m_strPreference << ' ' << entry.m_strMX << '\n';
    }
    return kExitOk;
  }
  if (c == "mxcount") {
    std::int16_t count = 0;
    if (!lookup.MXRecords(&count) || lookup.GetIsError() != 0) return Failed(lookup, err);
    out << count << '\n';
    return kExitOk;
  }
  if (c == "host" || c == "reverse") {
    std::string result;
    bool allowed = c == "host" ? lookup.DNSLookup(o.argument, &result)
                               : lookup.ReverseDNSLookup(o.argument, &result);
    if (!allowed || lookup.GetIsError() != 0) return Failed(lookup, err);
    out << result << '\n';
    return kExitOk;
  }
  // smtp
  std::int16_t result = 0;
  if (!lookup.VerifySMTP(o.argument, &result)) return Failed(lookup, err);
  out << result << '\n';
  return lookup.GetIsError() != 0 ? Failed(lookup, err) : kExitOk;
}

int RunAccess(ToolLookup& lookup, const Options& o, hosting::CallerSource* caller,
              std::ostream& out) {
  if (!o.explain) {
    bool allowed = lookup.EnterFrame(o.argument.c_str());
    if (allowed) {
      out << "allowed\n";
    } else {
      out << "refused\n" << lookup.GetErrorReason() << '\n';
    }
    return allowed ? kExitOk : kExitFailed;
  }
  // The same two steps through the access control's own account of them.
  hosting::AccessReport report = hosting::ExplainAccess(o.argument, caller);
  if (report.allowed) {
    out << "allowed\n";
  } else {
    out << "refused\n" << report.refusal << '\n';
  }
  out << "decided at step " << report.step << '\n';
  for (const auto& [name, value] : report.values) {
    // System texts end with a line break of their own.
    std::string shown = value;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    out << "  " << name << ": " << shown << '\n';
  }
  return report.allowed ? kExitOk : kExitFailed;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return kExitOk;
  }
  Options o;
  std::string problem = Parse(args, &o);
  static const char* const kCommands[] = {"resolve", "mx",   "mxcount", "host",
                                          "reverse", "smtp", "access"};
  bool known = false;
  for (const char* name : kCommands) known = known || o.command == name;
  if (problem.empty() && !known) problem = "unknown command " + o.command;
  if (!problem.empty()) {
    err << "kestra: " << problem << '\n' << kUsage;
    return kExitUsage;
  }

  ToolLookup lookup;
  if (o.server) lookup.PutDNSServer(*o.server);
  if (o.timeout) lookup.PutTimeout(*o.timeout);
  if (o.command == "mx" || o.command == "mxcount") lookup.PutDomainName(o.argument);
  // --caller-path stands in for the calling page; without it the platform's own request
  // is asked, as in a lookup called outside any page.
  hosting::FixedCaller caller = hosting::FixedCaller::WithPath(o.caller_path.value_or(""));
  hosting::CallerSource* caller_source = o.caller_path ? &caller : nullptr;
  hosting::ConfiguredAccess access_control(caller_source);
  lookup.SetAccessControl(&access_control);

  if (o.command == "resolve") return RunResolve(lookup, o, out, err);
  if (o.command == "access") return RunAccess(lookup, o, caller_source, out);
  return RunObjectCommand(lookup, o, out, err);
}

}  // namespace kestra_tool
