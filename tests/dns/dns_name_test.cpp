// Domain names: dotted text and label form, the walk of a compressed name through a
// message under the rules that make every name end and stay in bounds, and the
// comparison of a received name with the one asked.
#include "dns/dns_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// "ex.com" at offset 0 of every message below (8 bytes), for pointers to aim at.
const Bytes kExCom{2, 'e', 'x', 3, 'c', 'o', 'm', 0};

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Walked {
  bool ok = false;
  std::string dotted;
  std::size_t wire_length = 0;
  std::size_t end = 0;  // where the walk left *pos
};

Walked Walk(const Bytes& message, std::size_t pos, std::size_t inline_end = ~std::size_t{0}) {
  // A buffer of exactly the message's size, so that ASan sees a read past its end.
  const auto exact = std::make_unique<std::uint8_t[]>(message.size());
  std::copy(message.begin(), message.end(), exact.get());
  Walked w;
  w.end = pos;
  bool first = true;
  w.ok = dns::WalkName(std::span(exact.get(), message.size()), &w.end, inline_end, &w.wire_length,
                       [&](const std::uint8_t* label, std::size_t n) {
                         if (!first) w.dotted.push_back('.');
                         first = false;
                         w.dotted.append(reinterpret_cast<const char*>(label), n);
                       });
  return w;
}

// Labels of the given lengths, each filled with 'a', then `end` (the root byte, or a
// pointer).
Bytes NameOfLabels(std::initializer_list<int> lengths, const Bytes& end = {0}) {
  Bytes b;
  for (int n : lengths) {
    b.push_back(static_cast<std::uint8_t>(n));
    b.insert(b.end(), static_cast<std::size_t>(n), 'a');
  }
  return Cat(b, end);
}

// "ex.com" at 0, then `links` pointers at 8, 10, ..., each aiming at the one before
// (the first at "ex.com"); the name at the last link follows them all.
Bytes PointerChain(int links) {
  Bytes b = kExCom;
  for (int i = 0; i < links; ++i) {
    const std::size_t target = i == 0 ? 0 : 8 + 2 * (i - 1);
    b.push_back(static_cast<std::uint8_t>(0xC0 | (target >> 8)));
    b.push_back(static_cast<std::uint8_t>(target));
  }
  return b;
}

TEST(DnsName, SoundNamesAreWalkedToTheirEnd) {
  const std::string a63(63, 'a');
  const struct {
    const char* what;
    Bytes name;  // at offset 8, after "ex.com"
    std::string dotted;
    std::size_t wire_length;
    std::size_t end;
  } cases[] = {
      {"a pointer", {0xC0, 0x00}, "ex.com", 8, 10},
      {"a label then a pointer", {4, 'm', 'a', 'i', 'l', 0xC0, 0x00}, "mail.ex.com", 13, 15},
      {"a pointer to a suffix", {4, 'm', 'a', 'i', 'l', 0xC0, 0x03}, "mail.com", 10, 15},
      {"the root", {0}, "", 1, 9},
      {"0xC0 inside a label is data",
       {3, 'a', 0xC0, 'b', 0},
       "a\xC0"
       "b",
       5,
       13},
      {"zero inside a label is data", {3, 'a', 0, 'b', 0}, std::string("a\0b", 3), 5, 13},
      {"a dot inside a label is data", {3, 'a', '.', 'b', 0}, "a.b", 5, 13},
      {"255 bytes in wire form", NameOfLabels({63, 63, 63, 61}),
       a63 + "." + a63 + "." + a63 + "." + std::string(61, 'a'), 255, 8 + 255},
      {"255 bytes in wire form through a pointer", NameOfLabels({63, 63, 63, 54}, {0xC0, 0}),
       a63 + "." + a63 + "." + a63 + "." + std::string(54, 'a') + ".ex.com", 255, 8 + 247 + 2},
  };
  for (const auto& c : cases) {
    const Walked w = Walk(Cat(kExCom, c.name), 8);
    ASSERT_TRUE(w.ok) << c.what;
    EXPECT_EQ(w.dotted, c.dotted) << c.what;
    EXPECT_EQ(w.wire_length, c.wire_length) << c.what;
    EXPECT_EQ(w.end, c.end) << c.what;
    // A check finds the same, with or without the memo of names found sound before.
    const Bytes message = Cat(kExCom, c.name);
    dns::NameMemo memo;
    std::size_t at = 0;
    ASSERT_TRUE(dns::CheckName(message, &at, ~std::size_t{0}, nullptr, &memo));
    for (dns::NameMemo* known : {static_cast<dns::NameMemo*>(nullptr), &memo}) {
      std::size_t pos = 8;
      std::size_t wire_length = 0;
      EXPECT_TRUE(dns::CheckName(message, &pos, ~std::size_t{0}, &wire_length, known)) << c.what;
      EXPECT_EQ(pos, c.end) << c.what;
      EXPECT_EQ(wire_length, c.wire_length) << c.what;
    }
  }
}

