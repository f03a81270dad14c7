// The account of a command as text and as JSON from one walk of its steps, and the JSON
// of the doctor and the policy (see report.h).
#include "tools/report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "access/access_policy.h"
#include "lookup/host_errors.h"
#include "platform/net.h"
#include "platform/trim.h"
#include "tools/reply_text.h"
#include "tools/safe_text.h"

namespace kestra_tool {
namespace {

using Json = nlohmann::ordered_json;
using namespace support::step;

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", ms);
  return text;
}

std::string Shown(std::string_view text, Encoding encoding = Encoding::kUtf8) {
  return ShownText(text, encoding);
}
std::string ForJson(std::string_view text, Encoding encoding = Encoding::kUtf8) {
  return JsonText(text, encoding);
}

// Names of the steps' enums, in their order.
constexpr const char* kItemNames[] = {"Admin.ini",       "WebSite.ini", "Installed",
                                      "EnableGatehouse", "Applied",     "Caller path",
                                      "Path entry",      "Security",    "Methods"};
constexpr const char* kPurposeNames[] = {"check", "list", "count", "resolve"};
constexpr const char* kNotSentTexts[] = {"negative time-out", "no random query ID",
                                         "the name does not fit in a query", "no DNS server",
                                         "the server has no usable address"};
constexpr const char* kVerdictTexts[] = {
    "taken",    "wrong source address", "wrong source port", "too short",
    "wrong ID", "not a reply",          "wrong question",    "cannot be read"};
constexpr const char* kStageNames[] = {"host",     "socket library", "address",        "connect",
                                       "greeting", "HELO",           "answer to HELO", "done"};
constexpr const char* kCauseTexts[] = {
    "not usable as given", "not found",    "timed out",     "unreachable",
    "no usable answer",    "system error", "out of memory", "a value of another type"};

template <std::size_t N, class E>
const char* NameOf(const char* const (&names)[N], E value) {
  return names[static_cast<std::size_t>(value)];
}

const char* ItemName(Item item, bool found) {
  return item == Item::kCaller && !found ? "Caller not found" : NameOf(kItemNames, item);
}

std::string Endpoint(const platform::Endpoint& e) {
  return e.address.Text() + "#" + std::to_string(e.port);
}

// The address of a DNS server or SMTP host in a JSON member.
Json AddressJson(const std::optional<platform::IpAddress>& address) {
  return address ? Json(address->Text()) : Json();
}

Json CodeJson(const std::optional<platform::Failure>& failure) {
  return failure && failure->code ? Json(failure->code) : Json();
}

// Why an SMTP conversation ended where it did.
std::string SmtpWhy(const SmtpVerdict& v) {
  if (v.stage == SmtpStage::kDone) return "greeting 220, answer to HELO 250";
  const std::string cause = v.failure ? CauseText(*v.failure) : "";
  switch (v.stage) {
    case SmtpStage::kNoHost:
      return "no host given";
    case SmtpStage::kSocketLayer:
      return "the socket library did not start: " + cause;
    case SmtpStage::kNoAddress:
      return "the host has no address: " + cause;
    case SmtpStage::kConnect:
      return "the connection failed: " + cause;
    case SmtpStage::kHelo:
      return "HELO could not be sent: " + cause;
    default:
      break;
  }
  const std::string stage = NameOf(kStageNames, v.stage);
  const int expected = v.stage == SmtpStage::kGreeting ? 220 : 250;
  switch (v.fault) {
    case SmtpFault::kUnexpectedCode:
      return stage + ": " + std::to_string(v.code) + ", not " + std::to_string(expected);
    case SmtpFault::kMalformed:
      return stage + ": a malformed reply (a line without a three-digit code)";
    case SmtpFault::kTooLong:
      return stage + ": a reply longer than 64 KiB";
    case SmtpFault::kClosed:
      return stage + ": the server closed the connection before the reply was whole";
    default:
      return stage + ": " + cause;
  }
}

// One walk of an account: each step becomes its lines of text (when `text` is given)
// and its members of the JSON parts (when `doc` is given).
class Walk {
 public:
  Walk(std::ostream* text, Json* doc) : m_pText(text), m_pDoc(doc) {}

