// The query bytes and the reply decoder of CDNSMessage.
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
  CDNSMessage m;
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
  CDNSMessage m;
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

TEST(DnsQuery, DomainToLabels) {
  const struct {
    std::string domain;
    std::string labels;
  } cases[] = {
      {"ab.cd",
       "\x02"
       "ab\x02"
       "cd"},
      {"ab.cd.",
       "\x02"
       "ab\x02"
       "cd"},
      {"a..b",
       "\x01"
       "a\x01"
       "b"},
      {"", ""},
      {".", ""},
      {"mail",
       "\x04"
       "mail"},
      {"Mixed.Case",
       "\x05"
       "Mixed\x04"
       "Case"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDNSMessage::DomainToLabels(c.domain), c.labels) << c.domain;
    CDNSMessage m;
    m.SetQuestion(c.domain);
    EXPECT_EQ(m.QuestionName(), c.labels) << c.domain;
  }
}

TEST(DnsQuery, LongQuestionNamesKeepTheirLabelForm) {
  // Around the size a query can carry, and far past it (no query is sent for those,
  // but the label form stays what DomainToLabels gives).
  const std::string long_label(256, 'q');  // its length byte would wrap to 0
  for (const std::string& domain :
       {std::string(253, 'a'), std::string(254, 'b'), std::string(255, 'c'),
        std::string(60, 'd') + "." + std::string(300, 'e'), "x." + long_label + ".y"}) {
    CDNSMessage m;
    m.SetQuestion("first.example");
    m.SetQuestion(domain);
    EXPECT_EQ(m.QuestionName(), CDNSMessage::DomainToLabels(domain)) << domain.size();
    EXPECT_EQ(m.BuildQuery().substr(12, m.QuestionName().size()), m.QuestionName());
    m.SetQuestion("ab.cd");
    EXPECT_EQ(m.QuestionName(),
              "\x02"
              "ab\x02"
              "cd");
  }
  EXPECT_EQ(CDNSMessage::DomainToLabels("x." + long_label + ".y"), "\x01x" + long_label + "\x01y");
}

TEST(DnsQuery, NamesTheQueryCannotCarryAreRecognised) {
  const std::string l63(63, 'a');
  const std::string l61(61, 'b');
  const struct {
    std::string domain;
    bool fits;
  } cases[] = {
      {"example.com", true},
      {l63 + ".com", true},
      {std::string(64, 'a') + ".com", false},
      {"com." + std::string(64, 'a'), false},
      {l63 + "." + l63 + "." + l63 + "." + l61, true},         // 255 bytes in wire form
      {l63 + "." + l63 + "." + l63 + "." + l61 + "x", false},  // 256
      {l63 + "." + l63 + "." + l63 + "." + l61 + ".", true},   // the trailing dot adds nothing
      {std::string(256, 'a'), false},                          // its length byte would wrap to 0
      {"", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDNSMessage::FitsInQuery(c.domain), c.fits) << c.domain.size();
  }
}

