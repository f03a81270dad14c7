// The query the resolver writes, and the reading of a reply against it (the rules of
// names are tested in dns_name_test.cpp).
#include "dns/dns_message.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "fake_dns_server.h"
#include "testbed.h"

namespace {

using testbed::Bytes;
using testbed::DnsReply;
using Lines = std::vector<std::string>;

Bytes ReadData(const std::string& name) {
  std::ifstream in(testbed::SourcePath("tests/dns/data/" + name), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Label form of the given labels.
std::string Labels(std::initializer_list<std::string> labels) {
  std::string out;
  for (const std::string& label : labels) out += static_cast<char>(label.size()) + label;
  return out;
}

dns::Query QueryFor(const std::string& domain, std::uint16_t id = 0x0312) {
  return dns::Query::Make(domain, id).value();
}

Bytes BytesOf(const dns::Query& query) {
  return Bytes(query.Bytes().begin(), query.Bytes().end());
}

// The exchangers of a reply to `domain` as "preference exchange" lines, or "malformed".
Lines Exchangers(const Bytes& reply, const std::string& domain, std::uint16_t id = 0x0312) {
  const auto read = dns::ReadReply(reply, QueryFor(domain, id));
  if (read.verdict != dns::Verdict::kTaken) return {"malformed"};
  Lines out;
  for (const dns::MxRecord& mx : read.reply.exchangers) {
    out.push_back(std::to_string(mx.preference) + " " + mx.exchange);
  }
  return out;
}

// A reply to "ex.com" (its name at offset 12) with one MX record of this RDATA name.
Bytes WithExchange(const Bytes& exchange) {
  return DnsReply(BytesOf(QueryFor("ex.com"))).MxWire(7, exchange).Build();
}

TEST(DnsQuery, AbCdWithId0312IsTheKnown23Bytes) {
  const Bytes expected{0x03, 0x12, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x02, 0x61, 0x62, 0x02, 0x63, 0x64, 0x00, 0x00, 0x0F, 0x00, 0x01};
  EXPECT_EQ(BytesOf(QueryFor("ab.cd")), expected);
  EXPECT_EQ(QueryFor("ab.cd").Id(), 0x0312);
}

TEST(DnsQuery, NamesInLabelFormAndNamesNoQueryCanCarry) {
  const std::string l63(63, 'a');
  const std::string l61(61, 'b');
  const std::string longest = l63 + "." + l63 + "." + l63 + "." + l61;  // 255 in wire form
  const std::string longest_labels = Labels({l63, l63, l63, l61});
  const struct {
    std::string domain;
    bool fits;
    std::string labels;
  } cases[] = {
      {"ab.cd", true, Labels({"ab", "cd"})},
      {"ab.cd.", true, Labels({"ab", "cd"})},
      {"a..b", true, Labels({"a", "b"})},  // empty labels vanish
      {"", true, ""},
      {".", true, ""},
      {"Mixed.Case", true, Labels({"Mixed", "Case"})},
      {l63 + ".com", true, Labels({l63, "com"})},
      {longest, true, longest_labels},
      {longest + ".", true, longest_labels},
      {longest + "x", false, ""},                   // 256
      {std::string(64, 'a') + ".com", false, ""},   // its length byte would read 0x40
      {"com." + std::string(256, 'a'), false, ""},  // or wrap to 0
  };
  for (const auto& c : cases) {
    const auto query = dns::Query::Make(c.domain, 1);
    ASSERT_EQ(query.ok(), c.fits) << c.domain.size();
    if (!c.fits) {
      EXPECT_EQ(query.failure().cause, platform::Cause::kInvalidInput);
      continue;
    }
    EXPECT_EQ(query->Name(), c.labels) << c.domain;
    EXPECT_EQ(query->Bytes().size(), 12 + c.labels.size() + 5) << c.domain;
  }
}

TEST(DnsReply, AnswersItsOwnQueryOnly) {
  using V = dns::Verdict;
  const Bytes query = BytesOf(QueryFor("example.com"));
  const Bytes good = DnsReply(query).Mx(1, "a.example.com").Build();
  auto changed = [&good](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const std::size_t end = query.size();  // of the question, in the reply too
  const struct {
    const char* what;
    Bytes reply;
    dns::Verdict verdict;
  } cases[] = {
      {"the reply", good, V::kTaken},
      {"NXDOMAIN: the RCODE is not looked at", DnsReply(query).RCode(3).Build(), V::kTaken},
      {"SERVFAIL with records", DnsReply(query).RCode(2).Mx(1, "a.example.com").Build(), V::kTaken},
      {"TC set", DnsReply(query).Truncated().Build(), V::kTaken},
      {"the name in another case", changed([](Bytes& b) { b[13] = 'E'; }), V::kTaken},
      {"another ID", DnsReply(query).Id(0x0313).Build(), V::kWrongId},
      {"QR clear", query, V::kNotAReply},
      {"another name", changed([](Bytes& b) { b[13] ^= 0x01; }), V::kWrongQuestion},
      {"another type", changed([end](Bytes& b) { b[end - 3] = 1; }), V::kWrongQuestion},
      {"another class", changed([end](Bytes& b) { b[end - 1] = 3; }), V::kWrongQuestion},
      {"no question", changed([](Bytes& b) { b[5] = 0; }), V::kWrongQuestion},
      {"two questions", changed([&query](Bytes& b) {
         b[5] = 2;
         b.insert(b.begin() + 12, query.begin() + 12, query.end());
       }),
       V::kWrongQuestion},
      {"a broken question name", changed([](Bytes& b) { b[12] = 0x40; }), V::kWrongQuestion},
      {"the question cut short", Bytes(good.begin(), good.begin() + 12 + 13 + 3),
       V::kWrongQuestion},
      {"shorter than a header", Bytes(good.begin(), good.begin() + 11), V::kTooShort},
      {"empty", {}, V::kTooShort},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dns::ReadReply(c.reply, QueryFor("example.com")).verdict, c.verdict) << c.what;
  }
  EXPECT_TRUE(
      dns::ReadReply(DnsReply(query).Truncated().Build(), QueryFor("example.com")).reply.truncated);
  EXPECT_FALSE(dns::ReadReply(good, QueryFor("example.com")).reply.truncated);
}

TEST(DnsReply, ExchangersInAnswerOrderWithCompressedNames) {
  const Bytes reply = DnsReply(BytesOf(QueryFor("example.com")))
                          .Mx(20, "mx-a.example.com")
                          .Mx(10, "mx-b.example.com")
                          .Mx(10, "mx-b.example.com")
                          .Mx(65535, "mx-c.example.com")
                          .Build();
  EXPECT_EQ(Exchangers(reply, "example.com"),
            (Lines{"20 mx-a.example.com", "10 mx-b.example.com", "10 mx-b.example.com",
                   "65535 mx-c.example.com"}));
}

TEST(DnsReply, ExchangeNameForms) {
  const std::string a63(63, 'a');
  const struct {
    const char* what;
    Bytes exchange;
    std::string dotted;
  } cases[] = {
      {"pointer to the question", {0xC0, 0x0C}, "ex.com"},
      {"label then pointer", {4, 'm', 'a', 'i', 'l', 0xC0, 0x0C}, "mail.ex.com"},
      {"pointer to a suffix", {4, 'm', 'a', 'i', 'l', 0xC0, 0x0F}, "mail.com"},
      {"root (null MX)", {0}, ""},
      {"a dot inside a label is copied", {3, 'a', '.', 'b', 0}, "a.b"},
      {"the longest name: 255 bytes in wire form, 253 dotted",
       DnsReply::Name(a63 + "." + a63 + "." + a63 + "." + std::string(61, 'd')),
       a63 + "." + a63 + "." + a63 + "." + std::string(61, 'd')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exchangers(WithExchange(c.exchange), "ex.com"), (Lines{"7 " + c.dotted})) << c.what;
  }
}

TEST(DnsReply, OnlyMxRecordsOfClassInBecomeExchangers) {
  const Bytes query = BytesOf(QueryFor("alias.example.com"));
  const Bytes cname = DnsReply(query).Cname("target.example.com").Mx(5, "mx.example.com").Build();
  const Bytes chaos = DnsReply(query)
                          .Record(15, {0, 9, 0}, {0xC0, 0x0C}, 3)  // class CH
                          .Mx(4, "mx.example.com")
                          .Build();
  EXPECT_EQ(Exchangers(cname, "alias.example.com"), (Lines{"5 mx.example.com"}));
  EXPECT_EQ(Exchangers(chaos, "alias.example.com"), (Lines{"4 mx.example.com"}));
}

TEST(DnsReply, AnAnswerSectionThatDoesNotDecodeYieldsNothing) {
  const Bytes query = BytesOf(QueryFor("ex.com"));
  Bytes overrun_rdlength = WithExchange({2, 'm', 'x', 0});
  overrun_rdlength[overrun_rdlength.size() - 7] = 9;  // RDLENGTH 9, 6 bytes follow
  Bytes name_past_rdata = DnsReply(query).Record(15, {0, 1, 2, 'm', 'x'}).Build();
  name_past_rdata.insert(name_past_rdata.end(), {0, 0, 0});  // the name ends outside its RDATA
  Bytes more_answers = WithExchange({0});
  more_answers[7] = 2;
  Bytes more_questions = DnsReply(query).Build();
  more_questions[5] = 2;
  const struct {
    const char* what;
    Bytes reply;
  } cases[] = {
      {"short header", {0x03, 0x12, 0x81, 0x80, 0, 1, 0}},
      {"broken exchange", WithExchange({0xC0, 0x30})},
      {"broken owner name", DnsReply(query).Record(15, {0, 1, 0}, {0xC0, 0x18}).Build()},
      {"RDLENGTH past the end", overrun_rdlength},
      {"exchange past its RDATA", name_past_rdata},
      {"MX RDATA of 2 bytes", DnsReply(query).Record(15, {0, 1}).Build()},
      {"bytes after the exchange", WithExchange({0, 0x55})},
      {"more answers than the datagram holds", more_answers},
      {"more questions than the datagram holds", more_questions},
      {"a broken question name",
       [&] {
         Bytes b = DnsReply(query).Build();
         b[12] = 0x40;
         return b;
       }()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exchangers(c.reply, "ex.com"), (Lines{"malformed"})) << c.what;
  }
}

TEST(DnsReply, CapturedRepliesOfTheTestServerAndEveryTruncationOfThem) {
  const Bytes three = ReadData("three_mx.bin");
  const Bytes twenty = ReadData("twenty_mx.bin");
  EXPECT_EQ(Exchangers(three, "three.resolver.test", 0x1234),
            (Lines{"10 mx-b.resolver.test", "10 mx-c.resolver.test", "20 mx-a.resolver.test"}));
  const Lines many = Exchangers(twenty, "many.resolver.test", 0x5678);
  ASSERT_EQ(many.size(), 20u);
  EXPECT_EQ(many[19],
            "100 exchanger-20-with-a-deliberately-long-first-label.mail-relay-20.far-away-"
            "provider-20.example");
  const struct {
    const Bytes* full;
    const char* domain;
    std::uint16_t id;
  } captured[] = {{&three, "three.resolver.test", 0x1234}, {&twenty, "many.resolver.test", 0x5678}};
  for (const auto& c : captured) {
    for (std::size_t n = 0; n < c.full->size(); ++n) {
      const Bytes cut(c.full->begin(), c.full->begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_EQ(Exchangers(cut, c.domain, c.id), (Lines{"malformed"}))
          << c.full->size() << " cut at " << n;
    }
  }
}

}  // namespace
