// Feeds arbitrary bytes to the reply decoder, and checks what must hold of whatever it
// accepts. The same bytes, read as a domain, go through the query builder: any domain
// the query can carry must come back from the decoder as the question it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dns/dns_client.h"
#include "dns/dns_message.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  dns::Message reply;
  if (reply.Parse(bytes)) {
    Check(reply.GetAnswerCount() <= reply.m_nANCount);
    Check(reply.Answers().size() == reply.m_nANCount);
    Check(reply.Questions().size() == reply.m_nQDCount);
    for (std::size_t i = 0; i < reply.GetAnswerCount(); ++i) {
      Check(reply.GetExchange(i).size() <= dns::kMaxName - 1);
    }
    for (const dns::Record& q : reply.Questions()) {
      std::size_t pos = q.m_nNameOffset;
      std::string raw;
      Check(reply.ReadName(&pos, &raw));
      Check(raw.size() < dns::kMaxName);
      Check(dns::LabelsToDotted(raw).size() <= raw.size());
    }
    // The decoder's check of a name (with its memo of names found sound) and a plain
    // walk of it must agree on every name it accepted.
    for (const dns::Record& r : reply.Answers()) {
      std::size_t pos = r.m_nNameOffset;
      std::string raw;
      Check(reply.ReadName(&pos, &raw));
    }
    // An exchange's dotted text is that of the plain walk, of the length measured while
    // decoding.
    for (std::size_t i = 0; i < reply.MxRecords().size(); ++i) {
      const dns::MxRecord& mx = reply.MxRecords()[i];
      std::size_t pos = mx.m_nRDataOffset + 2u;
      std::string raw;
      Check(reply.ReadName(&pos, &raw) && pos == mx.m_nRDataOffset + mx.m_nRDLength);
      const std::string dotted = dns::LabelsToDotted(raw);
      Check(reply.GetExchangeLength(i) == dotted.size() && reply.GetExchange(i) == dotted);
    }
    dns::Client::IsAnswerTo(reply, reply.m_nID, dns::DomainToLabels("example.com"));
  } else {
    Check(reply.GetAnswerCount() == 0 && reply.Answers().empty() && reply.Questions().empty());
  }

  if (dns::FitsInQuery(bytes)) {
    dns::Message query;
    query.SetQuestion(bytes);
    query.m_nID = 0x0312;
    query.m_bRD = 1;
    dns::Message back;
    Check(back.Parse(query.BuildQuery()));
    Check(dns::Client::IsAnswerTo(back, 0x0312, query.QuestionName()) == false);  // QR is 0
    back.m_bQR = 1;
    Check(dns::Client::IsAnswerTo(back, 0x0312, query.QuestionName()));
    Check(query.QuestionName() == dns::DomainToLabels(bytes));
  }
  return 0;
}
