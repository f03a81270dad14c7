// Domain names in a message: the walk of a compressed name under the rules that make
// every name end and stay in bounds, and the comparison of two names.
#include "dns/dns_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
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

// Label form of the given labels.
std::string Labels(std::initializer_list<std::string> labels) {
  std::string out;
  for (const std::string& label : labels) out += static_cast<char>(label.size()) + label;
  return out;
}

struct Read {
  bool ok = false;
  std::string labels;
  std::size_t end = 0;  // where the cursor was left
};

Read ReadAt(const Bytes& message, std::size_t pos, std::size_t inline_end = ~std::size_t{0}) {
  // A buffer of exactly the message's size, so that ASan sees a read past its end.
  const auto exact = std::make_unique<std::uint8_t[]>(message.size());
  std::copy(message.begin(), message.end(), exact.get());
  dns::WireCursor c(std::span<const std::uint8_t>(exact.get(), message.size()));
  c.Seek(pos);
  Read r;
  dns::ReadName(c, inline_end, &r.labels);
  r.ok = c.Ok();
  r.end = c.Position();
  return r;
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

TEST(DnsName, SoundNamesAreReadToTheirEnd) {
  const std::string a63(63, 'a');
  const struct {
    const char* what;
    Bytes name;  // at offset 8, after "ex.com"
    std::string labels;
    std::size_t end;
  } cases[] = {
      {"a pointer", {0xC0, 0x00}, Labels({"ex", "com"}), 10},
      {"a label then a pointer",
       {4, 'm', 'a', 'i', 'l', 0xC0, 0x00},
       Labels({"mail", "ex", "com"}),
       15},
      {"a pointer to a suffix", {4, 'm', 'a', 'i', 'l', 0xC0, 0x03}, Labels({"mail", "com"}), 15},
      {"the root", {0}, "", 9},
      {"0xC0 inside a label is data",
       {3, 'a', 0xC0, 'b', 0},
       Labels({"a\xC0"
               "b"}),
       13},
      {"zero inside a label is data", {3, 'a', 0, 'b', 0}, Labels({std::string("a\0b", 3)}), 13},
      {"a dot inside a label is data", {3, 'a', '.', 'b', 0}, Labels({"a.b"}), 13},
      {"255 bytes in wire form", NameOfLabels({63, 63, 63, 61}),
       Labels({a63, a63, a63, std::string(61, 'a')}), 8 + 255},
      {"255 bytes in wire form through a pointer", NameOfLabels({63, 63, 63, 54}, {0xC0, 0}),
       Labels({a63, a63, a63, std::string(54, 'a'), "ex", "com"}), 8 + 247 + 2},
  };
  for (const auto& c : cases) {
    const Read r = ReadAt(Cat(kExCom, c.name), 8);
    ASSERT_TRUE(r.ok) << c.what;
    EXPECT_EQ(r.labels, c.labels) << c.what;
    EXPECT_EQ(r.end, c.end) << c.what;
  }
}

TEST(DnsName, BrokenNamesFailTheCursorWhereItStands) {
  // At 8: the label "a" and a pointer to `then`: back to "ex.com", or forward to the
  // name "bc" at 12, past the start of the segment that holds the pointer.
  auto back_then = [](std::uint8_t then) {
    return Cat(Cat(kExCom, {1, 'a', 0xC0, then, 2, 'b', 'c', 0}), {0xC0, 8});
  };
  ASSERT_TRUE(ReadAt(back_then(0), 16).ok);
  ASSERT_TRUE(ReadAt(PointerChain(16), 8 + 2 * 15).ok) << "16 pointers are allowed";
  ASSERT_TRUE(ReadAt(Cat(PointerChain(15), {1, 'a', 0xC0, 36}), 38).ok);
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
      // The name at 38 ("a", then 16 pointers) is sound; one pointer more through 42.
      {"a pointer to a name of 16 pointers", Cat(PointerChain(15), {1, 'a', 0xC0, 36, 0xC0, 38}),
       42},
      {"a pointer cut short", Cat(kExCom, {0xC0}), 8},
      {"nothing at the position", kExCom, 8},
  };
  for (const auto& c : cases) {
    const Read r = ReadAt(c.message, c.pos);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.end, c.pos) << c.what;
  }
}

TEST(DnsName, TheNamesOwnBytesEndBeforeTheInlineEnd) {
  // "mx" at 8 ends with its root byte at 11; through a pointer, the part reached may lie
  // past the inline end.
  const Bytes message = Cat(kExCom, {2, 'm', 'x', 0, 1, 'y', 0xC0, 8});
  EXPECT_TRUE(ReadAt(message, 8, 12).ok);
  EXPECT_FALSE(ReadAt(message, 8, 11).ok);
  EXPECT_EQ(ReadAt(message, 12, 16).labels, Labels({"y", "mx"}));
  EXPECT_FALSE(ReadAt(message, 12, 15).ok) << "the pointer itself lies past the end";
  // A pointer at 10 (inside the label at 8) to that label, which runs on past the end.
  EXPECT_TRUE(ReadAt(Cat(kExCom, {5, 'a', 0xC0, 8, 'b', 'c', 0}), 10, 12).ok);
}

TEST(DnsName, PointersReachPastOffset255) {
  // The name "far.away" at offset 300, then a name that is the pointer C1 2C.
  Bytes message(300, 'x');
  message = Cat(message, {3, 'f', 'a', 'r', 4, 'a', 'w', 'a', 'y', 0, 0xC1, 0x2C});
  const Read r = ReadAt(message, 310);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.labels, Labels({"far", "away"}));
  EXPECT_EQ(r.end, 312u);
}

TEST(DnsName, SameNameFoldsTheAsciiLettersOnly) {
  const struct {
    std::string a;
    std::string b;
    bool same;
  } cases[] = {
      {Labels({"ex", "com"}), Labels({"EX", "cOm"}), true},
      {Labels({"zZ", "Az"}), Labels({"Zz", "aZ"}), true},
      {Labels({"ex", "com"}), Labels({"ex", "co"}), false},
      {Labels({"ex", "com"}), Labels({"ex"}), false},
      {Labels({"ex", "com"}), Labels({"ex", "cop"}), false},
      {Labels({"ex", "com"}), "", false},
      // The neighbours of 'A' and 'Z' (0x40 and 0x5B) are not letters.
      {Labels({"@"}), Labels({"`"}), false},
      {Labels({"["}), Labels({"{"}), false},
      // Nor are the bytes of other code pages: 0xC0 and 0xE0 are one letter's two cases
      // in Latin-1, and two names to DNS.
      {Labels({"\xC0"}), Labels({"\xE0"}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dns::SameName(c.a, c.b), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(dns::SameName(c.b, c.a), c.same) << c.b << " vs " << c.a;
  }
}

}  // namespace
