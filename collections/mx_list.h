// The sorted MX list behind the List object that GetMXRecord returns: the exchangers of
// one answer go in, ordered by host name, and come out as entries. The list asks no one
// anything itself; lookup/ resolves and hands it the records. The COM List object
// (module/list_com.*) takes the entries over; the kestra tool and the tests read them
// here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace collections {

// One exchanger: its host name and its preference as decimal text. An entry made on its
// own reads "" and "0".
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
  CMXList() = default;
  CMXList(const CMXList&) = delete;
  CMXList& operator=(const CMXList&) = delete;

  // Replaces the list with `records`, given in answer order, sorted by host name:
  // ascending, case-blind (CompareTextNoCase), and names that compare equal in the
  // reverse of their answer order. Preferences play no part. May throw std::bad_alloc.
  void Assign(std::vector<CMXEntry> records);
  void Clear() { m_entries.clear(); }

  std::int32_t GetCount() const { return static_cast<std::int32_t>(m_entries.size()); }
  // Entry `index`, from 0, in list order.
  const CMXEntry& GetEntry(std::int32_t index) const {
    return m_entries.at(static_cast<std::size_t>(index));
  }
  // Hands the entries over in list order and leaves the list empty.
  std::vector<CMXEntry> TakeEntries();

 private:
  std::vector<CMXEntry> m_entries;
};

}  // namespace collections