  void operator()(const AccessRead& s) {
    const std::string value(
        platform::WithoutLineEnd(s.value ? *s.value : hosting::FailureText(s.value.failure())));
    if (m_pText)
      m_reads.push_back(";;   " + std::string(ItemName(s.item, s.value.ok())) + ": " +
                        Shown(value, Encoding::kAnsi));
    if (m_pDoc) {
      Part("access")["values"].push_back(
          {{"name", ItemName(s.item, s.value.ok())}, {"value", ForJson(value, Encoding::kAnsi)}});
    }
  }
  void operator()(const AccessDecision& s) {
    if (m_pText) {
      *m_pText << ";; access: " << (s.allowed ? "allowed" : "refused") << ", decided at step "
               << s.step << '\n';
      for (const std::string& line : m_reads) *m_pText << line << '\n';
      if (s.step == hosting::StepOf(hosting::Reason::kNoCaller)) {
        *m_pText << ";; no calling page: from a shell, --caller-path PATH (or PATH_TRANSLATED)"
                    " stands in for the page's path\n";
      }
    }
    if (m_pDoc) {
      Json& access = Part("access");
      access["allowed"] = s.allowed;
      access["step"] = s.step;
      access["refusal"] = ForJson(platform::WithoutLineEnd(s.refusal), Encoding::kAnsi);
    }
  }
  void operator()(const Name& s) {
    const bool smtp = s.role == NameRole::kSmtpHost;
    m_bSmtp = m_bSmtp || smtp;
    if (m_pText) {
      *m_pText << ";; " << (smtp ? "host" : "name") << ": " << Shown(s.given);
      if (s.ascii != s.given) *m_pText << " (asked as " << Shown(s.ascii) << ')';
      *m_pText << '\n';
    }
    if (m_pDoc) {
      Json& part = Part(smtp ? "smtp" : s.role == NameRole::kDomain ? "dns" : "resolver");
      part[smtp ? "host" : "name"] = ForJson(s.given);
      part[smtp ? "ascii_host" : "ascii_name"] = ForJson(s.ascii);
    }
  }
  void operator()(const DnsPurpose& s) {
    m_strPurpose = NameOf(kPurposeNames, s.purpose);
    if (m_pText) {
      *m_pText << ";; " << m_strPurpose
               << (s.purpose == Purpose::kCheck
                       ? ": the first query, which proves the domain and the server\n"
                   : s.purpose == Purpose::kList
                       ? ": the second query, whose answer fills the list\n"
                       : ": one query, whose answer is the result\n");
    }
  }
  void operator()(const DnsServer& s) {
    if (m_pText) {
      *m_pText << ";; SERVER: "
               << (s.address ? s.address->Text() + "#" + std::to_string(s.port)
                             : "no usable address");
      if (s.from_system) {
        *m_pText << " (the machine's first DNS server, " << Shown(s.given) << ", from "
                 << Shown(s.source, Encoding::kAnsi) << ")\n";
      } else {
        *m_pText << " (DNSServer \"" << Shown(s.given) << "\")\n";
      }
    }
    if (m_pDoc && Part("dns")["server"].is_null()) {
      Part("dns")["server"] = {{"given", ForJson(s.given)},
                               {"address", AddressJson(s.address)},
                               {"port", s.port},
                               {"chosen_by", s.from_system ? "system" : "DNSServer"},
                               {"source", ForJson(s.source, Encoding::kAnsi)}};
    }
  }
  void operator()(const DnsNotSent& s) {
    if (m_pText)
      *m_pText << ";; nothing sent: " << NameOf(kNotSentTexts, s.why) << " ("
               << CauseText(s.failure) << ")\n";
    if (m_pDoc) Part("dns")["not_sent"] = NameOf(kNotSentTexts, s.why);
  }
  void operator()(const DnsQuery& s) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(s.bytes.data());
    const bool whole = s.bytes.size() >= 4;
    const unsigned id = whole ? (b[0] << 8 | b[1]) : 0;
    const std::vector<std::string> flags =
        whole ? FlagNames(static_cast<std::uint16_t>(b[2] << 8 | b[3]))
              : std::vector<std::string>{};
    const char* transport = s.transport == Transport::kUdp ? "udp" : "tcp";
    if (m_pText) {
      *m_pText << ";; query " << ++m_nQuery << " over " << transport << ": id " << id << ", flags:";
      for (const std::string& f : flags) *m_pText << ' ' << f;
      *m_pText << "; " << s.bytes.size() << " bytes sent\n";
    }
    if (m_pDoc) {
      Part("dns")["queries"].push_back({{"purpose", m_strPurpose},
                                        {"transport", transport},
                                        {"id", id},
                                        {"flags", flags},
                                        {"sent_bytes", s.bytes.size()},
                                        {"outcome", nullptr},
                                        {"detail", ""},
                                        {"code", nullptr},
                                        {"elapsed_ms", nullptr},
                                        {"discarded", Json::array()},
                                        {"reply", nullptr}});
    }
  }
  void operator()(const DnsReceived& s) {
    if (m_pText) {
      *m_pText << ";; received " << s.bytes.size() << " bytes from " << Endpoint(s.from) << ": "
               << NameOf(kVerdictTexts, s.verdict) << '\n';
    }
    Json* query =
        m_pDoc && !Part("dns")["queries"].empty() ? &Part("dns")["queries"].back() : nullptr;
    if (s.verdict != Verdict::kTaken) {
      if (query)
        query->at("discarded")
            .push_back({{"from", Endpoint(s.from)}, {"reason", NameOf(kVerdictTexts, s.verdict)}});
      return;
    }
    const ReplyText reply = ReadReplyText(s.bytes);
    if (m_pText) PrintReply(reply);
    if (query) query->at("reply") = ReplyJson(reply, s.bytes.size());
  }
  void operator()(const DnsEnd& s) {
    const bool timeout = s.failure && s.failure->cause == platform::Cause::kTimeout;
    const char* outcome = !s.failure ? "reply" : timeout ? "timeout" : "error";
    if (m_pText) {
      *m_pText << ";; "
               << (!s.failure ? "reply"
                   : timeout  ? "timed out"
                              : "error: " + CauseText(*s.failure))
               << " after " << Ms(s.elapsed_ms) << '\n';
    }
    if (m_pDoc && !Part("dns")["queries"].empty()) {
      Json& q = Part("dns")["queries"].back();
      q["outcome"] = outcome;
      q["detail"] = s.failure ? CauseText(*s.failure) : "";
      q["code"] = CodeJson(s.failure);
      q["elapsed_ms"] = s.elapsed_ms;
    }
  }
  void operator()(const ResolverCall& s) {
    const std::string text = s.code == 0 ? ""
                             : m_bSmtp   ? CauseText(platform::SocketFailure(s.code))
                             : s.reverse ? lookup::ReverseLookupErrorText(s.code)
                                         : lookup::DnsLookupErrorText(s.code);
    if (m_pText) {
      *m_pText << ";; " << s.call << '(' << Shown(s.asked) << ") returned " << s.code;
      if (!text.empty()) *m_pText << " (" << text << ')';
      *m_pText << " after " << Ms(s.elapsed_ms) << '\n';
      for (std::size_t i = 0; i < s.answers.size(); ++i) {
        *m_pText << ";; answer " << Shown(s.answers[i], Encoding::kAnsi)
                 << (i == 0 ? " (taken)" : "") << '\n';
      }
    }
    if (m_pDoc) {
      Json call = {{"call", s.call}, {"asked", ForJson(s.asked)},  {"code", s.code},
                   {"text", text},   {"elapsed_ms", s.elapsed_ms}, {"answers", Json::array()}};
      for (const std::string& a : s.answers) call["answers"].push_back(ForJson(a, Encoding::kAnsi));
      if (m_bSmtp) {
        Part("smtp")["addresses"] = call["answers"];
        Part("smtp")["lookup"] = std::move(call);
      } else {
        call["taken"] = s.answers.empty() ? Json() : call["answers"][0];
        Part("resolver").update(call);
      }
    }
  }
  void operator()(const SmtpConnect& s) {
    if (m_pText) {
      *m_pText << "=== connect to " << s.to.address.Text() << " port " << s.to.port << ": "
               << (s.failure ? "failed: " + CauseText(*s.failure) : "connected") << " after "
               << Ms(s.elapsed_ms) << '\n';
    }
    if (m_pDoc) {
      Json& smtp = Part("smtp");
      smtp["address"] = s.to.address.Text();
      smtp["port"] = s.to.port;
      smtp["connect_ms"] = s.elapsed_ms;
      smtp["connect_error"] = s.failure ? s.failure->code : 0;
    }
  }
  void operator()(const SmtpLine& s) {
    const bool sent = s.direction == Direction::kSent;
    if (m_pText)
      *m_pText << (sent ? "-> " : "<- ") << Shown(s.text) << "  [" << Ms(s.elapsed_ms) << "]\n";
    if (m_pDoc) {
      Part("smtp")["lines"].push_back({{"dir", sent ? "sent" : "received"},
                                       {"text", ForJson(s.text)},
                                       {"elapsed_ms", s.elapsed_ms}});
    }
  }
  void operator()(const SmtpVerdict& s) {
    const bool accepted = s.stage == SmtpStage::kDone;
    if (m_pText) *m_pText << ";; verdict " << (accepted ? 1 : 0) << ": " << SmtpWhy(s) << '\n';
    if (m_pDoc) {
      Json& smtp = Part("smtp");
      smtp["verdict"] = accepted ? 1 : 0;
      smtp["stage"] = NameOf(kStageNames, s.stage);
      smtp["why"] = SmtpWhy(s);
      smtp["code"] = CodeJson(s.failure);
    }
  }

