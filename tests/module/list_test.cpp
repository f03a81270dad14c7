// The List, its entries and its enumerator, filled through GetMXRecord from the test
// bed's DNS server (zone com-list.test), and the empty list its class object makes.
#include <string>
#include <utility>
#include <vector>

#include "com_fixture.h"
#include "testbed.h"

namespace comtest {
namespace {

using Exchanger = std::pair<std::string, std::string>;  // MX, Preference

// com-list.test's exchangers in list order: by host name, whatever the preference.
const std::vector<Exchanger> kSorted = {
    {"alpha.com-list.test", "65535"},
    {"bravo.com-list.test", "10"},
    {"charlie.com-list.test", "5"},
    {"delta.com-list.test", "0"},
};

Exchanger Read(const VARIANT& item) {
  Exchanger out;
  if (V_VT(&item) != VT_DISPATCH || !V_DISPATCH(&item)) return {"<not an object>", ""};
  Ptr<IListEntries> entry;
  if (FAILED(V_DISPATCH(&item)->QueryInterface(IID_IListEntries, entry.put_void()))) {
    return {"<not an entry>", ""};
  }
  Bstr mx, preference;
  EXPECT_EQ(S_OK, entry->get_MX(mx.put()));
  EXPECT_EQ(S_OK, entry->get_Preference(preference.put()));
  return {Narrow(mx.get()), Narrow(preference.get())};
}

std::vector<Exchanger> ReadItems(IList* list) {
  std::vector<Exchanger> out;
  long count = -1;
  EXPECT_EQ(S_OK, list->get_Count(&count));
  for (long i = 1; i <= count && i <= 100; ++i) {
    Variant item;
    EXPECT_EQ(S_OK, list->get_Item(i, item.put()));
    out.push_back(Read(*item.get()));
  }
  return out;
}

Ptr<IEnumVARIANT> EnumeratorOf(IList* list) {
  Ptr<IUnknown> unknown;
  EXPECT_EQ(S_OK, list->get__NewEnum(unknown.put()));
  Ptr<IEnumVARIANT> enumerator;
  if (unknown) {
    EXPECT_EQ(S_OK, unknown->QueryInterface(IID_IEnumVARIANT, enumerator.put_void()));
  }
  return enumerator;
}

// Fetches one item; the item's text, or "" at the end.
std::string NextName(IEnumVARIANT* enumerator, HRESULT expected = S_OK) {
  Variant item;
  ULONG fetched = 99;
  EXPECT_EQ(expected, enumerator->Next(1, item.put(), &fetched));
  if (fetched == 0) return "";
  return Read(*item.get()).first;
}

class ListTest : public ComTest {};

TEST_F(ListTest, FilledListIsOrderedByHostName) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  EXPECT_EQ(kSorted, ReadItems(list.get()));

  Ptr<IList> single = ListFor("single.com-list.test");
  ASSERT_TRUE(single);
  EXPECT_EQ((std::vector<Exchanger>{{"mail.com-list.test", "20"}}), ReadItems(single.get()));
}

TEST_F(ListTest, MXRecordsCountsTheExchangers) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<ILookup> lookup = LookupFor("com-list.test");
  ASSERT_TRUE(lookup);
  short count = -1;
  EXPECT_EQ(S_OK, lookup->get_MXRecords(&count));
  EXPECT_EQ(4, count);
  short is_error = -1;
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(0, is_error);
}

TEST_F(ListTest, DomainNameEndsAtAnEmbeddedNul) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<ILookup> lookup = LookupFor("unused.test");
  ASSERT_TRUE(lookup);
  Bstr name(std::wstring(L"com-list.test\0.invalid", 22));
  EXPECT_EQ(S_OK, lookup->put_DomainName(name.get()));
  short count = -1;
  EXPECT_EQ(S_OK, lookup->get_MXRecords(&count));
  EXPECT_EQ(4, count);
}

TEST_F(ListTest, FailedLookupGivesNullObjectAndKeepsReasonAfterSuccess) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<ILookup> lookup = LookupFor("nomx.com-list.test");
  ASSERT_TRUE(lookup);
  Variant result;
  ASSERT_EQ(S_OK, lookup->GetMXRecord(result.get()));
  EXPECT_EQ(VT_DISPATCH, V_VT(result.get()));
  EXPECT_EQ(nullptr, V_DISPATCH(result.get()));
  short is_error = 0;
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(1, is_error);
  Bstr reason;
  EXPECT_EQ(S_OK, lookup->get_ErrorReason(reason.put()));
  EXPECT_EQ("Invalid domain name or DNS server", Narrow(reason.get()));

  Bstr name(L"com-list.test");
  EXPECT_EQ(S_OK, lookup->put_DomainName(name.get()));
  ASSERT_EQ(S_OK, lookup->GetMXRecord(result.put()));
  ASSERT_EQ(VT_DISPATCH, V_VT(result.get()));
  EXPECT_NE(nullptr, V_DISPATCH(result.get()));
  EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
  EXPECT_EQ(0, is_error);
  EXPECT_EQ(S_OK, lookup->get_ErrorReason(reason.put()));
  EXPECT_EQ("Invalid domain name or DNS server", Narrow(reason.get()));
}

