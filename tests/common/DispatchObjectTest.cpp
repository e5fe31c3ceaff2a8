#include "common/ComObject.h"
#include "common/DispatchObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vx {
namespace {

constexpr DISPID kMemberId = 7;
constexpr wchar_t kFakeProgId[] = L"Vornix.FakeDispatch.1";
constexpr wchar_t kFakeClsidText[] = L"{6B1C3E52-3A0D-4C57-9F7A-2E61D80B94C3}";
const CLSID kFakeClsid = {
    0x6b1c3e52, 0x3a0d, 0x4c57, {0x9f, 0x7a, 0x2e, 0x61, 0xd8, 0x0b, 0x94, 0xc3}};

// Records what reaches IDispatch and writes a known value through every
// by-reference argument.
class FakeDispatch : public ComObject<FakeDispatch, IDispatch> {
  public:
    static constexpr bool kAggregatable = false;
    explicit FakeDispatch(IUnknown* outer = nullptr) : ComObject(outer) {}
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
        return CreateComObject<FakeDispatch>(outer, riid, ppv);
    }
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(FakeDispatch, IDispatch), {}};
        return table;
    }

    struct Call {
        DISPID id = DISPID_UNKNOWN;
        LCID lcid = 0;
        bool iidNull = false;
        WORD flags = 0;
        UINT cArgs = 0;
        UINT cNamed = 0;
        DISPID named0 = DISPID_UNKNOWN;
        bool resultGivenEmpty = false;
        std::vector<VARTYPE> types; // in rgvarg order, last argument first
        std::vector<Variant> values;
    };

    HRESULT idsResult = S_OK;
    HRESULT invokeResult = S_OK;
    std::wstring lookedUp;
    UINT namesCount = 0;
    LCID idsLcid = 0;
    bool idsIidNull = false;
    int invokes = 0;
    Call last;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override {
        lookedUp = names[0];
        namesCount = count;
        idsLcid = lcid;
        idsIidNull = IsEqualIID(iid, IID_NULL);
        if (FAILED(idsResult)) return idsResult;
        ids[0] = kMemberId;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO*, UINT*) override {
        ++invokes;
        last = Call();
        last.id = id;
        last.iidNull = IsEqualIID(iid, IID_NULL);
        last.lcid = lcid;
        last.flags = flags;
        last.cArgs = params->cArgs;
        last.cNamed = params->cNamedArgs;
        if (params->cNamedArgs) last.named0 = params->rgdispidNamedArgs[0];
        for (UINT i = 0; i < params->cArgs; ++i) {
            VARIANTARG& arg = params->rgvarg[i];
            last.types.push_back(V_VT(&arg));
            last.values.emplace_back();
            VariantCopy(last.values.back().Get(), &arg);
            if (V_VT(&arg) & VT_BYREF) WriteBack(arg);
        }
        last.resultGivenEmpty = result && V_VT(result) == VT_EMPTY;
        if (result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"answer");
        }
        return invokeResult;
    }

    // Drops the copies (and the references they hold) before a death check.
    void Forget() { last = Call(); }

  private:
    void WriteBack(VARIANTARG& arg) {
        switch (V_VT(&arg) & VT_TYPEMASK) {
        case VT_I2:
            *V_I2REF(&arg) = -1234;
            break;
        case VT_I4:
            *V_I4REF(&arg) = 123456;
            break;
        case VT_R4:
            *V_R4REF(&arg) = 2.5f;
            break;
        case VT_R8:
            *V_R8REF(&arg) = 6.25;
            break;
        case VT_CY:
            V_CYREF(&arg)->int64 = 777;
            break;
        case VT_DATE:
            *V_DATEREF(&arg) = 3.5;
            break;
        case VT_ERROR:
            *V_ERRORREF(&arg) = E_FAIL;
            break;
        case VT_BOOL:
            *V_BOOLREF(&arg) = VARIANT_TRUE;
            break;
        case VT_BSTR:
            SysFreeString(*V_BSTRREF(&arg));
            *V_BSTRREF(&arg) = SysAllocString(L"out");
            break;
        case VT_DISPATCH:
            if (*V_DISPATCHREF(&arg)) (*V_DISPATCHREF(&arg))->Release();
            AddRef();
            *V_DISPATCHREF(&arg) = this;
            break;
        case VT_UNKNOWN:
            if (*V_UNKNOWNREF(&arg)) (*V_UNKNOWNREF(&arg))->Release();
            AddRef();
            *V_UNKNOWNREF(&arg) = this;
            break;
        case VT_VARIANT:
            VariantClear(V_VARIANTREF(&arg));
            V_VT(V_VARIANTREF(&arg)) = VT_I4;
            V_I4(V_VARIANTREF(&arg)) = 31;
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
        fake_->Forget();
        EXPECT_EQ(0u, fake_->Release());
    }

    ComApartment apartment_;
    FakeDispatch* fake_ = nullptr;
    DispatchObject object_;
};

