// Fuzzes the SMTP reply reader. The same bytes are read twice: received in pieces as
// large as the reader asks for, and in pieces whose sizes the input chooses. However the
// network cuts the bytes, the replies read must be the same, and both must match a plain
// line-by-line model of the reply rules: three leading digits are the code, a '-' after
// them continues the reply and anything else ends it. Whatever follows the last whole
// reply (a cut-off reply, a malformed line, one too long) fails as a bad reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "smtp/reply_reader.h"

namespace {

using smtp::ReplyReader;

class PieceSource final : public smtp::ReplySource {
 public:
  // A seed of 0 gives each receive as many bytes as it asks for.
  PieceSource(std::string_view bytes, std::uint32_t seed) : m_bytes(bytes), m_state(seed) {}
  platform::Result<void> WaitReadable(int) override { return {}; }
  platform::Result<std::size_t> Receive(char* buffer, std::size_t size) override {
    if (m_bytes.empty()) return 0;
    std::size_t piece = size;
    if (m_state != 0) {
      m_state = m_state * 1103515245u + 12345u;
      piece = 1 + (m_state >> 16) % size;
    }
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

// The model: the codes of the whole replies in `bytes`, written as plainly as possible
// and apart from the reader's own code.
std::vector<int> ReadByModel(std::string_view bytes) {
  std::vector<int> codes;
  std::size_t reply_start = 0;
  std::size_t line_start = 0;
  while (true) {
    const std::size_t lf = bytes.find('\n', line_start);
    if (lf == std::string_view::npos || lf + 1 - reply_start > ReplyReader::kMaxReplyBytes) {
      return codes;
    }
    std::string_view line = bytes.substr(line_start, lf - line_start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 3 || line.find_first_not_of("0123456789") < 3) return codes;
    line_start = lf + 1;
    if (line.size() > 3 && line[3] == '-') continue;
    codes.push_back((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
    reply_start = line_start;
  }
}

// The codes of the replies read from `source` until the first failure, which must be
// that of a bad reply.
std::vector<int> ReadAll(smtp::ReplySource& source, std::size_t most) {
  ReplyReader reader(source, 60'000);
  std::vector<int> codes;
  for (std::size_t i = 0; i <= most; ++i) {
    const platform::Result<int> reply = reader.Read();
    if (!reply) {
      Check(reply.failure() == platform::Failure{platform::Cause::kBadReply, 0});
      return codes;
    }
    Check(*reply >= 0 && *reply <= 999);
    codes.push_back(*reply);
  }
  Check(false);  // more replies than bytes
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t seed = (data[0] | (static_cast<std::uint32_t>(data[1]) << 8)) | 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  PieceSource whole(bytes, 0);
  const std::vector<int> whole_codes = ReadAll(whole, bytes.size());
  Check(whole_codes == ReadByModel(bytes));
  PieceSource pieces(bytes, seed);
  Check(ReadAll(pieces, bytes.size()) == whole_codes);
  return 0;
}
