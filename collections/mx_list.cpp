#include "collections/mx_list.h"

#include <new>
#include <utility>

#include "dns/resolve_mx.h"
#include "platform/mbcs.h"

namespace {

// The character of `text` at `pos`, folded to lower case; moves `pos` past it. A lead
// byte at the very end of the text stands alone, as a C string's NUL would end it.
unsigned NextFoldedCharacter(std::string_view text, std::size_t& pos) {
  auto lead = static_cast<unsigned char>(text[pos++]);
  if (platform::IsMultibyteLeadByte(lead) && pos < text.size() && text[pos] != '\0') {
    auto trail = static_cast<unsigned char>(text[pos++]);
    return platform::FoldMultibyteToLower((static_cast<unsigned>(lead) << 8) | trail);
  }
  return platform::FoldMultibyteToLower(lead);
}

const std::string& KeyOf(const CEntryNode& node, CMXList::SortKey key) {
  return key == CMXList::SortKey::kExchange ? node.m_strMX : node.m_strPreference;
}

}  // namespace

int CompareTextNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned ca = NextFoldedCharacter(a, i);
    unsigned cb = NextFoldedCharacter(b, j);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

CMXList::~CMXList() {
  FreePending();
}

void CMXList::ClearItems() {
  m_entries.clear();
}

bool CMXList::AllocateItems(std::int32_t count) {
  try {
    m_entries.reserve(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CMXList::StoreItem(std::int32_t, CEntryNode& node) {
  // AllocateItems reserved room for every item, so this cannot reallocate.
  m_entries.push_back(CMXEntry{std::move(node.m_strMX), std::move(node.m_strPreference)});
  return true;
}

void CMXList::AddNode(const std::string& mx, const std::string& preference) {
  auto* node = new CEntryNode{mx, preference, m_pPending};
  m_pPending = node;
}

void CMXList::SortPending(SortKey key, SortOrder order) {
  CEntryNode* sorted = nullptr;
  while (m_pPending) {
    CEntryNode* node = m_pPending;
    m_pPending = node->m_pNext;
    node->m_pNext = nullptr;
    // Insert before the first node that the detached one must precede; ties go after,
    // so nodes with equal keys keep their chain order.
    CEntryNode** link = &sorted;
    for (; *link; link = &(*link)->m_pNext) {
      int c = order == SortOrder::kAscending
                  ? CompareTextNoCase(KeyOf(*node, key), KeyOf(**link, key))
                  : CompareTextNoCase(KeyOf(**link, key), KeyOf(*node, key));
      if (c < 0) break;
    }
    node->m_pNext = *link;
    *link = node;
  }
  m_pPending = sorted;
}

void CMXList::FreePending() {
  while (m_pPending) {
    CEntryNode* node = m_pPending;
    m_pPending = node->m_pNext;
    delete node;
  }
}

void CMXList::Fill(std::string domain, std::string server, std::int32_t timeout_seconds) {
  FreePending();
  ClearItems();
  m_nCount = 0;
  std::int32_t stored = 0;
  try {
    CResolveMX resolver;
    std::int32_t n = 0;
    if (resolver.Resolve(std::move(domain), std::move(server), timeout_seconds)) {
      // The count narrowed to the 16 bits that Count reports; an empty first exchange
      // (a null MX, say) leaves the whole list empty.
      const std::string* first = resolver.GetFirstExchange();
      auto narrowed = static_cast<std::int16_t>(resolver.GetCount());
      if (first && !first->empty() && narrowed > 0) n = narrowed;
    }
    if (!AllocateItems(n)) return;
    m_nCount = n;
    if (n == 0) return;

    const std::string* mx = resolver.GetFirstExchange();
    const std::string* preference = resolver.GetFirstPreference();
    static const std::string kNone;
    for (std::int32_t i = 0; i < n; ++i) {
      AddNode(mx ? *mx : kNone, preference ? *preference : kNone);
      mx = resolver.GetNextExchange();
      preference = resolver.GetNextPreference();
    }
    SortPending(SortKey::kExchange, SortOrder::kAscending);

    while (m_pPending) {
      CEntryNode* node = m_pPending;
      bool ok = StoreItem(stored, *node);
      m_pPending = node->m_pNext;
      delete node;
      if (!ok) break;
      ++stored;
    }
    FreePending();
    m_nCount = stored;
  } catch (...) {
    // Memory ran out part-way: keep what was stored, never more than was allocated.
    FreePending();
    m_nCount = stored;
  }
}
