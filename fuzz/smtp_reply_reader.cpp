// Fuzzes the SMTP reply reader. The same bytes are read twice: appended all at once,
// and received in pieces whose sizes the input chooses. However the network cuts the
// bytes, the replies read must be the same, and every code must be three digits.
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
  int WaitReadable(int) override { return 1; }
  int Receive(char* buffer, int size) override {
    if (m_bytes.empty()) return 0;
    m_state = m_state * 1103515245u + 12345u;
    std::size_t piece = 1 + (m_state >> 16) % static_cast<std::uint32_t>(size);
    if (piece > m_bytes.size()) piece = m_bytes.size();
    m_bytes.copy(buffer, piece);
    m_bytes.remove_prefix(piece);
    return static_cast<int>(piece);
  }

 private:
  std::string_view m_bytes;
  std::uint32_t m_state;
};

void Check(bool ok) {
  if (!ok) std::abort();
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