TEST(DnsName, BrokenNamesAreRefusedAndLeaveThePositionAlone) {
  // At 8: the label "a" and a pointer to `then`: back to "ex.com", or forward to the
  // name "bc" at 12, past the start of the segment that holds the pointer.
  auto back_then = [](std::uint8_t then) {
    return Cat(Cat(kExCom, {1, 'a', 0xC0, then, 2, 'b', 'c', 0}), {0xC0, 8});
  };
  ASSERT_TRUE(Walk(back_then(0), 16).ok);
  EXPECT_EQ(Walk(back_then(0), 16).dotted, "a.ex.com");
  ASSERT_TRUE(Walk(PointerChain(16), 8 + 2 * 15).ok) << "16 pointers are allowed";
  const struct {
    const char* what;
    Bytes message;
    std::size_t pos;
  } cases[] = {
      {"pointer forward", Cat(kExCom, {0xC0, 0x0A, 0}), 8},
      {"pointer to itself", Cat(kExCom, {0xC0, 0x08}), 8},
      {"pointer into its own name", Cat(kExCom, {1, 'a', 0xC0, 0x08}), 8},
      {"pointer forward after a pointer back", back_then(12), 16},
      {"17 pointers", PointerChain(17), 8 + 2 * 16},
      {"label type 0x40", Cat(kExCom, {0x41, 'a', 0}), 8},
      {"label type 0x80", Cat(kExCom, {0x81, 'a', 0}), 8},
      {"256 bytes in wire form", Cat(kExCom, NameOfLabels({63, 63, 63, 62})), 8},
      {"257 bytes in wire form", Cat(kExCom, NameOfLabels({63, 63, 63, 63})), 8},
      {"256 bytes in wire form through a pointer",
       Cat(kExCom, NameOfLabels({63, 63, 63, 55}, {0xC0, 0})), 8},
      {"no end", Cat(kExCom, {3, 'a', 'b', 'c'}), 8},
      {"a label longer than what is left", Cat(kExCom, {5, 'a', 'b'}), 8},
      {"a label one byte longer than what is left", Cat(kExCom, {3, 'a', 'b'}), 8},
      // 16 pointers from "a" at 38; one more through the pointer at 42.
      {"a pointer to a name of 16 pointers", Cat(PointerChain(15), {1, 'a', 0xC0, 36, 0xC0, 38}),
       42},
      {"a pointer cut short", Cat(kExCom, {0xC0}), 8},
      {"nothing at the position", kExCom, 8},
  };
  for (const auto& c : cases) {
    const Bytes& message = c.message;
    const std::size_t pos = c.pos;
    const Walked w = Walk(message, pos);
    EXPECT_FALSE(w.ok) << c.what;
    EXPECT_EQ(w.end, pos) << c.what;
    // Refused as well when the names before it, checked one after another from offset 0,
    // were found sound and kept in a memo (each check moves `at` past its name).
    dns::NameMemo memo;
    std::size_t at = 0;
    while (at < pos && dns::CheckName(message, &at, ~std::size_t{0}, nullptr, &memo)) {
    }
    for (dns::NameMemo* known : {static_cast<dns::NameMemo*>(nullptr), &memo}) {
      std::size_t check_pos = pos;
      EXPECT_FALSE(dns::CheckName(message, &check_pos, ~std::size_t{0}, nullptr, known)) << c.what;
      EXPECT_EQ(check_pos, pos) << c.what;
    }
  }
}