 private:
  // A part of the document, made with every member it can have on first use.
  Json& Part(const char* name) {
    Json& part = (*m_pDoc)[name];
    if (!part.is_null()) return part;
    const std::string n = name;
    if (n == "access") {
      part = {{"allowed", false}, {"step", 0}, {"refusal", ""}, {"values", Json::array()}};
    } else if (n == "dns") {
      part = {{"name", ""},
              {"ascii_name", ""},
              {"server", nullptr},
              {"not_sent", nullptr},
              {"queries", Json::array()}};
    } else if (n == "smtp") {
      part = {{"host", ""},
              {"ascii_host", ""},
              {"lookup", nullptr},
              {"addresses", Json::array()},
              {"address", nullptr},
              {"port", nullptr},
              {"connect_ms", nullptr},
              {"connect_error", nullptr},
              {"lines", Json::array()},
              {"verdict", 0},
              {"stage", ""},
              {"why", ""},
              {"code", nullptr}};
    } else {
      part = {
          {"name", ""},      {"ascii_name", ""}, {"call", ""},        {"asked", ""},
          {"code", 0},       {"text", ""},       {"elapsed_ms", 0.0}, {"answers", Json::array()},
          {"taken", nullptr}};
    }
    return part;
  }

  void PrintReply(const ReplyText& r) {
    std::ostream& out = *m_pText;
    out << ";; ->>HEADER<<- opcode: QUERY, status: " << r.rcode << ", id: " << r.id
        << "\n;; flags:";
    for (const std::string& f : r.flags) out << ' ' << f;
    out << "; QUERY: " << r.counts[0] << ", ANSWER: " << r.counts[1]
        << ", AUTHORITY: " << r.counts[2] << ", ADDITIONAL: " << r.counts[3] << '\n';
    constexpr const char* kNames[] = {"QUESTION", "ANSWER", "AUTHORITY", "ADDITIONAL"};
    for (int s = 0; s < 4; ++s) {
      if (r.sections[s].empty()) continue;
      out << ";; " << kNames[s] << " SECTION:\n";
      for (const RecordText& rec : r.sections[s]) {
        if (s == 0) {
          out << ';' << rec.name << "\t\t" << rec.klass << '\t' << rec.type << '\n';
          continue;
        }
        out << rec.name << '\t' << rec.ttl << '\t' << rec.klass << '\t' << rec.type << '\t'
            << rec.data;
        if (s == 1)
          out << (NullMx(r)       ? "\t; null MX: the domain accepts no mail"
                  : rec.exchanger ? "\t; exchanger"
                                  : "\t; not an exchanger");
        out << '\n';
      }
    }
    if (!r.whole) out << ";; the rest of the message cannot be read\n";
  }

