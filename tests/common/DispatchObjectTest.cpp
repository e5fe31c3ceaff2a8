#include "common/ComObject.h"
#include "common/DispatchObject.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

// Records what reaches IDispatch, each argument as "type:text " from the
// first to the last, and writes a known value through every reference.
struct FakeDispatch : ComObject<FakeDispatch, IDispatch> {
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(FakeDispatch, IDispatch), {}};
        return table;
    }

    HRESULT idsResult = S_OK, invokeResult = S_OK;
    std::wstring lookedUp, args;
    int invokes = 0;
    WORD flags = 0;
    bool namedPut = false, resultGivenEmpty = false;

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
        flags = kind;
        namedPut = params->cNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        args.clear();
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANTARG& arg = params->rgvarg[i];
            Variant text;
            VariantChangeType(text.Get(), &arg, 0, VT_BSTR);
            args += std::to_wstring(V_VT(&arg)) + L":" +
                    (V_VT(text.Get()) == VT_BSTR && V_BSTR(text.Get()) ? V_BSTR(text.Get()) : L"") +
                    L" ";
            if (V_VT(&arg) == (VT_BYREF | VT_I4)) *V_I4REF(&arg) = 123456;
            if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
                SysFreeString(*V_BSTRREF(&arg));
                *V_BSTRREF(&arg) = SysAllocString(L"out");
            }
        }
        resultGivenEmpty = result && V_VT(result) == VT_EMPTY;
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

TEST_F(DispatchObjectTest, PassesEachCodeLastToFirstAndSeesWriteBack) {
    LONG number = 0;
    BSTR text = SysAllocString(L"in"); // the fake frees it
    ASSERT_EQ(S_OK, Call("iIsbs&I&s", -5, 123456L, L"text", 2, static_cast<const wchar_t*>(nullptr),
                         &number, &text));
    // As IDispatch has them, last argument first; a null text travels empty.
    EXPECT_EQ(L"2:-5 3:123456 8:text 11:-1 8: 16387:0 16392:in ", fake_->args);
    EXPECT_EQ(123456, number);
    EXPECT_STREQ(L"out", text);
    SysFreeString(text);
    EXPECT_EQ(L"M", fake_->lookedUp);
}

TEST_F(DispatchObjectTest, KindsResultsAndFailuresPassUnchanged) {
    for (WORD kind : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT}) {
        Variant result;
        ASSERT_EQ(S_OK, object_.InvokeByName(L"P", kind, result.Get(), "I", 5L));
        EXPECT_EQ(kind, fake_->flags);
        EXPECT_EQ(kind == DISPATCH_PROPERTYPUT, fake_->namedPut) << "a put names its argument";
        EXPECT_TRUE(fake_->resultGivenEmpty) << "the answer's variant starts empty";
        EXPECT_STREQ(L"answer", V_BSTR(result.Get()));
    }
    // Without a caller's variant a local one takes (and frees) the answer.
    ASSERT_EQ(S_OK, Call(""));
    EXPECT_TRUE(fake_->resultGivenEmpty);
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
