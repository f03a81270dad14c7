// dns::Message: one DNS message in the wire format of RFC 1035. It builds the one kind
// of query the resolver sends (one question, type MX, class IN) and decodes a reply's
// header, question section and answer section; the MX records of the answer section
// become (preference, exchange) pairs in answer order.
//
// Decoding is strict about form and permissive about content: a reply that runs short,
// overruns a record's RDLENGTH or holds a broken name is malformed and yields nothing,
// while the header is decoded as it stands (ID, QR, TC and RCODE are for the transport
// to judge).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_name.h"

namespace dns {

// One resource record, or one question entry (of which only the name, type and class
// are filled). Nothing is copied out of the message: m_nNameOffset is where the owner
// name starts (Message::ReadName turns it into text when it is wanted), and the
// RDATA is the m_nRDLength bytes at m_nRDataOffset. Decoding a reply thus costs a
// handful of allocations whatever it holds, and texts are made only when asked for.
struct Record {
  std::uint16_t m_nNameOffset = 0;
  std::uint16_t m_nType = 0;
  std::uint16_t m_nClass = 0;
  std::uint32_t m_nTTL = 0;
  std::uint16_t m_nRDLength = 0;
  std::uint16_t m_nRDataOffset = 0;  // first RDATA byte within the whole message
};

// An MX record of the answer section; its exchange name starts at m_nRDataOffset + 2
// (Message::GetExchange gives it as dotted text).
struct MxRecord : Record {
  std::uint16_t m_nPreference = 0;
  std::uint16_t m_nExchangeLength = 0;  // of the exchange in dotted form
};

class Message {
 public:
  static constexpr std::uint16_t kTypeMX = 15;
  static constexpr std::uint16_t kClassIN = 1;
  static constexpr std::size_t kHeaderSize = 12;
  // No DNS message, over UDP or TCP, is longer.
  static constexpr std::size_t kMaxMessage = 65535;
  // Replies up to this size are kept inside the message, without touching the heap.
  static constexpr std::size_t kInlineReply = 512;

  Message() = default;
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  // question name := DomainToLabels(domain) (dns/dns_name.h); question type MX;
  // question class IN.
  void SetQuestion(std::string_view domain);

  // The query bytes (header with the ID and flag fields below, QDCOUNT 1, the question);
  // kept as the raw message.
  std::string BuildQuery();
  // The same bytes, written into the message's own storage only: the view stays valid
  // until the next BuildQuery, WriteQuery or Parse.
  std::string_view WriteQuery();

  // Decodes a reply (the message keeps a copy of the bytes). False when it is malformed (or
  // longer than kMaxMessage); then the question, answer and MX lists are empty.
  bool Parse(std::string_view datagram);

  // Reads the name at *pos of the raw message in label form (length bytes kept, no
  // closing zero, pointers followed) and moves *pos past it. False on a broken name.
  bool ReadName(std::size_t* pos, std::string* labels) const;

  // The number of exchangers decoded from the answer section: ANCOUNT less the answer
  // records that are not MX (the CNAME of an alias, say). Every index below it is valid
  // for GetExchange and GetPreference.
  std::uint16_t GetAnswerCount() const { return static_cast<std::uint16_t>(m_nMX); }
  // The exchange in dotted form without a trailing dot (the empty text for the root,
  // a null MX), and the preference. Out-of-range indices give the empty text and 0.
  std::string GetExchange(std::size_t index) const;
  // The length of that dotted text, and the text written to out (room for at least that
  // many bytes); both give 0 for an out-of-range index.
  std::size_t GetExchangeLength(std::size_t index) const {
    return index < m_nMX ? m_pMX[index].m_nExchangeLength : 0;
  }
  std::size_t CopyExchange(std::size_t index, char* out) const;
  std::uint16_t GetPreference(std::size_t index) const;

  // Whether the name at pos equals a name in label form (as DomainToLabels gives it),
  // ASCII letters compared without regard to case.
  bool NameMatches(std::size_t pos, std::string_view labels) const;

