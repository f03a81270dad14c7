// The account of a command as text and as JSON, and the JSON of the doctor and the
// policy (see report.h).
#include "tools/report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/trim.h"

namespace kestra_tool {
namespace {

using Step = support::Account::Step;
using Json = nlohmann::ordered_json;
namespace steps = support::steps;

// Tenths of a millisecond as "12.3 ms".
std::string Ms(std::int64_t tenths) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%lld ms", static_cast<long long>(tenths / 10),
                static_cast<long long>(tenths % 10));
  return text;
}

double MsValue(std::int64_t tenths) {
  return static_cast<double>(tenths) / 10.0;
}

// System texts end with a line break of their own.
std::string OneLine(const std::string& text) {
  return std::string(platform::WithoutLineEnd(text));
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
        << s.Number("id") << ", flags: " << s.Text("flags") << "; " << s.Number("bytes")
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
    if (s.Find("elapsed")) out << " after " << Ms(s.Number("elapsed"));
    out << '\n';
  } else if (w == steps::kSmtpAddress || w == steps::kResolverAnswer) {
    out << ";; " << (w == steps::kSmtpAddress ? "address " : "answer ")
        << s.Text(w == steps::kSmtpAddress ? "address" : "answer")
        << (s.Number("taken") ? " (taken)" : "") << '\n';
  } else if (w == steps::kSmtpConnect) {
    out << "=== connect to " << s.Text("address") << " port " << s.Number("port") << ": "
        << (s.Number("error") ? "failed, system code " + std::to_string(s.Number("error"))
                              : "connected")
        << " after " << Ms(s.Number("elapsed")) << '\n';
  } else if (w == steps::kSmtpLine) {
    out << (s.Text("dir") == "sent" ? "-> " : "<- ") << s.Text("text") << "  ["
        << Ms(s.Number("elapsed")) << "]\n";
  } else if (w == steps::kSmtpVerdict) {
    out << ";; verdict " << s.Number("verdict") << ": " << s.Text("why") << '\n';
  } else if (w == steps::kResolverCall) {
    out << ";; " << s.Text("call") << "(" << s.Text("asked") << ") returned " << s.Number("code");
    if (!s.Text("text").empty()) out << " (" << s.Text("text") << ')';
    out << " after " << Ms(s.Number("elapsed")) << '\n';
  }
}

