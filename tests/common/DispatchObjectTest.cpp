#include "common/DispatchObject.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

// What reaches IDispatch is checked by every client of the settings service
// (tests/engine, tests/e2e); a failed creation replacing a live reference is not.
TEST(DispatchObject, AFailedCreationLeavesNoReferenceAndCallsThenFailAtOnce) {
    ComApartment apartment;
    DispatchObject object;
    ASSERT_EQ(S_OK, object.Create(L"StdFont", CLSCTX_INPROC_SERVER));
    EXPECT_TRUE(FAILED(object.Create(L"Vornix.NoSuchObject.1", CLSCTX_ALL)));
    EXPECT_FALSE(object.HasReference());
    EXPECT_EQ(E_INVALIDARG, object.InvokeByName(L"Size", DISPATCH_PROPERTYGET, nullptr));
}

} // namespace
} // namespace vx