TEST(DnsName, TheNamesOwnBytesEndBeforeTheInlineEnd) {
  // "mx" at 8 ends with its root byte at 11; through a pointer, the part reached may lie
  // past the inline end.
  const Bytes message = Cat(kExCom, {2, 'm', 'x', 0, 1, 'y', 0xC0, 8});
  EXPECT_TRUE(Walk(message, 8, 12).ok);
  EXPECT_FALSE(Walk(message, 8, 11).ok);
  EXPECT_TRUE(Walk(message, 12, 16).ok);
  EXPECT_EQ(Walk(message, 12, 16).dotted, "y.mx");
  EXPECT_FALSE(Walk(message, 12, 15).ok) << "the pointer itself lies past the end";
}

TEST(DnsName, PointersReachPastOffset255) {
  // The name "far.away" at offset 300, then a name that is the pointer C1 2C.
  Bytes message(300, 'x');
  const Bytes far{3, 'f', 'a', 'r', 4, 'a', 'w', 'a', 'y', 0};
  message.insert(message.end(), far.begin(), far.end());
  message.insert(message.end(), {0xC1, 0x2C});
  const Walked w = Walk(message, 310);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.dotted, "far.away");
  EXPECT_EQ(w.end, 312u);
}

TEST(DnsName, DomainToLabels) {
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
  for (const auto& c : cases) EXPECT_EQ(dns::DomainToLabels(c.domain), c.labels) << c.domain;
  const std::string long_label(256, 'q');  // its length byte would wrap to 0
  EXPECT_EQ(dns::DomainToLabels("x." + long_label + ".y"), "\x01x" + long_label + "\x01y");
}

TEST(DnsName, NamesTheQueryCannotCarryAreRecognised) {
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
  for (const auto& c : cases) EXPECT_EQ(dns::FitsInQuery(c.domain), c.fits) << c.domain.size();
}

TEST(DnsName, LabelsToDotted) {
  const struct {
    std::string labels;
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
  for (const auto& c : cases) EXPECT_EQ(dns::LabelsToDotted(c.labels), c.dotted);
}

TEST(DnsName, NameMatchesTheAskedName) {
  // "ex.com" at 0, a pointer to it at 8, the root at 10.
  const Bytes message = Cat(kExCom, {0xC0, 0x00, 0});
  const struct {
    std::string labels;
    bool same;  // at 0, and through the pointer alike
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
    EXPECT_EQ(dns::NameMatches(message, 0, c.labels), c.same) << c.labels;
    EXPECT_EQ(dns::NameMatches(message, 8, c.labels), c.same) << c.labels;
  }
  EXPECT_TRUE(dns::NameMatches(message, 10, ""));
  EXPECT_FALSE(dns::NameMatches(message, 11, "")) << "past the end";
  // Bytes equal to the labels are still no match when the name breaks a rule: a 64-byte
  // label reads as label type 0x40.
  const std::string label64 = "\x40" + std::string(64, 'a');
  Bytes broken(label64.begin(), label64.end());
  broken.push_back(0);
  EXPECT_FALSE(dns::NameMatches(broken, 0, label64));
}

TEST(DnsName, NameMatchesFoldsTheAsciiLettersOnly) {
  // The name as the server wrote it, against the name as it was asked.
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
      // Nor are the bytes of other code pages: 0xC0 and 0xE0 are one letter's two cases
      // in Latin-1, and two names to DNS.
      {"\xC0", "\xE0", false},
  };
  for (const auto& c : cases) {
    const std::string echoed = dns::DomainToLabels(c.echoed);
    Bytes message(echoed.begin(), echoed.end());
    message.push_back(0);
    EXPECT_EQ(dns::NameMatches(message, 0, dns::DomainToLabels(c.asked)), c.same)
        << c.echoed << " asked as " << c.asked;
  }
}

}  // namespace