Json RecordJson(const Step& s) {
  return {{"name", s.Text("name")},
          {"type", s.Text("type")},
          {"class", s.Text("class")},
          {"ttl", s.Number("ttl")},
          {"data", s.Text("data")}};
}

}  // namespace

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
  bool in_query = false;
  std::string from;  // the source of the last message received
  const auto current = [&]() -> Json& { return doc["dns"]["queries"].back(); };
  for (const Step& s : account.Steps()) {
    const std::string_view w = s.what;
    if (w == steps::kAccessRead) {
      doc["access"]["values"].push_back(
          {{"name", s.Text("name")}, {"value", OneLine(s.Text("value"))}});
    } else if (w == steps::kAccessDecision) {
      Json& access = doc["access"];
      access["allowed"] = s.Number("allowed") != 0;
      access["step"] = s.Number("step");
      access["refusal"] = OneLine(s.Text("refusal"));
      if (!access.contains("values")) access["values"] = Json::array();
    } else if (w == steps::kDnsName) {
      doc["dns"]["name"] = s.Text("name");
      doc["dns"]["ascii_name"] = s.Text("ascii");
    } else if (w == steps::kDnsServer) {
      if (!doc["dns"].contains("server")) {
        doc["dns"]["server"] = {{"address", s.Text("address")},
                                {"port", s.Number("port")},
                                {"chosen_by", s.Text("chosen_by")},
                                {"source", s.Text("source")}};
      }
    } else if (w == steps::kDnsPurpose) {
      purpose = s.Text("purpose");
    } else if (w == steps::kDnsQuery) {
      Json& queries = doc["dns"]["queries"];
      queries.push_back({{"purpose", purpose},
                         {"transport", s.Text("transport")},
                         {"id", s.Number("id")},
                         {"flags", Words(s.Text("flags"))},
                         {"sent_bytes", s.Number("bytes")},
                         {"elapsed_ms", 0},
                         {"outcome", ""},
                         {"discarded", Json::array()}});
      in_query = true;
    } else if (w == steps::kDnsReceived) {
      from = s.Text("from") + "#" + std::to_string(s.Number("port"));
    } else if (w == steps::kDnsVerdict && in_query && s.Text("verdict") != "taken") {
      current()["discarded"].push_back({{"from", from}, {"reason", s.Text("verdict")}});
    } else if (w == steps::kDnsReply && in_query) {
      current()["reply"] = {{"id", s.Number("id")},       {"flags", Words(s.Text("flags"))},
                            {"rcode", s.Text("rcode")},   {"answers", Json::array()},
                            {"authority", Json::array()}, {"additional", Json::array()},
                            {"bytes", s.Number("bytes")}};
    } else if (w == steps::kDnsRecord && in_query && current().contains("reply")) {
      const std::string section = s.Text("section");
      const char* key = section == "answer"       ? "answers"
                        : section == "authority"  ? "authority"
                        : section == "additional" ? "additional"
                                                  : nullptr;
      if (!key) continue;
      Json record = RecordJson(s);
      if (section == "answer") record["exchanger"] = s.Text("exchanger");
      current()["reply"][key].push_back(std::move(record));
    } else if (w == steps::kDnsEnd) {
      if (!in_query || current()["outcome"] != "") {  // nothing was sent
        doc["dns"]["not_sent"] = s.Text("detail");
        continue;
      }
      Json& q = current();
      q["outcome"] = s.Text("outcome");
      q["detail"] = s.Text("detail");
      q["elapsed_ms"] = MsValue(s.Number("elapsed"));
    } else if (w == steps::kSmtpHost) {
      doc["smtp"]["host"] = s.Text("name");
      doc["smtp"]["ascii_host"] = s.Text("ascii");
    } else if (w == steps::kSmtpAddress) {
      doc["smtp"]["addresses"].push_back(s.Text("address"));
      if (s.Number("taken")) doc["smtp"]["address"] = s.Text("address");
    } else if (w == steps::kSmtpConnect) {
      doc["smtp"]["port"] = s.Number("port");
      doc["smtp"]["connect_ms"] = MsValue(s.Number("elapsed"));
      doc["smtp"]["connect_error"] = s.Number("error");
      doc["smtp"]["lines"] = Json::array();
    } else if (w == steps::kSmtpLine) {
      doc["smtp"]["lines"].push_back({{"dir", s.Text("dir")},
                                      {"text", s.Text("text")},
                                      {"elapsed_ms", MsValue(s.Number("elapsed"))}});
    } else if (w == steps::kSmtpVerdict) {
      doc["smtp"]["verdict"] = s.Number("verdict");
      doc["smtp"]["why"] = s.Text("why");
    } else if (w == steps::kResolverName) {
      doc["resolver"]["name"] = s.Text("name");
      doc["resolver"]["ascii_name"] = s.Text("ascii");
    } else if (w == steps::kResolverCall) {
      Json& r = doc["resolver"];
      r["call"] = s.Text("call");
      r["asked"] = s.Text("asked");
      r["code"] = s.Number("code");
      r["text"] = s.Text("text");
      r["answers"] = Json::array();
      r["elapsed_ms"] = MsValue(s.Number("elapsed"));
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
    list.push_back({{"check", row.text}, {"status", StatusName(row.status)}, {"detail", row.todo}});
  }
  return {{"rows", std::move(list)}};
}

Json PolicyJson(const Policy& policy) {
  Json sites = Json::array();
  for (const SiteGrants& grants : policy.sites) {
    Json may_call = Json::array(), methods = Json::array();
    for (std::size_t i = 0; i < grants.cells.size(); ++i) {
      const PolicyMethod& m = kPolicyMethods[i];
      const bool allowed = grants.cells[i] == "allowed";
      if (allowed && std::find(may_call.begin(), may_call.end(), m.access_name) == may_call.end()) {
        may_call.push_back(m.access_name);
      }
      methods.push_back({{"method", m.method},
                         {"access_name", m.access_name},
                         {"allowed", allowed},
                         {"refusal", allowed ? "" : OneLine(grants.cells[i])}});
    }
    sites.push_back({{"site", grants.site},
                     {"folder", grants.folder},
                     {"may_call", std::move(may_call)},
                     {"methods", std::move(methods)}});
  }
  return {{"everywhere", policy.everywhere ? Json(*policy.everywhere) : Json()},
          {"sites", std::move(sites)}};
}

}  // namespace kestra_tool
