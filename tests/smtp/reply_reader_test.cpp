// The reply reader against scripted receives: how replies are cut into receives must
// never change what is read.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "failure_of.h"
#include "platform/net.h"
#include "smtp/reply_reader.h"

namespace {

using platform::Cause;
using platform::Failure;
using smtp::ReplyReader;

// What a read gives: the reply's code, or its failure.
using Read = std::variant<int, Failure>;
Read ReadOne(ReplyReader& reader) {
  const platform::Result<int> reply = reader.Read();
  if (reply) return *reply;
  return reply.failure();
}

const Failure kBadReply{Cause::kBadReply, 0};
const Failure kLate{Cause::kTimeout, platform::wsa::kETIMEDOUT};

// Plays a list of receives. "\x01T" stands for a wait that times out, "\x01E" for a
// receive that fails with WSAECONNRESET; after the last entry the peer has closed.
class ScriptedSource : public smtp::ReplySource {
 public:
  explicit ScriptedSource(std::vector<std::string> receives) : m_receives(std::move(receives)) {}
  platform::Result<void> WaitReadable(int) override {
    ++waits;
    if (Next() == kTimeout) return platform::SocketFailure(platform::wsa::kETIMEDOUT);
    return {};
  }
  platform::Result<std::size_t> Receive(char* buffer, std::size_t size) override {
    ++receives;
    if (m_index >= m_receives.size()) return 0;
    const std::string& r = m_receives[m_index++];
    if (r == kError) return platform::SocketFailure(platform::wsa::kECONNRESET);
    EXPECT_LE(r.size(), size) << "a scripted receive larger than the reader asked for";
    return r.copy(buffer, size);
  }
  int waits = 0;
  int receives = 0;

  static inline const std::string kTimeout = "\x01T";
  static inline const std::string kError = "\x01E";

 private:
  std::string Next() {
    if (m_index < m_receives.size() && m_receives[m_index] == kTimeout) {
      ++m_index;
      return kTimeout;
    }
    return "";
  }
  std::vector<std::string> m_receives;
  std::size_t m_index = 0;
};

struct Case {
  const char* name;
  std::vector<std::string> receives;
  std::vector<Read> replies;  // read one after another
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"one line", {"220 ready\r\n"}, {220}},
      {"bare code", {"220\r\n"}, {220}},
      {"bare LF", {"250 ok\n"}, {250}},
      {"multi-line in one receive", {"220-mx.example\r\n220-second\r\n220 ready\r\n"}, {220}},
      {"multi-line, one receive a line", {"250-a\r\n", "250-b\r\n", "250 c\r\n"}, {250}},
      {"code split", {"22", "0 ready\r\n"}, {220}},
      {"CR and LF split", {"220 ready\r", "\n"}, {220}},
      {"byte by byte", {"2", "2", "0", "-", "x", "\r", "\n", "2", "2", "0", "\r", "\n"}, {220}},
      {"final line decides", {"220-hello\r\n554 go away\r\n"}, {554}},
      {"two replies in one receive", {"220 hi\r\n250 ok\r\n"}, {220, 250}},
      {"second reply split off the first", {"220 hi\r\n25", "0 ok\r\n"}, {220, 250}},
      {"code 000 is still a code", {"000 odd\r\n"}, {0}},
      // Only '-' after the code continues; anything else there ends the reply.
      {"text right after the code", {"220ESMTP ready\r\n"}, {220}},
      {"tab after the code", {"220\tready\r\n"}, {220}},
      {"fourth digit", {"2201 odd\r\n"}, {220}},
      {"NUL after the code",
       {std::string("250\0"
                    "x\r\n",
                    7)},
       {250}},
      {"text after the code ends a multi-line reply", {"250-mx\r\n250SIZE 1000\r\n"}, {250}},
      {"text after the code does not continue into the next reply",
       {"220ready\r\n554 no\r\n"},
       {220, 554}},
      {"tab after the code, cut before the tab", {"220", "\tready\r\n"}, {220}},
      {"no digits", {"hello\r\n"}, {kBadReply}},
      {"two digits", {"22 ready\r\n"}, {kBadReply}},
      {"leading space", {" 220 ready\r\n"}, {kBadReply}},
      {"sign", {"+220 ready\r\n"}, {kBadReply}},
      {"empty line", {"\r\n"}, {kBadReply}},
      {"bad continuation line", {"220-ok\r\nready\r\n"}, {kBadReply}},
      {"NUL inside the code",
       {std::string("2\0"
                    "0 x\r\n",
                    7)},
       {kBadReply}},
      {"failure is sticky", {"bad\r\n220 ready\r\n"}, {kBadReply, kBadReply}},
      {"closed before any byte", {}, {kBadReply}},
      {"closed mid-line", {"220 rea"}, {kBadReply}},
      {"closed after a continuation", {"220-first\r\n"}, {kBadReply}},
      {"closed after one reply", {"220 hi\r\n"}, {220, kBadReply}},
      {"time-out", {ScriptedSource::kTimeout}, {kLate}},
      {"time-out mid-reply", {"220-a\r\n", ScriptedSource::kTimeout}, {kLate}},
      {"receive error",
       {"22", ScriptedSource::kError},
       {platform::SocketFailure(platform::wsa::kECONNRESET)}},
  };
  return cases;
}

