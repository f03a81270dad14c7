// dns::MxResolver: the resolver object one lookup makes on its stack. Resolve() asks one
// DNS server for a domain's MX records; the results are two parallel lists of owned
// texts (exchange names and decimal preferences) in answer order, read with
// first/next cursors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dns {

class Message;  // dns/dns_message.h

class MxResolver {
 public:
  MxResolver();
  ~MxResolver();
  MxResolver(const MxResolver&) = delete;
  MxResolver& operator=(const MxResolver&) = delete;

  // True when the reply held at least one exchanger; never throws.
  bool Resolve(std::string domain, std::string server, std::int32_t timeout_seconds);
  // Appends the exchangers of a decoded reply (what Resolve does with the reply it
  // accepts); may throw std::bad_alloc.
  void TakeAnswer(const Message& answer);

  std::int32_t GetCount() const;
  const std::string* GetFirstExchange();
  const std::string* GetNextExchange();
  const std::string* GetFirstPreference();
  const std::string* GetNextPreference();

 private:
  // One exchanger's texts as the cursors hand them out.
  struct Exchanger {
    std::string exchange;
    std::string preference;
  };
  // Where one exchanger's texts lie in its reply's block.
  struct Slot {
    std::uint32_t exchange;  // offset of the exchange text from the block's start
    std::uint8_t exchange_length;
    std::uint8_t preference_length;  // the preference text follows the exchange text
  };
  // The texts of one accepted reply, made at their final size in one allocation: a slot
  // per exchanger, then the texts. The std::string objects the cursors hand out are made
  // from them when first asked for (a count needs none of them).
  struct Block {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t count = 0;
    const Slot* Slots() const { return reinterpret_cast<const Slot*>(bytes.get()); }
    const char* Text(std::uint32_t offset) const {
      return reinterpret_cast<const char*>(bytes.get()) + offset;
    }
  };
  static constexpr std::size_t kUnset = ~std::size_t{0};
  // The texts at a position counted across the blocks (made on first use and kept until
  // the object goes, so the pointers handed out stay valid), or null past the end.
  const Exchanger* At(std::size_t index);

  Block m_first;  // mostly the only one
  std::vector<Block> m_more;
  std::size_t m_nCount = 0;
  // The texts made so far, by position: at their place while later calls append.
  std::vector<std::unique_ptr<Exchanger>> m_made;
  std::size_t m_nExchangeCursor = kUnset;
  std::size_t m_nPreferenceCursor = kUnset;
};

}  // namespace dns