TEST_F(DispatchObjectTest, PassesEachCodeByValue) {
    Variant source;
    V_VT(source.Get()) = VT_BSTR;
    V_BSTR(source.Get()) = SysAllocString(L"inside");
    CY cy;
    cy.int64 = 12345;
    IUnknown* unk = fake_;
    struct Row {
        const char* name;
        VARTYPE type;
        std::function<HRESULT()> call;
        std::function<bool(const VARIANT&)> check;
    };
    auto invoke = [this](const char* types, auto value) {
        return object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr, types, value);
    };
    const Row rows[] = {
        {"i", VT_I2, [&] { return invoke("i", -5); }, [](auto& v) { return V_I2(&v) == -5; }},
        {"I", VT_I4, [&] { return invoke("I", 123456L); },
         [](auto& v) { return V_I4(&v) == 123456; }},
        {"r", VT_R4, [&] { return invoke("r", 1.5); }, [](auto& v) { return V_R4(&v) == 1.5f; }},
        {"R", VT_R8, [&] { return invoke("R", 2.25); }, [](auto& v) { return V_R8(&v) == 2.25; }},
        {"c", VT_CY, [&] { return invoke("c", cy); },
         [](auto& v) { return V_CY(&v).int64 == 12345; }},
        {"d", VT_DATE, [&] { return invoke("d", DATE(36526.5)); },
         [](auto& v) { return V_DATE(&v) == 36526.5; }},
        {"s", VT_BSTR, [&] { return invoke("s", L"text"); },
         [](auto& v) { return SysStringLen(V_BSTR(&v)) == 4 && wcscmp(V_BSTR(&v), L"text") == 0; }},
        {"s null", VT_BSTR, [&] { return invoke("s", static_cast<const wchar_t*>(nullptr)); },
         [](auto& v) { return SysStringLen(V_BSTR(&v)) == 0; }},
        {"D", VT_DISPATCH, [&] { return invoke("D", static_cast<IDispatch*>(fake_)); },
         [&](auto& v) { return V_DISPATCH(&v) == fake_; }},
        {"e", VT_ERROR, [&] { return invoke("e", E_ABORT); },
         [](auto& v) { return V_ERROR(&v) == E_ABORT; }},
        {"b true", VT_BOOL, [&] { return invoke("b", 2); },
         [](auto& v) { return V_BOOL(&v) == VARIANT_TRUE; }},
        {"b false", VT_BOOL, [&] { return invoke("b", 0); },
         [](auto& v) { return V_BOOL(&v) == VARIANT_FALSE; }},
        {"v", VT_BSTR, [&] { return invoke("v", static_cast<const VARIANT*>(source.Get())); },
         [&](auto& v) { return wcscmp(V_BSTR(&v), L"inside") == 0; }},
        {"U", VT_UNKNOWN, [&] { return invoke("U", unk); },
         [&](auto& v) { return V_UNKNOWN(&v) == unk; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(S_OK, row.call());
        ASSERT_EQ(1u, fake_->last.cArgs);
        EXPECT_EQ(row.type, fake_->last.types[0]);
        EXPECT_TRUE(row.check(*fake_->last.values[0].Get()));
        fake_->Forget();
    }
    // The caller's variant is copied, not handed over.
    EXPECT_EQ(VT_BSTR, V_VT(source.Get()));
    EXPECT_STREQ(L"inside", V_BSTR(source.Get()));
}

TEST_F(DispatchObjectTest, PassesEachCodeByReferenceAndSeesWriteBack) {
    struct Row {
        const char* types;
        VARTYPE type;
        std::function<bool(DispatchObject&, IDispatch*)> callAndCheck;
    };
    auto call = [](DispatchObject& o, const char* types, void* p) {
        return o.InvokeByName(L"M", DISPATCH_METHOD, nullptr, types, p) == S_OK;
    };
    const Row rows[] = {
        {"&i", VT_I2,
         [&](auto& o, auto) {
             SHORT x = 0;
             return call(o, "&i", &x) && x == -1234;
         }},
        {"&I", VT_I4,
         [&](auto& o, auto) {
             LONG x = 0;
             return call(o, "&I", &x) && x == 123456;
         }},
        {"&r", VT_R4,
         [&](auto& o, auto) {
             FLOAT x = 0;
             return call(o, "&r", &x) && x == 2.5f;
         }},
        {"&R", VT_R8,
         [&](auto& o, auto) {
             double x = 0;
             return call(o, "&R", &x) && x == 6.25;
         }},
        {"&c", VT_CY,
         [&](auto& o, auto) {
             CY x{};
             return call(o, "&c", &x) && x.int64 == 777;
         }},
        {"&d", VT_DATE,
         [&](auto& o, auto) {
             DATE x = 0;
             return call(o, "&d", &x) && x == 3.5;
         }},
        {"&e", VT_ERROR,
         [&](auto& o, auto) {
             SCODE x = 0;
             return call(o, "&e", &x) && x == E_FAIL;
         }},
        {"&b", VT_BOOL,
         [&](auto& o, auto) {
             VARIANT_BOOL x = 0;
             return call(o, "&b", &x) && x == VARIANT_TRUE;
         }},
        {"&s", VT_BSTR,
         [&](auto& o, auto) {
             BSTR raw = SysAllocString(L"in"); // the fake frees it
             bool ok = call(o, "&s", &raw);
             Bstr x = Bstr::Attach(raw);
             return ok && wcscmp(x.Text(), L"out") == 0;
         }},
        {"&D", VT_DISPATCH,
         [&](auto& o, IDispatch* self) {
             ComPtr<IDispatch> x;
             return call(o, "&D", x.Put()) && x.Get() == self;
         }},
        {"&U", VT_UNKNOWN,
         [&](auto& o, IDispatch* self) {
             ComPtr<IUnknown> x;
             return call(o, "&U", x.Put()) && x.Get() == self;
         }},
        {"&v", VT_VARIANT,
         [&](auto& o, auto) {
             Variant x;
             return call(o, "&v", x.Get()) && V_VT(x.Get()) == VT_I4 && V_I4(x.Get()) == 31;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.types);
        EXPECT_TRUE(row.callAndCheck(object_, fake_));
        ASSERT_EQ(1u, fake_->last.cArgs);
        EXPECT_EQ(VT_BYREF | row.type, fake_->last.types[0]);
        fake_->Forget();
    }
}

TEST_F(DispatchObjectTest, StoresArgumentsLastToFirst) {
    LONG out = 0;
    ASSERT_EQ(S_OK,
              object_.InvokeByName(L"Three", DISPATCH_METHOD, nullptr, "i&Is", 1, &out, L"x"));
    const std::vector<VARTYPE> expected = {VT_BSTR, VT_BYREF | VT_I4, VT_I2};
    EXPECT_EQ(expected, fake_->last.types);
    EXPECT_EQ(L"Three", fake_->lookedUp);
    EXPECT_EQ(1u, fake_->namesCount);
    EXPECT_TRUE(fake_->idsIidNull);
    EXPECT_EQ(LCID(0x400), fake_->idsLcid);
    EXPECT_EQ(kMemberId, fake_->last.id);
    EXPECT_TRUE(fake_->last.iidNull);
    EXPECT_EQ(LCID(0x400), fake_->last.lcid);
}

TEST_F(DispatchObjectTest, CallKindsAndPropertyPut) {
    struct Row {
        const char* name;
        WORD kind;
        std::function<HRESULT(WORD)> call;
        HRESULT expected;
        UINT cNamed;
    };
    auto none = [this](WORD k) { return object_.InvokeByName(L"P", k, nullptr); };
    auto one = [this](WORD k) { return object_.InvokeByName(L"P", k, nullptr, "I", 5L); };
    auto two = [this](WORD k) { return object_.InvokeByName(L"P", k, nullptr, "II", 5L, 6L); };
    const Row rows[] = {
        {"method", DISPATCH_METHOD, one, S_OK, 0},
        {"get", DISPATCH_PROPERTYGET, none, S_OK, 0},
        {"put", DISPATCH_PROPERTYPUT, one, S_OK, 1},
        {"put without argument", DISPATCH_PROPERTYPUT, none, E_INVALIDARG, 0},
        {"put with two arguments", DISPATCH_PROPERTYPUT, two, E_INVALIDARG, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int before = fake_->invokes;
        EXPECT_EQ(row.expected, row.call(row.kind));
        if (FAILED(row.expected)) {
            EXPECT_EQ(before, fake_->invokes);
            continue;
        }
        EXPECT_EQ(row.kind, fake_->last.flags);
        EXPECT_EQ(row.cNamed, fake_->last.cNamed);
        EXPECT_EQ(row.cNamed ? DISPID_PROPERTYPUT : DISPID_UNKNOWN, fake_->last.named0);
        fake_->Forget();
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
    EXPECT_EQ(E_INVALIDARG, call("v", static_cast<const VARIANT*>(nullptr)));
    EXPECT_EQ(0, fake_->invokes);
}

TEST_F(DispatchObjectTest, ReturnsPlatformResultsUnchanged) {
    fake_->invokeResult = DISP_E_TYPEMISMATCH;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
    fake_->idsResult = DISP_E_UNKNOWNNAME;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, object_.InvokeByName(L"Missing", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(L"Missing", fake_->lookedUp);
    EXPECT_EQ(1, fake_->invokes);
}

TEST_F(DispatchObjectTest, ResultVariantIsInitialisedAndFilled) {
    Variant result;
    ASSERT_EQ(S_OK, object_.InvokeByName(L"Get", DISPATCH_PROPERTYGET, result.Get()));
    EXPECT_TRUE(fake_->last.resultGivenEmpty);
    ASSERT_EQ(VT_BSTR, V_VT(result.Get()));
    EXPECT_STREQ(L"answer", V_BSTR(result.Get()));
    // Without a caller's variant a local one takes (and frees) the answer.
    ASSERT_EQ(S_OK, object_.InvokeByName(L"Get", DISPATCH_PROPERTYGET, nullptr));
    EXPECT_TRUE(fake_->last.resultGivenEmpty);
}

TEST(DispatchObjectEmptyTest, FailsWithoutReference) {
    DispatchObject empty;
    LONG x = 0;
    EXPECT_EQ(E_INVALIDARG, empty.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(E_INVALIDARG, empty.InvokeByName(L"P", DISPATCH_PROPERTYPUT, nullptr, "&I", &x));
}

TEST_F(DispatchObjectTest, CreateWithUnknownProgIdLeavesNoReference) {
    EXPECT_TRUE(FAILED(object_.Create(L"Vornix.NoSuchObject.1", CLSCTX_ALL)));
    EXPECT_FALSE(object_.HasReference());
    EXPECT_EQ(E_INVALIDARG, object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
}

TEST_F(DispatchObjectTest, CreateFromProgIdHoldsTheDispatchOfANewObject) {
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Vornix.FakeDispatch.1\\CLSID", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key.Get(), nullptr, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(kFakeClsidText), sizeof kFakeClsidText));
    static ClassFactory<FakeDispatch> factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(kFakeClsid, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));

    HRESULT hr = object_.Create(kFakeProgId, CLSCTX_INPROC_SERVER);
    EXPECT_EQ(S_OK, hr);
    ASSERT_TRUE(object_.HasReference());
    EXPECT_NE(static_cast<IDispatch*>(fake_), object_.Dispatch());
    EXPECT_EQ(S_OK, object_.InvokeByName(L"M", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(0, fake_->invokes);

    CoRevokeClassObject(cookie);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kFakeProgId);
}

} // namespace
} // namespace vx
