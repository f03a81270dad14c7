// The query bytes and the reply decoder of dns::Message (the rules of names are tested
// in dns_name_test.cpp).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dns/dns_message.h"
#include "fake_dns_server.h"
#include "testbed.h"

namespace {

using testbed::Bytes;
using testbed::DnsReply;

std::string Str(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

std::string ReadData(const std::string& name) {
  std::ifstream in(testbed::SourcePath("tests/dns/data/" + name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The query a resolver would send for this name, as the scripts' replies start from.
Bytes QueryFor(const std::string& domain, std::uint16_t id = 0x0312) {
  dns::Message m;
  m.SetQuestion(domain);
  m.m_nID = id;
  m.m_bRD = 1;
  std::string q = m.BuildQuery();
  return Bytes(q.begin(), q.end());
}

// A reply header and the question "ex.com MX IN" (12 + 12 bytes), with the given counts.
Bytes Header(std::uint16_t qd, std::uint16_t an) {
  Bytes b{
      0x03, 0x12, 0x81, 0x80, 0, static_cast<std::uint8_t>(qd), 0, static_cast<std::uint8_t>(an),
      0,    0,    0,    0};
  if (qd > 0) {
    const Bytes q{2, 'e', 'x', 3, 'c', 'o', 'm', 0, 0, 15, 0, 1};
    b.insert(b.end(), q.begin(), q.end());
  }
  return b;
}

// Appends an answer record: owner name bytes, type, class IN, TTL, then the RDATA.
void Record(Bytes* b, const Bytes& owner, std::uint16_t type, const Bytes& rdata,
            std::uint16_t klass = 1) {
  b->insert(b->end(), owner.begin(), owner.end());
  const Bytes fixed{static_cast<std::uint8_t>(type >> 8),
                    static_cast<std::uint8_t>(type),
                    static_cast<std::uint8_t>(klass >> 8),
                    static_cast<std::uint8_t>(klass),
                    0,
                    0,
                    1,
                    0,
                    static_cast<std::uint8_t>(rdata.size() >> 8),
                    static_cast<std::uint8_t>(rdata.size())};
  b->insert(b->end(), fixed.begin(), fixed.end());
  b->insert(b->end(), rdata.begin(), rdata.end());
}

Bytes Mx(std::uint16_t pref, const Bytes& exchange) {
  Bytes r{static_cast<std::uint8_t>(pref >> 8), static_cast<std::uint8_t>(pref)};
  r.insert(r.end(), exchange.begin(), exchange.end());
  return r;
}

const Bytes kOwner{0xC0, 0x0C};  // the question's name

TEST(DnsQuery, AbCdWithId0312IsTheKnown23Bytes) {
  const Bytes expected{0x03, 0x12, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x02, 0x61, 0x62, 0x02, 0x63, 0x64, 0x00, 0x00, 0x0F, 0x00, 0x01};
  EXPECT_EQ(QueryFor("ab.cd"), expected);
  EXPECT_EQ(QueryFor("ab.cd."), expected);
}

TEST(DnsQuery, HeaderFieldsLandInTheirBits) {
  dns::Message m;
  m.SetQuestion("x");
  m.m_nID = 0xBEEF;
  m.m_bQR = 1;
  m.m_nOpcode = 0xF;
  m.m_bAA = 1;
  m.m_bTC = 1;
  m.m_bRD = 1;
  m.m_bRA = 1;
  m.m_nZ = 7;
  m.m_nRCode = 0xF;
  std::string q = m.BuildQuery();
  ASSERT_EQ(q.size(), 12u + 3 + 4);
  EXPECT_EQ(static_cast<unsigned char>(q[0]), 0xBE);
  EXPECT_EQ(static_cast<unsigned char>(q[1]), 0xEF);
  EXPECT_EQ(static_cast<unsigned char>(q[2]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(q[3]), 0xFF);
  EXPECT_EQ(m.Raw(), q);
}

TEST(DnsQuery, LongQuestionNamesKeepTheirLabelForm) {
  // Around the size a query can carry, and far past it (no query is sent for those,
  // but the label form stays what DomainToLabels gives).
  const std::string long_label(256, 'q');  // its length byte would wrap to 0
  for (const std::string& domain :
       {std::string(253, 'a'), std::string(254, 'b'), std::string(255, 'c'),
        std::string(60, 'd') + "." + std::string(300, 'e'), "x." + long_label + ".y"}) {
    dns::Message m;
    m.SetQuestion("first.example");
    m.SetQuestion(domain);
    EXPECT_EQ(m.QuestionName(), dns::DomainToLabels(domain)) << domain.size();
    EXPECT_EQ(m.BuildQuery().substr(12, m.QuestionName().size()), m.QuestionName());
    m.SetQuestion("ab.cd");
    EXPECT_EQ(m.QuestionName(),
              "\x02"
              "ab\x02"
              "cd");
  }
  EXPECT_EQ(dns::DomainToLabels("x." + long_label + ".y"), "\x01x" + long_label + "\x01y");
}

TEST(DnsDecode, MxRecordsInAnswerOrderWithCompressedNames) {
  Bytes query = QueryFor("example.com");
  Bytes reply = DnsReply(query)
                    .Mx(20, "mx-a.example.com")
                    .Mx(10, "mx-b.example.com")
                    .Mx(10, "mx-b.example.com")
                    .Build();
  dns::Message m;
  ASSERT_TRUE(m.Parse(Str(reply)));
  ASSERT_EQ(m.GetAnswerCount(), 3);
  EXPECT_EQ(m.GetPreference(0), 20);
  EXPECT_EQ(m.GetPreference(1), 10);
  EXPECT_EQ(m.GetPreference(2), 10);
  EXPECT_EQ(m.GetExchange(0), "mx-a.example.com");
  EXPECT_EQ(m.GetExchange(1), "mx-b.example.com");
  EXPECT_EQ(m.GetExchange(2), "mx-b.example.com");
  // Out of range: nothing read outside the list.
  EXPECT_EQ(m.GetExchange(3), "");
  EXPECT_EQ(m.GetPreference(3), 0);
  ASSERT_EQ(m.Questions().size(), 1u);
  std::size_t pos = m.Questions()[0].m_nNameOffset;
  std::string raw;
  ASSERT_TRUE(m.ReadName(&pos, &raw));
  EXPECT_EQ(raw,
            "\x07"
            "example\x03"
            "com");
  EXPECT_EQ(pos, 12u + 13);
}

TEST(DnsDecode, ExchangeNameForms) {
  // The question's name sits at offset 12 ("ex.com"); each case is one MX RDATA name.
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
  };
  for (const auto& c : cases) {
    Bytes b = Header(1, 1);
    Record(&b, kOwner, 15, Mx(7, c.exchange));
    dns::Message m;
    ASSERT_TRUE(m.Parse(Str(b))) << c.what;
    ASSERT_EQ(m.GetAnswerCount(), 1) << c.what;
    EXPECT_EQ(m.GetExchange(0), c.dotted) << c.what;
    EXPECT_EQ(m.GetExchangeLength(0), c.dotted.size()) << c.what;
    EXPECT_EQ(m.GetPreference(0), 7) << c.what;
  }
}

TEST(DnsDecode, ExchangeLengthAndCopyAtTheLongestName) {
  // 63, 63, 63 and 61 byte labels: 255 bytes in wire form, 253 dotted; the last label
  // reached through a pointer to the owner's name of a second record.
  Bytes label61(62, 'd');
  label61[0] = 61;
  label61.push_back(0);
  Bytes exchange;
  for (char ch : {'a', 'b', 'c'}) {
    exchange.push_back(63);
    exchange.insert(exchange.end(), 63, static_cast<std::uint8_t>(ch));
  }
  Bytes b = Header(1, 2);
  Record(&b, label61, 16, Bytes{1, 'x'});  // a TXT record whose owner the exchange ends with
  const std::uint8_t at = 24;
  exchange.insert(exchange.end(), {0xC0, at});
  Record(&b, kOwner, 15, Mx(300, exchange));
  dns::Message m;
  ASSERT_TRUE(m.Parse(Str(b)));
  ASSERT_EQ(m.GetAnswerCount(), 1);
  const std::string expected = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                               std::string(63, 'c') + "." + std::string(61, 'd');
  ASSERT_EQ(expected.size(), 253u);
  EXPECT_EQ(m.GetExchangeLength(0), 253u);
  EXPECT_EQ(m.GetExchange(0), expected);
  std::string copied(300, '#');
  EXPECT_EQ(m.CopyExchange(0, copied.data()), 253u);
  EXPECT_EQ(copied.substr(0, 253), expected);
  EXPECT_EQ(copied.substr(253), std::string(47, '#'));  // nothing written past the name
  EXPECT_EQ(m.CopyExchange(1, copied.data()), 0u);
  EXPECT_EQ(m.GetExchangeLength(1), 0u);
}

TEST(DnsDecode, OnlyMxRecordsOfClassInBecomeExchangers) {
  Bytes query = QueryFor("alias.example.com");
  Bytes reply = DnsReply(query).Cname("target.example.com").Mx(5, "mx.example.com").Build();
  Bytes chaos = Header(1, 2);
  Record(&chaos, kOwner, 15, Mx(9, {0}), 3);  // class CH
  Record(&chaos, kOwner, 15, Mx(4, {2, 'm', 'x', 0}));
  for (const Bytes& b : {reply, chaos}) {
    dns::Message m;
    ASSERT_TRUE(m.Parse(Str(b)));
    EXPECT_EQ(m.m_nANCount, 2);
    EXPECT_EQ(m.Answers().size(), 2u);
    ASSERT_EQ(m.GetAnswerCount(), 1);
  }
  dns::Message m;
  ASSERT_TRUE(m.Parse(Str(reply)));
  EXPECT_EQ(m.GetExchange(0), "mx.example.com");
  EXPECT_EQ(m.GetPreference(0), 5);
}

TEST(DnsDecode, HeaderIsDecodedAsItStands) {
  Bytes query = QueryFor("example.com");
  struct {
    Bytes reply;
    int exchangers;
  } cases[] = {
      {DnsReply(query).Id(0x1111).Mx(1, "a.example.com").Build(), 1},   // another ID
      {DnsReply(query).Truncated().Mx(1, "a.example.com").Build(), 1},  // TC set
      {DnsReply(query).RCode(3).Build(), 0},                            // NXDOMAIN
      {DnsReply(query).RCode(2).Mx(1, "a.example.com").Build(), 1},     // SERVFAIL with records
      {query, 0},                                                       // QR 0
  };
  for (const auto& c : cases) {
    dns::Message m;
    EXPECT_TRUE(m.Parse(Str(c.reply)));
    EXPECT_EQ(m.GetAnswerCount(), c.exchangers);
  }
  dns::Message m;
  ASSERT_TRUE(m.Parse(Str(DnsReply(query).Id(0xA5C3).Truncated().RCode(3).Build())));
  EXPECT_EQ(m.m_nID, 0xA5C3);
  EXPECT_EQ(m.m_bQR, 1);
  EXPECT_EQ(m.m_bTC, 1);
  EXPECT_EQ(m.m_bAA, 1);
  EXPECT_EQ(m.m_bRD, 1);
  EXPECT_EQ(m.m_nRCode, 3);
  EXPECT_EQ(m.m_nQDCount, 1);
}

TEST(DnsDecode, MalformedRepliesYieldNothing) {
  auto with_mx = [](const Bytes& exchange, std::uint16_t an = 1) {
    Bytes b = Header(1, an);
    Record(&b, kOwner, 15, Mx(1, exchange));
    return b;
  };
  Bytes overrun_rdlength = with_mx({2, 'm', 'x', 0});
  overrun_rdlength[overrun_rdlength.size() - 7] = 9;  // RDLENGTH 9, 6 bytes follow
  Bytes name_past_rdata = Header(1, 1);
  Record(&name_past_rdata, kOwner, 15, {0, 1, 2, 'm', 'x'});
  name_past_rdata.push_back(0);  // the name's end lies outside its RDATA
  name_past_rdata.insert(name_past_rdata.end(), {0, 0});
  Bytes bad_question = Header(1, 0);
  bad_question[12] = 0x40;

  const struct {
    const char* what;
    Bytes reply;
  } cases[] = {
      {"short header", {0x03, 0x12, 0x81, 0x80, 0, 1, 0}},
      // A broken name in any section (dns_name_test.cpp has the rules).
      {"broken exchange", with_mx({0xC0, 0x30})},
      {"broken owner name",
       [] {
         Bytes b = Header(1, 1);
         Record(&b, {0xC0, 0x18}, 15, Mx(1, {0}));
         return b;
       }()},
      {"RDLENGTH past the end", overrun_rdlength},
      {"exchange past its RDATA", name_past_rdata},
      {"MX RDATA of 2 bytes",
       [] {
         Bytes b = Header(1, 1);
         Record(&b, kOwner, 15, {0, 1});
         return b;
       }()},
      {"bytes after the exchange", with_mx({0, 0x55})},
      {"more answers than the datagram holds", with_mx({0}, 2)},
      {"more questions than the datagram holds",
       [] {
         Bytes b = Header(1, 0);
         b[5] = 2;
         return b;
       }()},
      {"broken question name", bad_question},
  };
  for (const auto& c : cases) {
    dns::Message m;
    EXPECT_FALSE(m.Parse(Str(c.reply))) << c.what;
    EXPECT_EQ(m.GetAnswerCount(), 0) << c.what;
    EXPECT_TRUE(m.Answers().empty()) << c.what;
    EXPECT_TRUE(m.Questions().empty()) << c.what;
  }
}

TEST(DnsDecode, EveryTruncationOfCapturedRepliesIsMalformed) {
  for (const char* file : {"three_mx.bin", "twenty_mx.bin"}) {
    const std::string full = ReadData(file);
    ASSERT_GT(full.size(), 12u) << file;
    dns::Message whole;
    ASSERT_TRUE(whole.Parse(full)) << file;
    EXPECT_EQ(whole.GetAnswerCount(), whole.m_nANCount) << file;
    for (std::size_t n = 0; n < full.size(); ++n) {
      dns::Message m;
      EXPECT_FALSE(m.Parse(full.substr(0, n))) << file << " cut at " << n;
      EXPECT_EQ(m.GetAnswerCount(), 0) << file << " cut at " << n;
    }
  }
}

TEST(DnsDecode, CapturedRepliesFromTheTestServer) {
  dns::Message three;
  ASSERT_TRUE(three.Parse(ReadData("three_mx.bin")));
  ASSERT_EQ(three.GetAnswerCount(), 3);
  EXPECT_EQ(three.GetExchange(0), "mx-b.resolver.test");
  EXPECT_EQ(three.GetPreference(2), 20);
  dns::Message twenty;
  ASSERT_TRUE(twenty.Parse(ReadData("twenty_mx.bin")));
  ASSERT_EQ(twenty.GetAnswerCount(), 20);
  EXPECT_EQ(twenty.GetExchange(19),
            "exchanger-20-with-a-deliberately-long-first-label.mail-relay-20.far-away-provider-20."
            "example");
  EXPECT_EQ(twenty.GetPreference(19), 100);
}

TEST(DnsDecode, ParseStartsAfresh) {
  Bytes query = QueryFor("example.com");
  dns::Message m;
  ASSERT_TRUE(m.Parse(Str(DnsReply(query).Mx(1, "a.example.com").Mx(2, "b.example.com").Build())));
  ASSERT_TRUE(m.Parse(Str(DnsReply(query).Mx(3, "c.example.com").Build())));
  ASSERT_EQ(m.GetAnswerCount(), 1);
  EXPECT_EQ(m.GetExchange(0), "c.example.com");
  EXPECT_FALSE(m.Parse("\x01\x02"));
  EXPECT_EQ(m.GetAnswerCount(), 0);
  EXPECT_EQ(m.m_nID, 0);
}

}  // namespace