TEST_F(ListTest, EachGetMXRecordReturnsANewListWithOneReference) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<ILookup> lookup = LookupFor("com-list.test");
  ASSERT_TRUE(lookup);
  Variant first, second;
  ASSERT_EQ(S_OK, lookup->GetMXRecord(first.get()));
  ASSERT_EQ(S_OK, lookup->GetMXRecord(second.get()));
  ASSERT_EQ(VT_DISPATCH, V_VT(first.get()));
  ASSERT_EQ(VT_DISPATCH, V_VT(second.get()));
  ASSERT_NE(nullptr, V_DISPATCH(first.get()));
  EXPECT_NE(V_DISPATCH(first.get()), V_DISPATCH(second.get()));
  // The result holds the list's only reference.
  EXPECT_EQ(2u, V_DISPATCH(first.get())->AddRef());
  EXPECT_EQ(1u, V_DISPATCH(first.get())->Release());
  first.put();
  Ptr<IList> list;
  ASSERT_EQ(S_OK, V_DISPATCH(second.get())->QueryInterface(IID_IList, list.put_void()));
  EXPECT_EQ(kSorted, ReadItems(list.get()));
}

TEST_F(ListTest, ItemOutsideTheListIsInvalidArgument) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  for (long index : {0L, -1L, 5L, 0x7fffffffL}) {
    Variant item;
    V_VT(item.get()) = VT_I4;
    EXPECT_EQ(E_INVALIDARG, list->get_Item(index, item.get())) << index;
    EXPECT_EQ(VT_UNKNOWN, V_VT(item.get())) << index;
    EXPECT_EQ(nullptr, V_UNKNOWN(item.get())) << index;
  }
  EXPECT_EQ(E_POINTER, list->get_Item(1, nullptr));
  EXPECT_EQ(E_POINTER, list->get_Count(nullptr));
  EXPECT_EQ(E_POINTER, list->get__NewEnum(nullptr));
}

TEST_F(ListTest, EntriesOutliveTheList) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Variant last;
  ASSERT_EQ(S_OK, list->get_Item(4, last.get()));
  ASSERT_EQ(VT_DISPATCH, V_VT(last.get()));
  IDispatch* entry = V_DISPATCH(last.get());
  // The list's reference and ours.
  EXPECT_EQ(3u, entry->AddRef());
  EXPECT_EQ(2u, entry->Release());
  list.reset();
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  EXPECT_EQ(kSorted[3], Read(*last.get()));
  EXPECT_EQ(2u, entry->AddRef());
  EXPECT_EQ(1u, entry->Release());
}

TEST_F(ListTest, NextFetchesInOrderAndReportsShortFetches) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> enumerator = EnumeratorOf(list.get());
  ASSERT_TRUE(enumerator);

  EXPECT_EQ(kSorted[0].first, NextName(enumerator.get()));
  VARIANT items[5];
  ULONG fetched = 99;
  ASSERT_EQ(S_OK, enumerator->Next(3, items, &fetched));
  ASSERT_EQ(3u, fetched);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(kSorted[i + 1], Read(items[i]));
    VariantClear(&items[i]);
  }
  EXPECT_EQ("", NextName(enumerator.get(), S_FALSE));

  // More than is left: everything left, and S_FALSE.
  EXPECT_EQ(S_OK, enumerator->Reset());
  fetched = 99;
  ASSERT_EQ(S_FALSE, enumerator->Next(5, items, &fetched));
  ASSERT_EQ(4u, fetched);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(kSorted[i], Read(items[i]));
    VariantClear(&items[i]);
  }

  // One item may be asked for without a fetched count.
  EXPECT_EQ(S_OK, enumerator->Reset());
  Variant one;
  EXPECT_EQ(S_OK, enumerator->Next(1, one.get(), nullptr));
  EXPECT_EQ(kSorted[0], Read(*one.get()));
}

TEST_F(ListTest, NextRefusesBadArguments) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> enumerator = EnumeratorOf(list.get());
  ASSERT_TRUE(enumerator);
  VARIANT items[2];
  ULONG fetched = 99;
  EXPECT_EQ(E_INVALIDARG, enumerator->Next(0, items, &fetched));
  EXPECT_EQ(0u, fetched);
  fetched = 99;
  EXPECT_EQ(E_POINTER, enumerator->Next(1, nullptr, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(E_POINTER, enumerator->Next(2, items, nullptr));
  // None of these moved the enumerator.
  EXPECT_EQ(kSorted[0].first, NextName(enumerator.get()));
}

TEST_F(ListTest, SkipAndReset) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> enumerator = EnumeratorOf(list.get());
  ASSERT_TRUE(enumerator);
  EXPECT_EQ(E_INVALIDARG, enumerator->Skip(0));
  EXPECT_EQ(S_OK, enumerator->Skip(2));
  EXPECT_EQ(kSorted[2].first, NextName(enumerator.get()));
  EXPECT_EQ(S_FALSE, enumerator->Skip(5));
  EXPECT_EQ("", NextName(enumerator.get(), S_FALSE));
  EXPECT_EQ(S_FALSE, enumerator->Skip(1));
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(S_OK, enumerator->Skip(4));
  EXPECT_EQ("", NextName(enumerator.get(), S_FALSE));
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(kSorted[0].first, NextName(enumerator.get()));
}

