// A call the hosting access control refuses: every member still answers S_OK, the
// refusal text is the error reason, and the result is left exactly as the caller passed
// it. The refusal is made by real configuration in the prefix's registry (switched on
// with a value of the wrong type, which fails closed), written for each test.
#include <memory>

#include "com_fixture.h"
#include "hosting_config.h"

namespace comtest {
namespace {

constexpr char kRefusal[] = "The type you specified mismatch with registry value type";

class RefusalTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    if (HasFatalFailure()) return;
    config_ = std::make_unique<testreg::HostingConfig>("com-refusal");
    config_->Write("[Path]\r\n");
    config_->registry.SetString(support::texts::kConfigKeyPath, "EnableGatehouse", "1");
  }

  void TearDown() override {
    config_.reset();
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
  std::unique_ptr<testreg::HostingConfig> config_;
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