TEST(ReplyReader, ReadsRepliesHoweverTheyAreCut) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ScriptedSource source(c.receives);
    ReplyReader reader(source, 5000);
    for (const Read& want : c.replies) EXPECT_EQ(ReadOne(reader), want);
  }
}

TEST(ReplyReader, AStickyFailureReceivesNoMore) {
  ScriptedSource source({"nonsense\r\n", "220 ready\r\n"});
  ReplyReader reader(source, 5000);
  EXPECT_EQ(ReadOne(reader), Read(kBadReply));
  int receives = source.receives;
  EXPECT_EQ(ReadOne(reader), Read(kBadReply));
  EXPECT_EQ(source.receives, receives);
}

TEST(ReplyReader, BytesAfterAReplyWaitForTheNextWithoutReceiving) {
  ScriptedSource source({"220 hi\r\n250-a\r\n250 b\r\n"});
  ReplyReader reader(source, 5000);
  EXPECT_EQ(ReadOne(reader), Read(220));
  EXPECT_EQ(ReadOne(reader), Read(250));
  EXPECT_EQ(source.receives, 1);
}

// Hands out one byte every period on the real clock, the first one period after the
// first wait; a wait that ends before the next byte is due sleeps its whole length and
// times out. After the last byte the peer has closed.
class TricklingSource : public smtp::ReplySource {
 public:
  using Clock = std::chrono::steady_clock;
  TricklingSource(std::string bytes, int period_ms)
      : m_bytes(std::move(bytes)), m_period(period_ms) {}
  platform::Result<void> WaitReadable(int ms) override {
    const Clock::time_point now = Clock::now();
    if (m_at == 0 && m_next == Clock::time_point{}) m_next = now + m_period;
    if (m_at >= m_bytes.size()) return {};
    const Clock::time_point until = now + std::chrono::milliseconds(ms);
    if (m_next > until) {
      std::this_thread::sleep_until(until);
      return platform::SocketFailure(platform::wsa::kETIMEDOUT);
    }
    std::this_thread::sleep_until(m_next);
    return {};
  }
  platform::Result<std::size_t> Receive(char* buffer, std::size_t) override {
    if (m_at >= m_bytes.size()) return 0;
    buffer[0] = m_bytes[m_at++];
    m_next += m_period;
    return 1;
  }
  std::size_t Received() const { return m_at; }

 private:
  std::string m_bytes;
  std::chrono::milliseconds m_period;
  std::size_t m_at = 0;
  Clock::time_point m_next{};
};

TEST(ReplyReader, TheWaitBoundsTheWholeReplyNotEachReceive) {
  // Every byte comes well within the 300 ms wait of the one before it, but the whole
  // reply would take 2.2 s: the read must give up at 300 ms, after the first byte.
  TricklingSource source("220 ready\r\n", 200);
  ReplyReader reader(source, 300);
  EXPECT_EQ(ReadOne(reader), Read(kLate));
  EXPECT_EQ(source.Received(), 1u);
}