TEST_F(ListTest, ClonesGoOnFromTheSourcePositionIndependently) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> source = EnumeratorOf(list.get());
  ASSERT_TRUE(source);
  EXPECT_EQ(kSorted[0].first, NextName(source.get()));

  Ptr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, source->Clone(clone.put()));
  ASSERT_TRUE(clone);
  EXPECT_NE(source.get(), clone.get());
  EXPECT_EQ(kSorted[1].first, NextName(clone.get()));
  EXPECT_EQ(kSorted[2].first, NextName(clone.get()));
  EXPECT_EQ(kSorted[1].first, NextName(source.get()));

  // A clone of a clone starts where its source stands.
  Ptr<IEnumVARIANT> grandchild;
  ASSERT_EQ(S_OK, clone->Clone(grandchild.put()));
  EXPECT_EQ(kSorted[3].first, NextName(grandchild.get()));
  EXPECT_EQ(S_OK, grandchild->Reset());
  EXPECT_EQ(kSorted[0].first, NextName(grandchild.get()));
  EXPECT_EQ(kSorted[3].first, NextName(clone.get()));

  EXPECT_EQ(E_POINTER, source->Clone(nullptr));
}

TEST_F(ListTest, SnapshotsAndClonesOutliveListAndSource) {
  KESTRA_REQUIRE_TESTBED();
  Ptr<IList> list = ListFor("com-list.test");
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> source = EnumeratorOf(list.get());
  ASSERT_TRUE(source);
  Variant first_item;
  ASSERT_EQ(S_OK, list->get_Item(1, first_item.get()));

  list.reset();
  EXPECT_EQ(kSorted[0].first, NextName(source.get()));
  Ptr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, source->Clone(clone.put()));
  Ptr<IEnumVARIANT> grandchild;
  ASSERT_EQ(S_OK, clone->Clone(grandchild.put()));
  source.reset();
  clone.reset();
  // Only the grandchild is left; it keeps the snapshot's owner and its entries alive.
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  EXPECT_EQ(kSorted[1].first, NextName(grandchild.get()));
  EXPECT_EQ(S_OK, grandchild->Reset());
  Variant again;
  EXPECT_EQ(S_OK, grandchild->Next(1, again.get(), nullptr));
  // The snapshot holds the list's entry objects, not copies of them.
  ASSERT_EQ(VT_DISPATCH, V_VT(again.get()));
  EXPECT_EQ(V_DISPATCH(first_item.get()), V_DISPATCH(again.get()));
}

TEST_F(ListTest, EnumeratorAnswersOnlyItsOwnInterfaces) {
  Ptr<IList> list = Create<IList>(CLSID_List);
  ASSERT_TRUE(list);
  Ptr<IEnumVARIANT> enumerator = EnumeratorOf(list.get());
  ASSERT_TRUE(enumerator);
  Ptr<IUnknown> unknown;
  EXPECT_EQ(S_OK, enumerator->QueryInterface(IID_IUnknown, unknown.put_void()));
  EXPECT_EQ(static_cast<IUnknown*>(enumerator.get()), unknown.get());
  for (const IID* iid : {&IID_IDispatch, &IID_IList, &IID_IEnumUnknown, &IID_ISupportErrorInfo}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, enumerator->QueryInterface(*iid, &out));
    EXPECT_EQ(nullptr, out);
  }
}

TEST_F(ListTest, ListFromItsClassObjectIsEmpty) {
  Ptr<IList> list = Create<IList>(CLSID_List);
  ASSERT_TRUE(list);
  long count = -1;
  EXPECT_EQ(S_OK, list->get_Count(&count));
  EXPECT_EQ(0, count);
  Variant item;
  EXPECT_EQ(E_INVALIDARG, list->get_Item(1, item.get()));
  EXPECT_EQ(VT_UNKNOWN, V_VT(item.get()));

  Ptr<IEnumVARIANT> enumerator = EnumeratorOf(list.get());
  ASSERT_TRUE(enumerator);
  EXPECT_EQ("", NextName(enumerator.get(), S_FALSE));
  EXPECT_EQ(S_FALSE, enumerator->Skip(1));
  EXPECT_EQ(S_OK, enumerator->Reset());
  Ptr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, enumerator->Clone(clone.put()));
  EXPECT_EQ("", NextName(clone.get(), S_FALSE));
  // Two enumerators of one list are separate objects.
  Ptr<IEnumVARIANT> other = EnumeratorOf(list.get());
  EXPECT_NE(enumerator.get(), other.get());
}

}  // namespace
}  // namespace comtest