TEST(DnsDecode, MxRecordsInAnswerOrderWithCompressedNames) {
  Bytes query = QueryFor("example.com");
  Bytes reply = DnsReply(query)
                    .Mx(20, "mx-a.example.com")
                    .Mx(10, "mx-b.example.com")
                    .Mx(10, "mx-b.example.com")
                    .Build();
  CDNSMessage m;
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
      {"0xC0 inside a label is data",
       {3, 'a', 0xC0, 'b', 0},
       std::string("a\xC0"
                   "b")},
      {"zero inside a label is data", {3, 'a', 0, 'b', 0}, std::string("a\0b", 3)},
      {"a dot inside a label is copied", {3, 'a', '.', 'b', 0}, "a.b"},
  };
  for (const auto& c : cases) {
    Bytes b = Header(1, 1);
    Record(&b, kOwner, 15, Mx(7, c.exchange));
    CDNSMessage m;
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
  CDNSMessage m;
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

TEST(DnsDecode, PointerToAnOffsetAbove255IsFollowed) {
  // A TXT record whose RDATA holds the name "far.away" at offset 300, then an MX whose
  // exchange is the pointer C1 2C.
  Bytes b = Header(1, 2);
  Bytes txt(300 - (b.size() + 2 + 10), 'x');
  const Bytes far{3, 'f', 'a', 'r', 4, 'a', 'w', 'a', 'y', 0};
  txt.insert(txt.end(), far.begin(), far.end());
  Record(&b, kOwner, 16, txt);
  Record(&b, kOwner, 15, Mx(1, {0xC1, 0x2C}));
  ASSERT_EQ(b[300], 3);
  CDNSMessage m;
  ASSERT_TRUE(m.Parse(Str(b)));
  ASSERT_EQ(m.GetAnswerCount(), 1);
  EXPECT_EQ(m.GetExchange(0), "far.away");
  EXPECT_EQ(m.Answers().size(), 2u);
}

TEST(DnsDecode, OnlyMxRecordsOfClassInBecomeExchangers) {
  Bytes query = QueryFor("alias.example.com");
  Bytes reply = DnsReply(query).Cname("target.example.com").Mx(5, "mx.example.com").Build();
  Bytes chaos = Header(1, 2);
  Record(&chaos, kOwner, 15, Mx(9, {0}), 3);  // class CH
  Record(&chaos, kOwner, 15, Mx(4, {2, 'm', 'x', 0}));
  for (const Bytes& b : {reply, chaos}) {
    CDNSMessage m;
    ASSERT_TRUE(m.Parse(Str(b)));
    EXPECT_EQ(m.m_nANCount, 2);
    EXPECT_EQ(m.Answers().size(), 2u);
    ASSERT_EQ(m.GetAnswerCount(), 1);
  }
  CDNSMessage m;
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
    CDNSMessage m;
    EXPECT_TRUE(m.Parse(Str(c.reply)));
    EXPECT_EQ(m.GetAnswerCount(), c.exchangers);
  }
  CDNSMessage m;
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
  // A chain of 17 backward pointers ending in the question's name: names at 24, 26, ...
  auto chain = [](int pointers) {
    Bytes b = Header(1, 1);
    // The RDATA of a TXT record holds the chain: each link points at the one before.
    Bytes links;
    std::size_t first = b.size() + 2 + 10;
    for (int i = 0; i < pointers - 1; ++i) {
      std::size_t target = i == 0 ? 12 : first + 2 * (i - 1);
      links.push_back(static_cast<std::uint8_t>(0xC0 | (target >> 8)));
      links.push_back(static_cast<std::uint8_t>(target));
    }
    Record(&b, kOwner, 16, links);
    b[7] = 2;
    std::size_t last = pointers == 1 ? 12 : first + 2 * (pointers - 2);
    Record(&b, kOwner, 15,
           Mx(1, {static_cast<std::uint8_t>(0xC0 | (last >> 8)), static_cast<std::uint8_t>(last)}));
    return b;
  };
  ASSERT_TRUE(CDNSMessage().Parse(Str(chain(16)))) << "16 pointers are allowed";
  // An exchange that is a pointer back to the RDATA of a TXT record at 36, which holds
  // the label "a" and then a pointer to `then`: back to the question at 12, or forward
  // to the name "bc" at 40, past the start of the segment that holds it.
  auto back_then = [](std::uint8_t then) {
    Bytes b = Header(1, 2);
    Record(&b, kOwner, 16, {1, 'a', 0xC0, then, 2, 'b', 'c', 0});
    Record(&b, kOwner, 15, Mx(1, {0xC0, 36}));
    return b;
  };
  {
    CDNSMessage m;
    ASSERT_TRUE(m.Parse(Str(back_then(12))));
    ASSERT_EQ(m.GetAnswerCount(), 1);
    EXPECT_EQ(m.GetExchange(0), "a.ex.com");
  }
  Bytes long_name;  // 4 x 63-byte labels: 257 bytes in wire form
  for (int i = 0; i < 4; ++i) {
    long_name.push_back(63);
    long_name.insert(long_name.end(), 63, 'a');
  }
  long_name.push_back(0);
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
      {"pointer forward", with_mx({0xC0, 0x30})},
      {"pointer to itself", with_mx({0xC0, 0x1A + 12})},
      {"pointer into its own name", with_mx({1, 'a', 0xC0, 0x24 + 2})},
      {"pointer forward after a pointer back", back_then(40)},
      {"17 pointers", chain(17)},
      {"label type 0x40", with_mx({0x41, 'a', 0})},
      {"label type 0x80", with_mx({0x81, 'a', 0})},
      {"name over 255 bytes", with_mx(long_name)},
      {"name without its end", with_mx({3, 'a', 'b', 'c'})},
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
      {"truncated pointer",
       [] {
         Bytes b = Header(1, 1);
         b.push_back(0xC0);
         return b;
       }()},
  };
  for (const auto& c : cases) {
    CDNSMessage m;
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
    CDNSMessage whole;
    ASSERT_TRUE(whole.Parse(full)) << file;
    EXPECT_EQ(whole.GetAnswerCount(), whole.m_nANCount) << file;
    for (std::size_t n = 0; n < full.size(); ++n) {
      CDNSMessage m;
      EXPECT_FALSE(m.Parse(full.substr(0, n))) << file << " cut at " << n;
      EXPECT_EQ(m.GetAnswerCount(), 0) << file << " cut at " << n;
    }
  }
}