  std::span<const Record> Questions() const { return {m_pRecords, m_nQuestions}; }
  std::span<const Record> Answers() const {
    return {m_pRecords + m_nQuestions, m_nRecords - m_nQuestions};
  }
  std::span<const MxRecord> MxRecords() const { return {m_pMX, m_nMX}; }
  // The question name set by SetQuestion, in label form.
  std::string_view QuestionName() const {
    return {m_heapQuestionName ? m_heapQuestionName.get() : m_inlineQuestionName,
            m_nQuestionNameSize};
  }
  std::uint16_t QuestionType() const { return m_nQuestionType; }
  std::uint16_t QuestionClass() const { return m_nQuestionClass; }
  std::string_view Raw() const { return {reinterpret_cast<const char*>(m_pRaw), m_nRawSize}; }
  std::span<const std::uint8_t> Bytes() const { return {m_pRaw, m_nRawSize}; }

  // Header fields: set by the owner before BuildQuery, filled by Parse.
  std::uint16_t m_nID = 0;
  std::uint8_t m_bQR = 0;
  std::uint8_t m_nOpcode = 0;
  std::uint8_t m_bAA = 0;
  std::uint8_t m_bTC = 0;
  std::uint8_t m_bRD = 0;
  std::uint8_t m_bRA = 0;
  std::uint8_t m_nZ = 0;
  std::uint8_t m_nRCode = 0;
  std::uint16_t m_nQDCount = 0;
  std::uint16_t m_nANCount = 0;
  std::uint16_t m_nNSCount = 0;
  std::uint16_t m_nARCount = 0;

 private:
  // Room kept inside the message: an ordinary reply, its records and its exchangers fit
  // without touching the heap; a larger one gets heap storage of exactly its size.
  static constexpr std::size_t kInlineBytes = kInlineReply;
  static constexpr std::size_t kInlineRecords = 16;

  bool Decode();
  void Clear();
  void ResetStorage();
  // Room for size raw bytes, in m_inlineRaw or on the heap; sets m_pRaw and m_nRawSize.
  std::uint8_t* RawStorage(std::size_t size);
  // Room for the given numbers of records and exchangers.
  void RecordStorage(std::size_t records, std::size_t exchangers);

  // Every Parse starts afresh, so a run of datagrams decoded into the same message never
  // holds more than the latest one.
  std::uint8_t* m_pRaw = m_inlineRaw;
  std::size_t m_nRawSize = 0;
  Record* m_pRecords = nullptr;  // the questions, then the answers
  std::size_t m_nRecords = 0;
  std::size_t m_nQuestions = 0;
  MxRecord* m_pMX = nullptr;
  std::size_t m_nMX = 0;
  // The question name in label form: inline when it fits a name a query can carry.
  std::unique_ptr<char[]> m_heapQuestionName;
  std::size_t m_nQuestionNameSize = 0;
  std::uint16_t m_nQuestionType = 0;
  std::uint16_t m_nQuestionClass = 0;
  std::unique_ptr<std::uint8_t[]> m_heapRaw;
  std::unique_ptr<Record[]> m_heapRecords;
  std::unique_ptr<MxRecord[]> m_heapMX;
  // Left uninitialised, so that making a message costs nothing for them: no byte is
  // read before it has been written, and each record is made in place as it is decoded.
  // Every lookup makes a message, and a 3-exchanger reply decodes in about 140 ns:
  // initialising the 576 bytes of inline records adds 10 to 20 ns to that, which moves
  // decode-3mx-vs-c-ares (scripts/bench, target 0.34) up by 0.03 to 0.05, past the
  // target on a loaded machine.
  std::uint8_t m_inlineRaw[kInlineBytes];
  alignas(Record) std::byte m_inlineRecords[kInlineRecords * sizeof(Record)];
  alignas(MxRecord) std::byte m_inlineMX[kInlineRecords * sizeof(MxRecord)];
  char m_inlineQuestionName[kMaxName + 1];
};

}  // namespace dns
