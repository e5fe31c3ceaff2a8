#include "common/ComObject.h"
#include "common/DispatchObject.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

// Records what reaches IDispatch as "kind[ named][ empty]:" (a put's named
// argument, an empty answer variant) and " type:text" for each argument from
// the first to the last, and writes a known value through every reference.
struct FakeDispatch : ComObject<FakeDispatch, IDispatch> {
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(FakeDispatch, IDispatch), {}};
        return table;
    }

    HRESULT idsResult = S_OK, invokeResult = S_OK;
    std::wstring lookedUp, call;
    int invokes = 0;

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        lookedUp = names[0];
        ids[0] = 7;
        return idsResult;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD kind, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        ++invokes;
        const bool named = params->cNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        call = std::to_wstring(kind) + (named ? L" named" : L"") +
               (result && V_VT(result) == VT_EMPTY ? L" empty:" : L":");
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANTARG& arg = params->rgvarg[i];
            Variant text;
            VariantChangeType(text.Get(), &arg, 0, VT_BSTR);
            call += L" " + std::to_wstring(V_VT(&arg)) + L":" +
                    (V_VT(text.Get()) == VT_BSTR && V_BSTR(text.Get()) ? V_BSTR(text.Get()) : L"");
            if (V_VT(&arg) == (VT_BYREF | VT_I4)) *V_I4REF(&arg) = 123456;
            if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
                SysFreeString(*V_BSTRREF(&arg));
                *V_BSTRREF(&arg) = SysAllocString(L"out");
            }
        }
        if (result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"answer");
        }
        return invokeResult;
    }
};

class DispatchObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_ = new FakeDispatch;
        fake_->AddRef();
        object_.Attach(fake_);
    }
    void TearDown() override {
        object_.Attach(nullptr);
        EXPECT_EQ(0u, fake_->Release());
    }
    template <typename... Args> HRESULT Call(const char* types, Args... args) {
        return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, types, args...);
    }

    ComApartment apartment_;
    FakeDispatch* fake_ = nullptr;
    DispatchObject object_;
};

TEST_F(DispatchObjectTest, PassesCodesKindsResultsAndFailuresUnchanged) {
    LONG number = 0;
    BSTR text = SysAllocString(L"in"); // the fake frees it
    ASSERT_EQ(S_OK, Call("iIsbs&I&s", -5, 123456L, L"text", 2, static_cast<const wchar_t*>(nullptr),
                         &number, &text));
    // Last argument first as IDispatch has them; a null text travels empty;
    // without a caller's variant a local one takes (and frees) the answer.
    EXPECT_EQ(L"1 empty: 2:-5 3:123456 8:text 11:-1 8: 16387:0 16392:in", fake_->call);
    EXPECT_EQ(123456, number);
    EXPECT_STREQ(L"out", text);
    SysFreeString(text);
    EXPECT_EQ(L"M", fake_->lookedUp);
    for (WORD kind : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT}) {
        Variant result;
        ASSERT_EQ(S_OK, object_.InvokeByName(L"P", kind, result.Get(), "I", 5L));
        EXPECT_EQ(std::to_wstring(kind) + (kind == DISPATCH_PROPERTYPUT ? L" named" : L"") +
                      L" empty: 3:5",
                  fake_->call);
        EXPECT_STREQ(L"answer", V_BSTR(result.Get()));
    }
    fake_->invokeResult = DISP_E_TYPEMISMATCH;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(""));
    fake_->idsResult = DISP_E_UNKNOWNNAME;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, object_.InvokeByName(L"Missing", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(5, fake_->invokes);
    // A failed creation leaves no reference, and calls then fail at once.
    EXPECT_TRUE(FAILED(object_.Create(L"Vornix.NoSuchObject.1", CLSCTX_ALL)));
    EXPECT_FALSE(object_.HasReference());
    EXPECT_EQ(E_INVALIDARG, Call(""));
}

} // namespace
} // namespace vx