TEST(DnsDecode, CapturedRepliesFromTheTestServer) {
  CDNSMessage three;
  ASSERT_TRUE(three.Parse(ReadData("three_mx.bin")));
  ASSERT_EQ(three.GetAnswerCount(), 3);
  EXPECT_EQ(three.GetExchange(0), "mx-b.resolver.test");
  EXPECT_EQ(three.GetPreference(2), 20);
  CDNSMessage twenty;
  ASSERT_TRUE(twenty.Parse(ReadData("twenty_mx.bin")));
  ASSERT_EQ(twenty.GetAnswerCount(), 20);
  EXPECT_EQ(twenty.GetExchange(19),
            "exchanger-20-with-a-deliberately-long-first-label.mail-relay-20.far-away-provider-20."
            "example");
  EXPECT_EQ(twenty.GetPreference(19), 100);
}

TEST(DnsDecode, ParseStartsAfresh) {
  Bytes query = QueryFor("example.com");
  CDNSMessage m;
  ASSERT_TRUE(m.Parse(Str(DnsReply(query).Mx(1, "a.example.com").Mx(2, "b.example.com").Build())));
  ASSERT_TRUE(m.Parse(Str(DnsReply(query).Mx(3, "c.example.com").Build())));
  ASSERT_EQ(m.GetAnswerCount(), 1);
  EXPECT_EQ(m.GetExchange(0), "c.example.com");
  EXPECT_FALSE(m.Parse("\x01\x02"));
  EXPECT_EQ(m.GetAnswerCount(), 0);
  EXPECT_EQ(m.m_nID, 0);
}

TEST(DnsDecode, LabelsToDotted) {
  const struct {
    std::string raw;
    std::string dotted;
  } cases[] = {
      {"", ""},
      {"\x04"
       "mail\x02"
       "ex\x03"
       "com",
       "mail.ex.com"},
      {"\x01"
       "a",
       "a"},
      {"\x05"
       "ab",
       "ab"},  // a length past the end takes what is there
      {"\x80"
       "xyz",
       "xyz"},  // a high length byte is a length, not a sign
      {std::string("\x01"
                   "a\x00\x01"
                   "b",
                   5),
       "a..b"},  // an empty label
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDNSMessage::LabelsToDotted(c.raw), c.dotted);
  }
}

}  // namespace

TEST(DnsDecode, NameMatchesTheAskedName) {
  // The question "ex.com" at 12; the answer's owner at 24 points at it.
  Bytes b = Header(1, 1);
  Record(&b, kOwner, 15, Mx(1, {0}));
  CDNSMessage m;
  ASSERT_TRUE(m.Parse(Str(b)));
  const struct {
    std::string labels;
    bool at_question;  // and through the pointer alike
  } cases[] = {
      {std::string("\x02") + "ex\x03" + "com", true},
      {std::string("\x02") + "EX\x03" + "cOm", true},
      {std::string("\x02") + "ex\x02" + "co", false},
      {std::string("\x02") + "ex", false},
      {std::string("\x02") + "ex\x03" + "com\x01" + "x", false},
      {"", false},
      {std::string("\x02") + "ex\x03" + "cop", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(m.NameMatches(12, c.labels), c.at_question) << c.labels;
    EXPECT_EQ(m.NameMatches(24, c.labels), c.at_question) << c.labels;
  }
  // The root name: the same bytes as the null MX's exchange.
  EXPECT_TRUE(m.NameMatches(24 + 2 + 10 + 2, ""));
  EXPECT_EQ(m.MXRecords()[0].m_nRDataOffset + 2, 38);
}

TEST(DnsDecode, NameMatchesFoldsTheAsciiLettersOnly) {
  // The reply's question as the server wrote it, against the name as it was asked.
  const struct {
    const char* echoed;
    const char* asked;
    bool same;
  } cases[] = {
      {"zZ.Az", "Zz.aZ", true},
      {"ZULU.za", "zulu.ZA", true},
      {"a.z", "A.Z", true},
      {"z", "y", false},
      // The neighbours of 'A' and 'Z' (0x40 and 0x5B) are not letters.
      {"@", "`", false},
      {"[", "{", false},
  };
  for (const auto& c : cases) {
    CDNSMessage m;
    ASSERT_TRUE(m.Parse(Str(DnsReply(QueryFor(c.echoed)).Build()))) << c.echoed;
    EXPECT_EQ(m.NameMatches(12, CDNSMessage::DomainToLabels(c.asked)), c.same)
        << c.echoed << " asked as " << c.asked;
  }
}
