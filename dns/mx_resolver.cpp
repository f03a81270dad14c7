#include "dns/mx_resolver.h"

#include <charconv>
#include <new>

#include "dns/dns_client.h"
#include "dns/dns_message.h"
#include "platform/net.h"

namespace dns {

MxResolver::MxResolver() = default;
MxResolver::~MxResolver() = default;

bool MxResolver::Resolve(std::string domain, std::string server, std::int32_t timeout_seconds) {
  // Nothing may leave this call as an exception: allocation failures and the like
  // become a false result.
  try {
    if (server.empty()) server = platform::SystemDnsServer();
    // With no server at all there is nobody to ask.
    if (server.empty()) return false;
    Client client(std::move(server));
    Message answer;
    if (!client.Query(domain, timeout_seconds, &answer)) return false;
    TakeAnswer(answer);
    return true;
  } catch (...) {
    return false;
  }
}

void MxResolver::TakeAnswer(const Message& answer) {
  const std::size_t count = answer.GetAnswerCount();
  if (count == 0) return;
  // A preference takes at most five digits.
  constexpr std::size_t kMaxPreference = 5;
  std::size_t size = count * sizeof(Slot);
  for (std::size_t i = 0; i < count; ++i) size += answer.GetExchangeLength(i) + kMaxPreference;
  Block block;
  block.bytes = std::make_unique_for_overwrite<std::byte[]>(size);
  char* const base = reinterpret_cast<char*>(block.bytes.get());
  std::size_t at = count * sizeof(Slot);
  for (std::size_t i = 0; i < count; ++i) {
    Slot slot;
    slot.exchange = static_cast<std::uint32_t>(at);
    const std::size_t length = answer.CopyExchange(i, base + at);
    slot.exchange_length = static_cast<std::uint8_t>(length);
    at += length;
    char* end = std::to_chars(base + at, base + at + kMaxPreference, answer.GetPreference(i)).ptr;
    slot.preference_length = static_cast<std::uint8_t>(end - (base + at));
    at += slot.preference_length;
    ::new (static_cast<void*>(block.bytes.get() + i * sizeof(Slot))) Slot(slot);
  }
  block.count = count;
  if (m_nCount == 0) {
    m_first = std::move(block);
  } else {
    m_more.push_back(std::move(block));
  }
  m_nCount += count;
}

std::int32_t MxResolver::GetCount() const {
  return static_cast<std::int32_t>(m_nCount);
}

const MxResolver::Exchanger* MxResolver::At(std::size_t index) {
  if (index >= m_nCount) return nullptr;
  // Each pass makes the texts of the next position, up to the one asked for.
  while (m_made.size() <= index) {
    std::size_t i = m_made.size();
    const Block* block = &m_first;
    for (std::size_t next = 0; i >= block->count; ++next) {
      i -= block->count;
      block = &m_more[next];
    }
    const Slot& slot = block->Slots()[i];
    const char* exchange = block->Text(slot.exchange);
    m_made.push_back(std::make_unique<Exchanger>(
        Exchanger{std::string(exchange, slot.exchange_length),
                  std::string(exchange + slot.exchange_length, slot.preference_length)}));
  }
  return m_made[index].get();
}

// The cursors: null when empty, before the first call of the matching First, and from
// the end on.
const std::string* MxResolver::GetFirstExchange() {
  if (m_nCount == 0) return nullptr;
  m_nExchangeCursor = 0;
  return &At(0)->exchange;
}

const std::string* MxResolver::GetNextExchange() {
  if (m_nExchangeCursor == kUnset || m_nExchangeCursor >= m_nCount) return nullptr;
  const Exchanger* e = At(++m_nExchangeCursor);
  return e ? &e->exchange : nullptr;
}

const std::string* MxResolver::GetFirstPreference() {
  if (m_nCount == 0) return nullptr;
  m_nPreferenceCursor = 0;
  return &At(0)->preference;
}

const std::string* MxResolver::GetNextPreference() {
  if (m_nPreferenceCursor == kUnset || m_nPreferenceCursor >= m_nCount) return nullptr;
  const Exchanger* e = At(++m_nPreferenceCursor);
  return e ? &e->preference : nullptr;
}

}  // namespace dns