  static Json ReplyJson(const ReplyText& r, std::size_t bytes) {
    Json reply = {{"id", r.id},
                  {"flags", r.flags},
                  {"rcode", r.rcode},
                  {"qdcount", r.counts[0]},
                  {"ancount", r.counts[1]},
                  {"nscount", r.counts[2]},
                  {"arcount", r.counts[3]},
                  {"bytes", bytes},
                  {"null_mx", NullMx(r)}};
    constexpr const char* kKeys[] = {"", "answers", "authority", "additional"};
    for (int s = 1; s < 4; ++s) {
      Json records = Json::array();
      for (const RecordText& rec : r.sections[s]) {
        Json j = {{"name", rec.name},
                  {"type", rec.type},
                  {"class", rec.klass},
                  {"ttl", rec.ttl},
                  {"data", rec.data}};
        if (s == 1) j["exchanger"] = rec.exchanger;
        records.push_back(std::move(j));
      }
      reply[kKeys[s]] = std::move(records);
    }
    return reply;
  }

  // RFC 7505: one MX record, of preference 0, whose exchange is the root.
  static bool NullMx(const ReplyText& r) {
    const auto& answers = r.sections[1];
    const auto mx = std::count_if(answers.begin(), answers.end(),
                                  [](const RecordText& a) { return a.exchanger; });
    return mx == 1 && std::any_of(answers.begin(), answers.end(), [](const RecordText& a) {
             return a.exchanger && a.data == "0 .";
           });
  }

