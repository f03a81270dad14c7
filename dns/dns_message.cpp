#include "dns/dns_message.h"

#include <algorithm>
#include <array>

#include "dns/dns_name.h"
#include "dns/wire_cursor.h"

namespace dns {
namespace {

constexpr std::uint16_t kFlagTC = 0x0200;
constexpr std::uint16_t kFlagRD = 0x0100;
constexpr std::uint16_t kFlagQR = 0x8000;
constexpr std::size_t kQuestionFields = 4;  // type and class

}  // namespace

platform::Result<Query> Query::Make(std::string_view domain, std::uint16_t id) {
  // Room for the longest query: a name over 255 bytes does not fit.
  std::array<std::uint8_t, kHeaderSize + kMaxName + kQuestionFields> buffer;
  WireWriter w(buffer);
  w.U16(id);
  w.U16(kFlagRD);
  w.U16(1);                                               // QDCOUNT
  for (int i = 0; i < 3; ++i) w.U16(0);                   // ANCOUNT, NSCOUNT, ARCOUNT
  for (std::size_t start = 0; start <= domain.size();) {  // each pass writes one label
    const std::size_t dot = std::min(domain.find('.', start), domain.size());
    const std::string_view label = domain.substr(start, dot - start);
    if (label.size() > kMaxLabel) return platform::Failure{platform::Cause::kInvalidInput};
    if (!label.empty()) {
      w.U8(static_cast<std::uint8_t>(label.size()));
      w.Put({reinterpret_cast<const std::uint8_t*>(label.data()), label.size()});
    }
    start = dot + 1;
  }
  w.U8(0);
  w.U16(kTypeMx);
  w.U16(kClassIn);
  if (!w.Ok()) return platform::Failure{platform::Cause::kInvalidInput};
  return Query(std::string(reinterpret_cast<const char*>(buffer.data()), w.Size()));
}

std::uint16_t Query::Id() const {
  return static_cast<std::uint16_t>((static_cast<std::uint8_t>(m_bytes[0]) << 8) |
                                    static_cast<std::uint8_t>(m_bytes[1]));
}

std::string_view Query::Name() const {
  return std::string_view(m_bytes).substr(kHeaderSize,
                                          m_bytes.size() - kHeaderSize - 1 - kQuestionFields);
}

ReplyReading ReadReply(std::span<const std::uint8_t> bytes, const Query& query) {
  const auto drop = [](Verdict why) { return ReplyReading{why, {}}; };
  WireCursor c(bytes);
  const std::uint16_t id = c.U16();
  const std::uint16_t flags = c.U16();
  const std::uint16_t questions = c.U16();
  const std::uint16_t answers = c.U16();
  c.Skip(4);
  if (!c.Ok()) return drop(Verdict::kTooShort);
  if (id != query.Id()) return drop(Verdict::kWrongId);
  if ((flags & kFlagQR) == 0) return drop(Verdict::kNotAReply);
  std::string name;
  ReadName(c, bytes.size(), &name);
  const std::uint16_t question_type = c.U16();
  const std::uint16_t question_class = c.U16();
  if (questions != 1 || !c.Ok() || question_type != kTypeMx || question_class != kClassIn ||
      !SameName(name, query.Name())) {
    return drop(Verdict::kWrongQuestion);
  }
  ReplyReading taken{Verdict::kTaken, Reply{(flags & kFlagTC) != 0, {}}};
  std::vector<MxRecord>& exchangers = taken.reply.exchangers;
  // A record takes at least 11 bytes: a count that promises more fails below anyway.
  exchangers.reserve(std::min<std::size_t>(answers, c.Remaining() / 11));
  for (unsigned i = 0; i < answers && c.Ok(); ++i) {
    ReadName(c, bytes.size(), nullptr);
    const std::uint16_t type = c.U16();
    const std::uint16_t klass = c.U16();
    c.Skip(4);  // TTL
    const std::size_t rdlength = c.U16();
    if (type != kTypeMx || klass != kClassIn) {
      c.Skip(rdlength);
      continue;
    }
    // A preference and a name that ends exactly at the RDATA's end (so at least 3 bytes).
    const std::size_t end = c.Position() + rdlength;
    MxRecord& mx = exchangers.emplace_back();
    mx.preference = c.U16();
    std::string labels;
    ReadName(c, end, &labels);
    if (c.Position() != end) c.Fail();
    mx.exchange = LabelsToDotted(std::move(labels));
  }
  if (!c.Ok()) return drop(Verdict::kUnreadable);
  return taken;
}

}  // namespace dns
