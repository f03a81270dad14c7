// The owners of COM resources: every reference they take is given back once,
// whichever way the owner lets go of it.
#include <windows.h>

#include <oaidl.h>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "platform/win32/owned.h"

namespace {

using platform::OwnedInterface;
using platform::OwnedVariant;
using platform::OwnedVariants;

// Counts the references taken and given back; never deletes itself.
class Counted final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++held); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--held); }
  int held = 0;
};

// A reference of the caller's own to `c`, for an owner to adopt.
IUnknown* Ref(Counted& c) {
  c.AddRef();
  return &c;
}

TEST(OwnedInterface, EveryWayOfLettingGoGivesTheReferenceBackOnce) {
  struct Case {
    const char* what;
    std::function<void(Counted& a, Counted& b)> run;
    int a_left;  // references to `a` still held when the case has run
    int b_left;
  };
  const Case cases[] = {
      {"adopting takes no reference; going away gives it back",
       [](Counted& a, Counted&) { platform::OwnedInterface<IUnknown> p(Ref(a)); }, 0, 0},
      {"put() gives back what was held before the new one is written",
       [](Counted& a, Counted& b) {
         platform::OwnedInterface<IUnknown> p(Ref(a));
         IUnknown** slot = p.put();
         EXPECT_EQ(a.held, 0);
         EXPECT_EQ(*slot, nullptr);
         *slot = Ref(b);
       },
       0, 0},
      {"Share takes a reference of its own",
       [](Counted& a, Counted&) {
         platform::OwnedInterface<IUnknown> p = platform::OwnedInterface<IUnknown>::Share(&a);
         EXPECT_EQ(a.held, 1);
       },
       0, 0},
      {"a move hands the one reference over",
       [](Counted& a, Counted& b) {
         platform::OwnedInterface<IUnknown> p(Ref(a));
         platform::OwnedInterface<IUnknown> q(Ref(b));
         q = std::move(p);
         EXPECT_EQ(b.held, 0);
         EXPECT_EQ(a.held, 1);
         EXPECT_FALSE(p);
         platform::OwnedInterface<IUnknown> r(std::move(q));
         EXPECT_EQ(r.get(), &a);
       },
       0, 0},
      {"release() gives up ownership without giving the reference back",
       [](Counted& a, Counted&) {
         platform::OwnedInterface<IUnknown> p(Ref(a));
         EXPECT_EQ(p.release(), &a);
         EXPECT_FALSE(p);
       },
       1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Counted a, b;
    c.run(a, b);
    EXPECT_EQ(a.held, c.a_left);
    EXPECT_EQ(b.held, c.b_left);
  }
}

void Hold(VARIANT& v, Counted& c) {
  V_VT(&v) = VT_UNKNOWN;
  V_UNKNOWN(&v) = Ref(c);
}

TEST(OwnedVariant, PutAndGoingAwayClearWhatIsHeld) {
  Counted a, b;
  {
    platform::OwnedVariant v;
    EXPECT_EQ(V_VT(v.get()), VT_EMPTY);
    Hold(*v.get(), a);
    VARIANT* slot = v.put();
    EXPECT_EQ(a.held, 0);
    EXPECT_EQ(V_VT(slot), VT_EMPTY);
    Hold(*slot, b);
  }
  EXPECT_EQ(b.held, 0);
}

TEST(OwnedVariants, ItemsStartEmptyAndAreClearedWhenTheArrayIsRemadeOrGoes) {
  Counted a, b, c;
  {
    platform::OwnedVariants items;
    ASSERT_TRUE(items.Allocate(2));
    EXPECT_EQ(V_VT(&items[0]), VT_EMPTY);
    EXPECT_EQ(V_VT(&items[1]), VT_EMPTY);
    Hold(items[0], a);
    Hold(items[1], b);
    ASSERT_TRUE(items.Allocate(1));
    EXPECT_EQ(a.held, 0);
    EXPECT_EQ(b.held, 0);
    Hold(items[0], c);
  }
  EXPECT_EQ(c.held, 0);

  // An empty array is still an array, which the enumerator of an empty list relies on.
  platform::OwnedVariants none;
  EXPECT_EQ(none.data(), nullptr);
  ASSERT_TRUE(none.Allocate(0));
  EXPECT_NE(none.data(), nullptr);
}

}  // namespace
