// The account of a command as text and as JSON, and the JSON of the doctor and the
// policy (see report.h).
#include "tools/report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "platform/trim.h"
#include "tools/safe_text.h"

namespace kestra_tool {
namespace {

using Step = support::Account::Step;
using Json = nlohmann::ordered_json;
namespace steps = support::steps;

// A time of a step as "12.3 ms".
std::string Ms(const Step& s, std::string_view name) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", s.Real(name));
  return text;
}

// The step's values as members of a JSON object, by their own names.
Json Fields(const Step& s) {
  Json out = Json::object();
  for (const auto& [name, value] : s.fields) {
    std::visit([&, name = std::string(name)](const auto& v) { out[name] = v; }, value);
  }
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

void PrintRecord(const Step& s, std::ostream& out) {
  const std::string section = s.Text("section");
  if (section == "unreadable") {
    out << ";; the rest of the message cannot be read\n";
    return;
  }
  if (section == "question") {
    out << ';' << s.Text("name") << "\t\t" << s.Text("class") << '\t' << s.Text("type") << '\n';
    return;
  }
  out << s.Text("name") << '\t' << s.Number("ttl") << '\t' << s.Text("class") << '\t'
      << s.Text("type") << '\t' << s.Text("data");
  if (const std::string exchanger = s.Text("exchanger"); !exchanger.empty()) {
    out << (exchanger == "yes" ? "\t; exchanger" : "\t; " + exchanger);
  }
  out << '\n';
}

// What the printing of one step needs of those before it.
struct PrintState {
  std::string section;             // the record section under way
  int query = 0;                   // queries so far
  const Step* received = nullptr;  // the last message received
};

void PrintStep(const Step& s, PrintState* state, std::ostream& out) {
  const std::string_view w = s.what;
  if (w == steps::kAccessRead) {
    out << ";;   " << s.Text("name") << ": " << OneLine(s.Text("value")) << '\n';
  } else if (w == steps::kAccessDecision) {
    out << ";; access: " << (s.Number("allowed") ? "allowed" : "refused") << ", decided at step "
        << s.Number("step") << '\n';
  } else if (w == steps::kDnsName || w == steps::kSmtpHost || w == steps::kResolverName) {
    out << ";; " << (w == steps::kSmtpHost ? "host" : "name") << ": " << s.Text("name");
    if (s.Text("ascii") != s.Text("name")) out << " (asked as " << s.Text("ascii") << ')';
    out << '\n';
  } else if (w == steps::kDnsServer) {
    out << ";; SERVER: " << s.Text("address") << '#' << s.Number("port");
    if (s.Text("chosen_by") == "system") {
      out << " (the machine's first DNS server, from " << s.Text("source") << ")\n";
    } else {
      out << " (DNSServer \"" << s.Text("given") << "\")\n";
    }
  } else if (w == steps::kDnsPurpose) {
    const std::string purpose = s.Text("purpose");
    out << ";; " << purpose
        << (purpose == "check"  ? ": the first query, which proves the domain and the server\n"
            : purpose == "list" ? ": the second query, whose answer fills the list\n"
                                : ": one query, whose answer is the result\n");
  } else if (w == steps::kDnsQuery) {
    state->section = "";
    out << ";; query " << ++state->query << " over " << s.Text("transport") << ": id "
        << s.Number("id") << ", flags: " << s.Text("flags") << "; " << s.Number("sent_bytes")
        << " bytes sent\n";
  } else if (w == steps::kDnsReceived) {
    state->received = &s;
  } else if (w == steps::kDnsVerdict && state->received) {
    const Step& r = *state->received;
    out << ";; received " << r.Number("bytes") << " bytes from " << r.Text("from") << '#'
        << r.Number("port") << ": " << s.Text("verdict") << '\n';
  } else if (w == steps::kDnsReply) {
    out << ";; ->>HEADER<<- opcode: QUERY, status: " << s.Text("rcode")
        << ", id: " << s.Number("id") << "\n;; flags: " << s.Text("flags")
        << "; QUERY: " << s.Number("qdcount") << ", ANSWER: " << s.Number("ancount")
        << ", AUTHORITY: " << s.Number("nscount") << ", ADDITIONAL: " << s.Number("arcount")
        << '\n';
  } else if (w == steps::kDnsRecord) {
    const std::string name = s.Text("section");
    if (name != state->section && name != "unreadable") {
      state->section = name;
      std::string upper;
      for (char c : name) upper += static_cast<char>(c - 'a' + 'A');
      out << ";; " << upper << " SECTION:\n";
    }
    PrintRecord(s, out);
  } else if (w == steps::kDnsEnd) {
    out << ";; " << s.Text("outcome");
    if (!s.Text("detail").empty()) out << ": " << s.Text("detail");
    if (s.Find("elapsed_ms")) out << " after " << Ms(s, "elapsed_ms");
    out << '\n';
  } else if (w == steps::kSmtpAddress || w == steps::kResolverAnswer) {
    out << ";; " << (w == steps::kSmtpAddress ? "address " : "answer ")
        << s.Text(w == steps::kSmtpAddress ? "address" : "answer")
        << (s.Number("taken") ? " (taken)" : "") << '\n';
  } else if (w == steps::kSmtpConnect) {
    const std::int64_t error = s.Number("connect_error");
    out << "=== connect to " << s.Text("address") << " port " << s.Number("port") << ": "
        << (error ? "failed, system code " + std::to_string(error) : "connected") << " after "
        << Ms(s, "connect_ms") << '\n';
  } else if (w == steps::kSmtpLine) {
    out << (s.Text("dir") == "sent" ? "-> " : "<- ") << s.Text("text") << "  ["
        << Ms(s, "elapsed_ms") << "]\n";
  } else if (w == steps::kSmtpVerdict) {
    out << ";; verdict " << s.Number("verdict") << ": " << s.Text("why") << '\n';
  } else if (w == steps::kResolverCall) {
    out << ";; " << s.Text("call") << "(" << s.Text("asked") << ") returned " << s.Number("code");
    if (!s.Text("text").empty()) out << " (" << s.Text("text") << ')';
    out << " after " << Ms(s, "elapsed_ms") << '\n';
  }
}

}  // namespace

std::string OneLine(const std::string& text) {
  return std::string(platform::WithoutLineEnd(text));
}

void PrintAccount(const support::Account& account, std::ostream& out) {
  PrintState state;
  // The access decision first, then the values it read, as `kestra access --explain`.
  for (const Step& s : account.Steps()) {
    if (s.what == steps::kAccessDecision) PrintStep(s, &state, out);
  }
  for (const Step& s : account.Steps()) {
    if (s.what != steps::kAccessDecision) PrintStep(s, &state, out);
  }
}

Json AccountJson(const support::Account& account) {
  Json doc = Json::object();
  std::string purpose;
  std::string from;  // the source of the last message received
  const auto query = [&]() -> Json& { return doc["dns"]["queries"].back(); };
  const auto in_query = [&] { return doc.contains("dns") && doc["dns"].contains("queries"); };
  for (const Step& s : account.Steps()) {
    const std::string_view w = s.what;
    if (w == steps::kAccessRead) {
      doc["access"]["values"].push_back(
          {{"name", s.Text("name")}, {"value", OneLine(s.Text("value"))}});
    } else if (w == steps::kAccessDecision) {
      Json& access = doc["access"];
      access.update(Fields(s));
      access["allowed"] = s.Number("allowed") != 0;
      access["refusal"] = OneLine(s.Text("refusal"));
      if (!access.contains("values")) access["values"] = Json::array();
    } else if (w == steps::kDnsName || w == steps::kResolverName) {
      Json& o = doc[w == steps::kDnsName ? "dns" : "resolver"];
      o["name"] = s.Text("name");
      o["ascii_name"] = s.Text("ascii");
    } else if (w == steps::kSmtpHost) {
      doc["smtp"]["host"] = s.Text("name");
      doc["smtp"]["ascii_host"] = s.Text("ascii");
    } else if (w == steps::kDnsServer && !(doc.contains("dns") && doc["dns"].contains("server"))) {
      doc["dns"]["server"] = Fields(s);
    } else if (w == steps::kDnsPurpose) {
      purpose = s.Text("purpose");
    } else if (w == steps::kDnsQuery) {
      Json q = Fields(s);
      q["purpose"] = purpose;
      q["flags"] = Words(s.Text("flags"));
      q["outcome"] = "";
      q["discarded"] = Json::array();
      doc["dns"]["queries"].push_back(std::move(q));
    } else if (w == steps::kDnsReceived) {
      from = s.Text("from") + "#" + std::to_string(s.Number("port"));
    } else if (w == steps::kDnsVerdict && in_query() && s.Text("verdict") != "taken") {
      query()["discarded"].push_back({{"from", from}, {"reason", s.Text("verdict")}});
    } else if (w == steps::kDnsReply && in_query()) {
      Json reply = Fields(s);
      reply["flags"] = Words(s.Text("flags"));
      for (const char* key : {"answers", "authority", "additional"}) reply[key] = Json::array();
      query()["reply"] = std::move(reply);
    } else if (w == steps::kDnsRecord && in_query() && query().contains("reply")) {
      const std::string section = s.Text("section");
      if (section == "question" || section == "unreadable") continue;
      Json record = Fields(s);
      record.erase("section");
      query()["reply"][section == "answer" ? "answers" : section].push_back(std::move(record));
    } else if (w == steps::kDnsEnd) {
      if (!in_query() || query()["outcome"] != "") {  // nothing was sent
        doc["dns"]["not_sent"] = s.Text("detail");
      } else {
        query().update(Fields(s));
      }
    } else if (w == steps::kSmtpAddress) {
      doc["smtp"]["addresses"].push_back(s.Text("address"));
      if (s.Number("taken")) doc["smtp"]["address"] = s.Text("address");
    } else if (w == steps::kSmtpConnect || w == steps::kSmtpVerdict) {
      doc["smtp"].update(Fields(s));
      if (w == steps::kSmtpConnect) doc["smtp"]["lines"] = Json::array();
    } else if (w == steps::kSmtpLine) {
      doc["smtp"]["lines"].push_back(Fields(s));
    } else if (w == steps::kResolverCall) {
      doc["resolver"].update(Fields(s));
      doc["resolver"]["answers"] = Json::array();
    } else if (w == steps::kResolverAnswer) {
      doc["resolver"]["answers"].push_back(s.Text("answer"));
      if (s.Number("taken")) doc["resolver"]["taken"] = s.Text("answer");
    }
  }
  return doc;
}

Json DoctorJson(const std::vector<CheckRow>& rows) {
  Json list = Json::array();
  for (const CheckRow& row : rows) {
    list.push_back({{"check", JsonText(row.text, Encoding::kAnsi)},
                    {"status", StatusName(row.status)},
                    {"detail", JsonText(row.todo, Encoding::kAnsi)}});
  }
  return {{"rows", std::move(list)}};
}

Json PolicyJson(const Policy& policy) {
  Json sites = Json::array();
  for (const SiteGrants& grants : policy.sites) {
    Json may_call = Json::array(), methods = Json::array();
    for (std::size_t i = 0; i < grants.cells.size(); ++i) {
      const lookup::MemberAccess& m = lookup::kMemberAccess[i];
      const bool allowed = grants.cells[i] == "allowed";
      if (allowed && std::find(may_call.begin(), may_call.end(), m.access_name) == may_call.end()) {
        may_call.push_back(m.access_name);
      }
      methods.push_back(
          {{"method", m.member},
           {"access_name", m.access_name},
           {"allowed", allowed},
           {"refusal", allowed ? "" : JsonText(OneLine(grants.cells[i]), Encoding::kAnsi)}});
    }
    sites.push_back({{"site", JsonText(grants.site, Encoding::kAnsi)},
                     {"folder", JsonText(grants.folder, Encoding::kAnsi)},
                     {"may_call", std::move(may_call)},
                     {"methods", std::move(methods)}});
  }
  return {{"everywhere",
           policy.everywhere ? Json(JsonText(*policy.everywhere, Encoding::kAnsi)) : Json()},
          {"sites", std::move(sites)}};
}

}  // namespace kestra_tool
