// A call the hosting access control refuses: every member still answers S_OK, the
// refusal text is the error reason, and the result is left exactly as the caller passed
// it. The refusal is made by real configuration in the prefix's registry (switched on
// with a value of the wrong type, which fails closed), saved and restored around each
// test.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "com_fixture.h"
#include "testbed.h"

namespace comtest {
namespace {

constexpr wchar_t kParentKey[] = L"SOFTWARE\\Halverd";
constexpr wchar_t kKey[] = L"SOFTWARE\\Halverd\\Tarnwick";
constexpr char kRefusal[] = "The type you specified mismatch with registry value type";

struct SavedValue {
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::optional<SavedValue> Save(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  SavedValue saved{type, std::vector<BYTE>(size)};
  if (RegQueryValueExW(key, name, nullptr, &type, saved.data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  saved.data.resize(size);
  return saved;
}

void Restore(HKEY key, const wchar_t* name, const std::optional<SavedValue>& saved) {
  if (saved) {
    RegSetValueExW(key, name, 0, saved->type, saved->data.data(),
                   static_cast<DWORD>(saved->data.size()));
  } else {
    RegDeleteValueW(key, name);
  }
}

void SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

class RefusalTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    if (HasFatalFailure()) return;
    std::string dir = testbed::ScratchDir("com-refusal");
    std::ofstream(dir + "\\Admin.ini") << "[Settings]\r\nInstalled=Brevan\r\nApplied=Brevan\r\n";
    std::ofstream(dir + "\\WebSite.ini") << "[Path]\r\n";

    DWORD disposition = 0;
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParentKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &parent, &disposition));
    created_parent_ = disposition == REG_CREATED_NEW_KEY;
    RegCloseKey(parent);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key_, &disposition));
    created_key_ = disposition == REG_CREATED_NEW_KEY;
    saved_path_ = Save(key_, L"InstallationPath");
    saved_switch_ = Save(key_, L"EnableGatehouse");
    SetText(key_, L"InstallationPath", Wide(dir));
    SetText(key_, L"EnableGatehouse", L"1");
  }

  void TearDown() override {
    if (key_) {
      Restore(key_, L"InstallationPath", saved_path_);
      Restore(key_, L"EnableGatehouse", saved_switch_);
      RegCloseKey(key_);
      if (created_key_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
      if (created_parent_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParentKey);
    }
    ComTest::TearDown();
  }

  static void ExpectRefused(ILookup* lookup) {
    short is_error = 0;
    EXPECT_EQ(S_OK, lookup->get_IsError(&is_error));
    EXPECT_EQ(1, is_error);
    Bstr reason;
    EXPECT_EQ(S_OK, lookup->get_ErrorReason(reason.put()));
    EXPECT_EQ(kRefusal, Narrow(reason.get()));
  }

 private:
  HKEY key_ = nullptr;
  bool created_parent_ = false;
  bool created_key_ = false;
  std::optional<SavedValue> saved_path_, saved_switch_;
};

TEST_F(RefusalTest, RefusedMembersLeaveTheirResultsUnwritten) {
  Ptr<ILookup> lookup = Create<ILookup>(CLSID_Lookup);
  ASSERT_TRUE(lookup);
  Bstr argument(L"mail.com-list.test");

  short count = 77;
  EXPECT_EQ(S_OK, lookup->get_MXRecords(&count));
  EXPECT_EQ(77, count);
  ExpectRefused(lookup.get());

  // Not even initialised.
  VARIANT list;
  V_VT(&list) = VT_I4;
  V_I4(&list) = 42;
  EXPECT_EQ(S_OK, lookup->GetMXRecord(&list));
  EXPECT_EQ(VT_I4, V_VT(&list));
  EXPECT_EQ(42, V_I4(&list));
  ExpectRefused(lookup.get());

  BSTR sentinel = reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(0x10));
  BSTR text = sentinel;
  EXPECT_EQ(S_OK, lookup->DNSLookup(argument.get(), &text));
  EXPECT_EQ(sentinel, text);
  EXPECT_EQ(S_OK, lookup->ReverseDNSLookup(argument.get(), &text));
  EXPECT_EQ(sentinel, text);
  short verified = 77;
  EXPECT_EQ(S_OK, lookup->VerifySMTP(argument.get(), &verified));
  EXPECT_EQ(77, verified);
  ExpectRefused(lookup.get());

  // The properties run no check and leave the error state alone.
  EXPECT_EQ(S_OK, lookup->put_DomainName(argument.get()));
  EXPECT_EQ(S_OK, lookup->put_Timeout(3));
  ExpectRefused(lookup.get());
}

TEST_F(RefusalTest, RefusedCallThroughDispatchRaisesNothing) {
  Ptr<ILookup> typed = Create<ILookup>(CLSID_Lookup);
  ASSERT_TRUE(typed);
  Ptr<IDispatch> lookup = typed.As<IDispatch>();
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Variant result;
  EXPECT_EQ(S_OK,
            lookup->Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &none, result.get(), nullptr, nullptr));
  EXPECT_EQ(VT_EMPTY, V_VT(result.get()));
  EXPECT_EQ(S_OK, lookup->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), nullptr,
                                 nullptr));
  ExpectRefused(typed.get());
}

}  // namespace
}  // namespace comtest
