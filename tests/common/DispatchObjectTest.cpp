#include "common/ComObject.h"
#include "common/DispatchObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vx {
namespace {

// Records what reaches IDispatch and writes a known value through every
// by-reference argument.
class FakeDispatch : public ComObject<FakeDispatch, IDispatch> {
  public:
    static constexpr bool kAggregatable = false;
    explicit FakeDispatch(IUnknown* outer = nullptr) : ComObject(outer) {}
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(FakeDispatch, IDispatch), {}};
        return table;
    }

    HRESULT idsResult = S_OK;
    HRESULT invokeResult = S_OK;
    std::wstring lookedUp;
    int invokes = 0;
    WORD flags = 0;
    UINT named = 0;
    bool resultGivenEmpty = false;
    std::vector<VARTYPE> types; // in rgvarg order, last argument first
    std::vector<Variant> values;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
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
        named = params->cNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        types.clear();
        values.clear();
        for (UINT i = 0; i < params->cArgs; ++i) {
            VARIANTARG& arg = params->rgvarg[i];
            types.push_back(V_VT(&arg));
            values.emplace_back();
            VariantCopy(values.back().Get(), &arg);
            WriteBack(arg);
        }
        resultGivenEmpty = result && V_VT(result) == VT_EMPTY;
        if (result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"answer");
        }
        return invokeResult;
    }

  private:
    static void WriteBack(VARIANTARG& arg) {
        switch (V_VT(&arg)) {
        case VT_BYREF | VT_I2: *V_I2REF(&arg) = -1234; break;
        case VT_BYREF | VT_I4: *V_I4REF(&arg) = 123456; break;
        case VT_BYREF | VT_BOOL: *V_BOOLREF(&arg) = VARIANT_TRUE; break;
        case VT_BYREF | VT_BSTR:
            SysFreeString(*V_BSTRREF(&arg));
            *V_BSTRREF(&arg) = SysAllocString(L"out");
            break;
        }
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
        fake_->values.clear();
        EXPECT_EQ(0u, fake_->Release());
    }

    ComApartment apartment_;
    FakeDispatch* fake_ = nullptr;
    DispatchObject object_;
};

TEST_F(DispatchObjectTest, PassesEachCodeAndSeesWriteBack) {
    auto value = [this] { return fake_->values[0].Get(); };
    SHORT shortOut = 0;
    LONG longOut = 0;
    VARIANT_BOOL boolOut = 0;
    BSTR textOut = SysAllocString(L"in"); // the fake frees it
    struct Row {
        const char* name;
        VARTYPE type;
        std::function<HRESULT()> call;
        std::function<bool()> check;
    } const rows[] = {
        {"i", VT_I2, [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "i", -5); },
         [&] { return V_I2(value()) == -5; }},
        {"I", VT_I4,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "I", 123456L); },
         [&] { return V_I4(value()) == 123456; }},
        {"s", VT_BSTR,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "s", L"text"); },
         [&] { return wcscmp(V_BSTR(value()), L"text") == 0; }},
        {"s null", VT_BSTR,
         [&] {
             return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "s",
                                         static_cast<const wchar_t*>(nullptr));
         },
         [&] { return SysStringLen(V_BSTR(value())) == 0; }},
        {"b", VT_BOOL, [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "b", 2); },
         [&] { return V_BOOL(value()) == VARIANT_TRUE; }},
        {"&i", VT_BYREF | VT_I2,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "&i", &shortOut); },
         [&] { return shortOut == -1234; }},
        {"&I", VT_BYREF | VT_I4,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "&I", &longOut); },
         [&] { return longOut == 123456; }},
        {"&b", VT_BYREF | VT_BOOL,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "&b", &boolOut); },
         [&] { return boolOut == VARIANT_TRUE; }},
        {"&s", VT_BYREF | VT_BSTR,
         [&] { return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, "&s", &textOut); },
         [&] { return wcscmp(textOut, L"out") == 0; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(S_OK, row.call());
        ASSERT_EQ(1u, fake_->types.size());
        EXPECT_EQ(row.type, fake_->types[0]);
        EXPECT_TRUE(row.check());
    }
    SysFreeString(textOut);

    // Arguments are stored last to first, as IDispatch wants them.
    ASSERT_EQ(S_OK, object_.InvokeByName(L"Three", DISPATCH_METHOD, nullptr, "i&Is", 1, &longOut,
                                         L"x"));
    const std::vector<VARTYPE> expected = {VT_BSTR, VT_BYREF | VT_I4, VT_I2};
    EXPECT_EQ(expected, fake_->types);
    EXPECT_EQ(L"Three", fake_->lookedUp);
}