// Every proper prefix of a reply is cut off by the peer's close, and every way of
// cutting it in two receives reads the same reply.
TEST(ReplyReader, EveryPrefixIsCutOffAndEveryCutReadsTheSame) {
  const std::string reply = "220-mx.bed.test ESMTP\r\n220-more\r\n220 ready\r\n";
  for (std::size_t cut = 0; cut < reply.size(); ++cut) {
    SCOPED_TRACE(cut);
    ScriptedSource prefix({reply.substr(0, cut)});
    ReplyReader cut_off(prefix, 5000);
    EXPECT_EQ(ReadOne(cut_off), Read(kBadReply));

    if (cut == 0) continue;  // an empty receive is the peer's close
    ScriptedSource source({reply.substr(0, cut), reply.substr(cut)});
    ReplyReader reader(source, 5000);
    EXPECT_EQ(ReadOne(reader), Read(220));
  }
}

// Builds a reply of exactly `size` bytes from continuation lines of at most 1000 bytes.
std::string ReplyOfSize(std::size_t size) {
  std::string reply;
  const std::string last = "250 end\r\n";
  while (reply.size() + last.size() < size) {
    std::size_t room = size - last.size() - reply.size();
    std::size_t line = room < 1000 ? room : 1000;
    if (line < 6) line = 6;  // "250-" + CR LF
    reply += "250-" + std::string(line - 6, 'x') + "\r\n";
  }
  return reply + last;
}

std::vector<std::string> InReceives(const std::string& bytes) {
  std::vector<std::string> receives;
  for (std::size_t at = 0; at < bytes.size(); at += ReplyReader::kReceiveBytes) {
    receives.push_back(bytes.substr(at, ReplyReader::kReceiveBytes));
  }
  return receives;
}

TEST(ReplyReader, AReplyLongerThan64KiBFails) {
  const std::size_t limit = ReplyReader::kMaxReplyBytes;
  const struct {
    std::size_t size;
    Read read;
  } cases[] = {{limit - 1, 250}, {limit, 250}, {limit + 1, kBadReply}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::string reply = ReplyOfSize(c.size);
    ASSERT_EQ(reply.size(), c.size);
    ScriptedSource source(InReceives(reply));
    ReplyReader reader(source, 5000);
    EXPECT_EQ(ReadOne(reader), c.read);
  }
}

TEST(ReplyReader, AnEndlessLineStopsNearTheLimit) {
  // The peer never ends its line; the reader must give up after about 64 KiB
  // instead of reading (and buffering) all of it.
  std::vector<std::string> receives(200, std::string(ReplyReader::kReceiveBytes, '2'));
  ScriptedSource source(receives);
  ReplyReader reader(source, 5000);
  EXPECT_EQ(ReadOne(reader), Read(kBadReply));
  EXPECT_LE(static_cast<std::size_t>(source.receives),
            ReplyReader::kMaxReplyBytes / ReplyReader::kReceiveBytes + 1);
}

// Why a read failed, as the account tells it: each way a reply can go wrong by its kind.
TEST(ReplyReader, NamesTheFaultOfAFailedRead) {
  using smtp::ReplyReader;
  using support::step::SmtpFault;
  // A line just past the cap whose end arrives with its last byte, and text that never
  // ends a line, in receives of the reader's size.
  const auto receives = [](const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size(); i += ReplyReader::kReceiveBytes)
      out.push_back(text.substr(i, ReplyReader::kReceiveBytes));
    return out;
  };
  const std::string over = "220-" + std::string(ReplyReader::kMaxReplyBytes - 5, 'x') + "\r\n";
  const struct {
    const char* name;
    std::vector<std::string> receives;
    SmtpFault fault;
  } cases[] = {
      {"no code", {"hello\r\n"}, SmtpFault::kMalformed},
      {"a line one byte over the cap", receives(over), SmtpFault::kTooLong},
      {"no line end within the cap", receives(over.substr(0, over.size() - 1) + "x"),
       SmtpFault::kTooLong},
      {"closed mid-line", {"220 rea"}, SmtpFault::kClosed},
      {"time-out", {ScriptedSource::kTimeout}, SmtpFault::kFailure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSource source(c.receives);
    ReplyReader reader(source, 1000);
    EXPECT_FALSE(reader.Read());
    EXPECT_EQ(reader.Fault(), c.fault);
  }
}

}  // namespace
