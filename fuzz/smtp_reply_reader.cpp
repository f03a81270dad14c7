// Fuzzes the SMTP reply reader. The same bytes are read twice: appended all at once,
// and received in pieces whose sizes the input chooses. However the network cuts the
// bytes, the replies read must be the same, and both must match a plain line-by-line
// model of the reply rules: three leading digits are the code, a '-' after them
// continues the reply and anything else ends it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "smtp/reply_reader.h"

namespace {

using smtp::ReplyReader;
using Status = ReplyReader::Status;

class PieceSource final : public smtp::ReplySource {
 public:
  PieceSource(std::string_view bytes, std::uint32_t seed) : m_bytes(bytes), m_state(seed | 1) {}
  platform::Result<void> WaitReadable(int) override { return {}; }
  platform::Result<std::size_t> Receive(char* buffer, std::size_t size) override {
    if (m_bytes.empty()) return 0;
    m_state = m_state * 1103515245u + 12345u;
    std::size_t piece = 1 + (m_state >> 16) % size;
    if (piece > m_bytes.size()) piece = m_bytes.size();
    m_bytes.copy(buffer, piece);
    m_bytes.remove_prefix(piece);
    return piece;
  }

 private:
  std::string_view m_bytes;
  std::uint32_t m_state;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

// The model: what reading `bytes` as one whole buffer must give, written as plainly as
// possible and apart from the reader's own code.
struct Model {
  std::vector<int> codes;
  Status end;  // how reading stops: kIncomplete, kMalformed or kTooLong
};

Model ReadByModel(std::string_view bytes) {
  Model model{{}, Status::kIncomplete};
  std::size_t reply_start = 0;
  std::size_t line_start = 0;
  while (true) {
    const std::size_t lf = bytes.find('\n', line_start);
    if (lf == std::string_view::npos) {
      model.end = bytes.size() - reply_start > ReplyReader::kMaxReplyBytes ? Status::kTooLong
                                                                           : Status::kIncomplete;
      return model;
    }
    if (lf + 1 - reply_start > ReplyReader::kMaxReplyBytes) {
      model.end = Status::kTooLong;
      return model;
    }
    std::string_view line = bytes.substr(line_start, lf - line_start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 3 || line.find_first_not_of("0123456789") < 3) {
      model.end = Status::kMalformed;
      return model;
    }
    line_start = lf + 1;
    if (line.size() > 3 && line[3] == '-') continue;
    model.codes.push_back((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
    reply_start = line_start;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t seed = data[0] | (static_cast<std::uint32_t>(data[1]) << 8);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  std::vector<int> whole_codes;
  ReplyReader whole;
  whole.Append(bytes);
  ReplyReader::Reply end{};
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    end = whole.TakeReply();
    if (end.status != Status::kReply) break;
    Check(end.code >= 0 && end.code <= 999);
    whole_codes.push_back(end.code);
  }
  Check(end.status != Status::kReply);
  Check(whole.Pending() <= bytes.size());

  const Model model = ReadByModel(bytes);
  Check(whole_codes == model.codes);
  Check(end.status == model.end);

  PieceSource source(bytes, seed);
  ReplyReader pieces(source, 60'000);
  std::vector<int> piece_codes;
  ReplyReader::Reply last{};
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    last = pieces.Read();
    if (last.status != Status::kReply) break;
    piece_codes.push_back(last.code);
  }
  Check(piece_codes == whole_codes);
  // What is left unread ends the same way: a cut-off reply reads as the peer's close.
  Check(last.status == (end.status == Status::kIncomplete ? Status::kClosed : end.status));
  return 0;
}
