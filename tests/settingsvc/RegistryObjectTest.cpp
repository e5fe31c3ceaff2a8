// The Registry object in process: its COM surface and the type library it
// is served from, and the host's command-line switch scan.
#include "KrellinSvc.h"
#include "Registry.h"
#include "ServiceModule.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <string>
#include <vector>

using vx::ComPtr;

namespace {

class ObjectTest : public ::testing::Test {
  protected:
    vx::ComApartment apartment_;
    vx::ClassFactory<vx::Registry> factory_;
};

TEST_F(ObjectTest, AnswersItsInterfacesAndDiesOnLastRelease) {
    ComPtr<IUnknown> unk;
    ASSERT_EQ(S_OK, factory_.CreateInstance(nullptr, IID_IUnknown, unk.PutVoid()));
    for (const IID* iid :
         {&IID_IRegistry, &IID_IDispatch, &IID_ISupportErrorInfo, &IID_IConnectionPointContainer}) {
        ComPtr<IUnknown> itf, identity;
        EXPECT_EQ(S_OK, unk->QueryInterface(*iid, itf.PutVoid()));
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, identity.PutVoid()));
        EXPECT_EQ(unk.Get(), identity.Get());
    }
    ComPtr<IUnknown> reg, disp, none;
    unk->QueryInterface(IID_IRegistry, reg.PutVoid());
    unk->QueryInterface(IID_IDispatch, disp.PutVoid());
    EXPECT_EQ(reg.Get(), disp.Get());
    for (const IID* iid : {&IID_IPersist, &IID_IProvideClassInfo, &DIID__IRegistryEvents})
        EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(*iid, none.PutVoid()));
    reg.Reset();
    disp.Reset();
    EXPECT_EQ(0u, unk.Detach()->Release());
}

// An outer object that counts what the inner one delegates to it.
class Outer : public IUnknown {
  public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(ObjectTest, AggregatesOnlyThroughIUnknown) {
    Outer outer;
    ComPtr<IUnknown> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory_.CreateInstance(&outer, IID_IRegistry, refused.PutVoid()));
    EXPECT_FALSE(refused);

    ComPtr<IUnknown> inner;
    ASSERT_EQ(S_OK, factory_.CreateInstance(&outer, IID_IUnknown, inner.PutVoid()));
    IRegistry* reg = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IRegistry, reinterpret_cast<void**>(&reg)));
    void* other = nullptr;
    EXPECT_EQ(E_NOINTERFACE, reg->QueryInterface(IID_ISupportErrorInfo, &other));
    EXPECT_EQ(1, outer.queries) << "an aggregated object's interfaces delegate to the outer";
    const ULONG before = outer.refs;
    reg->AddRef();
    EXPECT_EQ(before + 1, outer.refs);
    reg->Release();
    reg->Release(); // the reference the query handed out, also the outer's
    EXPECT_EQ(0u, inner.Detach()->Release());
}

TEST_F(ObjectTest, RefusesNullOutPointers) {
    ComPtr<IRegistry> reg;
    ASSERT_EQ(S_OK, factory_.CreateInstance(nullptr, IID_IRegistry, reg.PutVoid()));
    vx::Bstr name(L"x");
    EXPECT_EQ(E_POINTER, reg->GetAppString(name.Get(), nullptr));
    EXPECT_EQ(E_POINTER, reg->GetAppDWORD(name.Get(), nullptr));
    EXPECT_EQ(E_POINTER, reg->get_TopLevelKey(nullptr));
    EXPECT_EQ(E_POINTER, reg->get_Company(nullptr));
}

// What late-bound and early-bound clients rely on: the library's identity
// (widl once wrote a wrong byte into it) and every member's DISPID and
// place in the table, which must never move.
TEST(KrellinSvcTypeLibrary, KeepsItsIdentityAndEveryMembersPlace) {
    vx::ComApartment apartment;
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(vxtest::BesideTest(L"KrellinSvc.exe").c_str(), REGKIND_NONE,
                                  lib.Put()));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_KRELLINSVCLib, attr->guid));
    lib->ReleaseTLibAttr(attr);

    ComPtr<ITypeInfo> dispInfo, info;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IRegistry, dispInfo.Put()));
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, dispInfo->GetRefTypeOfImplType(-1, &ref));
    ASSERT_EQ(S_OK, dispInfo->GetRefTypeInfo(ref, info.Put()));
    const wchar_t* const members[] = {L"GetAppString", L"SetAppString", L"GetAppDWORD",
                                      L"SetAppDWORD",  L"TopLevelKey",  L"TopFolder",
                                      L"Company",      L"Product",      L"Version",
                                      L"SubFolder",    L"Reset",        L"DisableMessenger",
                                      L"EnableMessenger"};
    UINT slot = 7; // after IUnknown and IDispatch
    for (UINT i = 0; i < 19; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
        BSTR name = nullptr;
        UINT count = 0;
        info->GetNames(func->memid, &name, 1, &count);
        EXPECT_STREQ(members[func->memid - 1], name) << i;
        EXPECT_EQ(static_cast<SHORT>(slot++ * sizeof(void*)), func->oVft) << i;
        SysFreeString(name);
        info->ReleaseFuncDesc(func);
    }
}

TEST(CommandSwitch, OnlyAWholeLastWordCounts) {
    using vx::CommandSwitch;
    struct Case {
        const char* line;
        CommandSwitch expected;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\KrellinSvc.exe\" /RegServer", CommandSwitch::RegServer},
        {"KrellinSvc.exe -regserver", CommandSwitch::RegServer},
        {"KrellinSvc.exe /REGSERVER", CommandSwitch::RegServer},
        {"KrellinSvc.exe -Service", CommandSwitch::Service},
        {"KrellinSvc.exe /unregserver", CommandSwitch::UnregServer},
        {"KrellinSvc.exe -UnRegServer", CommandSwitch::UnregServer},
        {"KrellinSvc.exe -x /Service", CommandSwitch::Service},
        {"KrellinSvc.exe --Service", CommandSwitch::Service},
        {"C:\\a-Service", CommandSwitch::Service},
        {"KrellinSvc.exe -RegServer more", CommandSwitch::None},
        {"KrellinSvc.exe /RegServer ", CommandSwitch::None},
        {"KrellinSvc.exe -Service -Embedding", CommandSwitch::None},
        {"KrellinSvc.exe -Embedding", CommandSwitch::None},
        {"KrellinSvc.exe RegServer", CommandSwitch::None},
        {"KrellinSvc.exe -", CommandSwitch::None},
        {"", CommandSwitch::None},
        {nullptr, CommandSwitch::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, vx::FindCommandSwitch(c.line)) << (c.line ? c.line : "(null)");
}

} // namespace
