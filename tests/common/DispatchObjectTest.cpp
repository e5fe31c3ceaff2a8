#include "common/ComObject.h"
#include "common/DispatchObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

// Records what reaches IDispatch and writes a known value through every
// by-reference argument.
struct FakeDispatch : ComObject<FakeDispatch, IDispatch> {
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(FakeDispatch, IDispatch), {}};
        return table;
    }

    HRESULT idsResult = S_OK, invokeResult = S_OK;
    std::wstring lookedUp;
    int invokes = 0;
    WORD flags = 0;
    bool namedPut = false, resultGivenEmpty = false;
    std::vector<Variant> args;

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
        for (UINT i = 0; i < params->cArgs; ++i) {
            VARIANTARG& arg = params->rgvarg[i];
            args.emplace_back();
            VariantCopy(args.back().Get(), &arg);
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
        fake_->args.clear();
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
    ASSERT_EQ(7u, fake_->args.size());
    // As IDispatch has them: last argument first.
    std::vector<VARTYPE> types;
    for (auto it = fake_->args.rbegin(); it != fake_->args.rend(); ++it)
        types.push_back(V_VT(it->Get()));
    EXPECT_EQ((std::vector<VARTYPE>{VT_I2, VT_I4, VT_BSTR, VT_BOOL, VT_BSTR, VT_BYREF | VT_I4,
                                    VT_BYREF | VT_BSTR}),
              types);
    EXPECT_EQ(-5, V_I2(fake_->args[6].Get()));
    EXPECT_EQ(123456, V_I4(fake_->args[5].Get()));
    EXPECT_STREQ(L"text", V_BSTR(fake_->args[4].Get()));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(fake_->args[3].Get()));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(fake_->args[2].Get()))) << "a null text travels empty";
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
