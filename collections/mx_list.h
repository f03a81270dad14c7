// The portable half of the List object that GetMXRecord returns: the list resolves the
// domain once more with a resolver of its own, orders the exchangers by host name and
// keeps one entry per exchanger. The COM classes (collections/*_com.*) wrap this; the
// kestra tool and the tests use it as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One exchanger waiting in the pending chain while Fill runs.
struct CEntryNode {
  std::string m_strMX;
  std::string m_strPreference;
  CEntryNode* m_pNext = nullptr;
};

// What one ListEntries object holds: the exchanger's host name and its preference as
// decimal text. An entry made on its own reads "" and "0".
struct CMXEntry {
  std::string m_strMX;
  std::string m_strPreference = "0";
};

// Compares two texts without regard to case, character by character in the process's
// multibyte code page (a lead byte and its trail byte are one character), each character
// folded to lower case and compared as an unsigned code. Negative, zero or positive.
int CompareTextNoCase(std::string_view a, std::string_view b);

class CMXList {
 public:
  enum class SortKey { kExchange, kPreference };
  enum class SortOrder { kAscending, kDescending };

  CMXList() = default;
  virtual ~CMXList();
  CMXList(const CMXList&) = delete;
  CMXList& operator=(const CMXList&) = delete;

  // Drops what an earlier fill left, resolves `domain` with a resolver of its own and
  // keeps its exchangers sorted by host name (ascending, case-blind, equal names in the
  // reverse of their answer order). Reports nothing: a failed resolution, or one whose
  // first exchange name is empty, leaves the list empty. Never throws.
  void Fill(std::string domain, std::string server, std::int32_t timeout_seconds);

  std::int32_t GetCount() const { return m_nCount; }
  // Entry `index` (from 0) of the list's own storage; a binding that overrides the item
  // storage below keeps its entries itself and does not call this.
  const CMXEntry& GetEntry(std::int32_t index) const {
    return m_entries.at(static_cast<std::size_t>(index));
  }

 protected:
  // Item storage, called by Fill in this order: ClearItems, AllocateItems(n), then
  // StoreItem(0 .. n-1) in list order. The default keeps CMXEntry values; the COM list
  // overrides all three to keep its array of entry objects. AllocateItems and StoreItem
  // return false when memory runs out; the list then keeps the items stored before.
  virtual void ClearItems();
  virtual bool AllocateItems(std::int32_t count);
  // May move the node's texts away.
  virtual bool StoreItem(std::int32_t index, CEntryNode& node);

  // Puts a new node holding copies of the two texts at the head of the pending chain.
  void AddNode(const std::string& mx, const std::string& preference);
  // Stable insertion sort of the pending chain by `key`.
  void SortPending(SortKey key, SortOrder order);
  void FreePending();

  CEntryNode* m_pPending = nullptr;
  std::int32_t m_nCount = 0;

 private:
  std::vector<CMXEntry> m_entries;
};