TEST_F(DispatchObjectTest, CallKindsAndPropertyPut) {
    struct Row {
        const char* name;
        WORD kind;
        int arguments;
        HRESULT expected;
    } const rows[] = {
        {"method", DISPATCH_METHOD, 1, S_OK},
        {"get", DISPATCH_PROPERTYGET, 0, S_OK},
        {"put", DISPATCH_PROPERTYPUT, 1, S_OK},
        {"put without argument", DISPATCH_PROPERTYPUT, 0, E_INVALIDARG},
        {"put with two arguments", DISPATCH_PROPERTYPUT, 2, E_INVALIDARG},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int before = fake_->invokes;
        HRESULT hr = row.arguments == 0   ? object_.InvokeByName(L"P", row.kind, nullptr)
                     : row.arguments == 1 ? object_.InvokeByName(L"P", row.kind, nullptr, "I", 5L)
                                          : object_.InvokeByName(L"P", row.kind, nullptr, "II",
                                                                 5L, 6L);
        EXPECT_EQ(row.expected, hr);
        EXPECT_EQ(before + (FAILED(row.expected) ? 0 : 1), fake_->invokes);
        if (FAILED(row.expected)) continue;
        EXPECT_EQ(row.kind, fake_->flags);
        EXPECT_EQ(row.kind == DISPATCH_PROPERTYPUT ? 1u : 0u, fake_->named);
    }
}

TEST_F(DispatchObjectTest, RejectsBadTypeStringsBeforeInvoke) {
    LONG x = 0;
    auto call = [this](const char* types, auto... args) {
        return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, types, args...);
    };
    EXPECT_EQ(E_INVALIDARG, call("x"));
    EXPECT_EQ(E_INVALIDARG, call("&"));
    EXPECT_EQ(E_INVALIDARG, call("&x", &x));
    EXPECT_EQ(E_INVALIDARG, call("I&", 1L));
    EXPECT_EQ(E_INVALIDARG, call("&&I", &x));
    // The string copy already made is freed on the way out.
    EXPECT_EQ(E_INVALIDARG, call("s?", L"text"));
    EXPECT_EQ(0, fake_->invokes);
}

TEST_F(DispatchObjectTest, ResultsPassUnchangedAndTheAnswerIsFilledIn) {
    Variant result;
    ASSERT_EQ(S_OK, object_.InvokeByName(L"Get", DISPATCH_PROPERTYGET, result.Get()));
    EXPECT_TRUE(fake_->resultGivenEmpty);
    EXPECT_STREQ(L"answer", V_BSTR(result.Get()));
    // Without a caller's variant a local one takes (and frees) the answer.
    ASSERT_EQ(S_OK, object_.InvokeByName(L"Get", DISPATCH_PROPERTYGET, nullptr));
    EXPECT_TRUE(fake_->resultGivenEmpty);

    fake_->invokeResult = DISP_E_TYPEMISMATCH;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
    fake_->idsResult = DISP_E_UNKNOWNNAME;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, object_.InvokeByName(L"Missing", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(3, fake_->invokes);

    // A failed creation leaves no reference, and calls then fail at once.
    EXPECT_TRUE(FAILED(object_.Create(L"Vornix.NoSuchObject.1", CLSCTX_ALL)));
    EXPECT_FALSE(object_.HasReference());
    EXPECT_EQ(E_INVALIDARG, object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
}

} // namespace
} // namespace vx