  std::ostream* m_pText;
  Json* m_pDoc;
  std::vector<std::string> m_reads;  // the access values, printed after the decision
  std::string m_strPurpose;
  int m_nQuery = 0;
  bool m_bSmtp = false;  // a resolver call after the SMTP host is the host's lookup
};

}  // namespace

std::string CauseText(const platform::Failure& failure) {
  namespace wsa = platform::wsa;
  static constexpr std::pair<int, const char*> kCodes[] = {
      {wsa::kECONNREFUSED, "connection refused"},
      {wsa::kETIMEDOUT, "timed out"},
      {wsa::kENETUNREACH, "network unreachable"},
      {wsa::kEHOSTUNREACH, "host unreachable"},
      {wsa::kECONNRESET, "connection reset by the peer"},
      {wsa::kENETDOWN, "network down"},
      {wsa::kEADDRNOTAVAIL, "address not available"},
      {wsa::kEACCES, "permission denied"},
      {wsa::kHOST_NOT_FOUND, "host not found"},
      {wsa::kTRY_AGAIN, "no answer from the name service, try again"},
      {wsa::kNO_RECOVERY, "the name service failed"},
      {wsa::kNO_DATA, "the name has no address of that kind"}};
  const auto* known = std::find_if(std::begin(kCodes), std::end(kCodes),
                                   [&](const auto& c) { return c.first == failure.code; });
  std::string text = known != std::end(kCodes) ? known->second : NameOf(kCauseTexts, failure.cause);
  if (failure.code != 0) text += " (system code " + std::to_string(failure.code) + ")";
  return text;
}

void ShowAccount(const support::Account& account, std::ostream* text, Json* doc) {
  Walk walk(text, doc);
  for (const support::Step& step : account.Steps()) std::visit(walk, step);
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
           {"refusal",
            allowed ? "" : JsonText(platform::WithoutLineEnd(grants.cells[i]), Encoding::kAnsi)}});
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
