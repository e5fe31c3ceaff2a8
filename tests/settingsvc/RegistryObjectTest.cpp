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

TEST_F(ObjectTest, OffersErrorInfoButNoConnectionPoints) {
    ComPtr<ISupportErrorInfo> info;
    ASSERT_EQ(S_OK, factory_.CreateInstance(nullptr, IID_ISupportErrorInfo, info.PutVoid()));
    EXPECT_EQ(S_OK, info->InterfaceSupportsErrorInfo(IID_IRegistry));
    EXPECT_EQ(S_FALSE, info->InterfaceSupportsErrorInfo(IID_IDispatch));

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, info.As(IID_IConnectionPointContainer, &container));
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              container->FindConnectionPoint(DIID__IRegistryEvents, &point));
    EXPECT_EQ(nullptr, point);

    ComPtr<IEnumConnectionPoints> points, clone;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
    ULONG fetched = 7;
    EXPECT_EQ(S_FALSE, points->Next(1, &point, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_FALSE, points->Skip(1));
    EXPECT_EQ(S_OK, points->Reset());
    ASSERT_EQ(S_OK, points->Clone(clone.Put()));
    EXPECT_EQ(S_FALSE, clone->Next(1, &point, nullptr));
    EXPECT_EQ(0u, clone.Detach()->Release());
    EXPECT_EQ(0u, points.Detach()->Release());
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

std::wstring Names(ITypeInfo* info, MEMBERID id) {
    BSTR names[4] = {};
    UINT count = 0;
    if (FAILED(info->GetNames(id, names, 4, &count))) return L"?";
    std::wstring joined;
    for (UINT i = 0; i < count; ++i) {
        joined += (i ? L"," : L"") + std::wstring(names[i]);
        SysFreeString(names[i]);
    }
    return joined;
}

TEST(KrellinSvcTypeLibrary, MatchesTheAutomationContract) {
    vx::ComApartment apartment;
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(vxtest::BesideTest(L"KrellinSvc.exe").c_str(), REGKIND_NONE,
                                  lib.Put()));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_KRELLINSVCLib, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid);
    lib->ReleaseTLibAttr(attr);
    vx::Bstr doc;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, nullptr, doc.Put(), nullptr, nullptr));
    EXPECT_STREQ(L"KrellinSvc 1.0 Type Library", doc.Text());

    ComPtr<ITypeInfo> dispInfo, info;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IRegistry, dispInfo.Put()));
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, dispInfo->GetRefTypeOfImplType(-1, &ref));
    ASSERT_EQ(S_OK, dispInfo->GetRefTypeInfo(ref, info.Put()));
    TYPEATTR* type = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
    EXPECT_EQ(TKIND_INTERFACE, type->typekind);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    const WORD funcCount = type->cFuncs;
    info->ReleaseTypeAttr(type);

    struct Member {
        MEMBERID id;
        INVOKEKIND kind;
        const wchar_t* names; // member and parameter names; null for a put
        const wchar_t* help;
    };
    const Member members[] = {
        {1, INVOKE_FUNC, L"GetAppString,bsName,bsValue", L"GetAppString from Registry"},
        {2, INVOKE_FUNC, L"SetAppString,bsName,bsValue", L"SetAppString into Registry"},
        {3, INVOKE_FUNC, L"GetAppDWORD,bsName,lValue", L"GetAppDWORD from Registry"},
        {4, INVOKE_FUNC, L"SetAppDWORD,bsName,lValue", L"SetAppDWORD into Registry"},
        {5, INVOKE_PROPERTYGET, L"TopLevelKey,pVal", L"property TopLevelKey"},
        {5, INVOKE_PROPERTYPUT, nullptr, L"property TopLevelKey"},
        {6, INVOKE_PROPERTYGET, L"TopFolder,pVal", L"property TopFolder"},
        {6, INVOKE_PROPERTYPUT, nullptr, L"property TopFolder"},
        {7, INVOKE_PROPERTYGET, L"Company,pVal", L"property Company"},
        {7, INVOKE_PROPERTYPUT, nullptr, L"property Company"},
        {8, INVOKE_PROPERTYGET, L"Product,pVal", L"property Product"},
        {8, INVOKE_PROPERTYPUT, nullptr, L"property Product"},
        {9, INVOKE_PROPERTYGET, L"Version,pVal", L"property Version"},
        {9, INVOKE_PROPERTYPUT, nullptr, L"property Version"},
        {10, INVOKE_PROPERTYGET, L"SubFolder,pVal", L"property SubFolder"},
        {10, INVOKE_PROPERTYPUT, nullptr, L"property SubFolder"},
        {11, INVOKE_FUNC, L"Reset", L"method Reset"},
        {12, INVOKE_FUNC, L"DisableMessenger", L"method DisableMessenger"},
        {13, INVOKE_FUNC, L"EnableMessenger", L"method EnableMessenger"},
    };
    ASSERT_EQ(sizeof members / sizeof members[0], funcCount);
    for (UINT i = 0; i < funcCount; ++i) {
        const Member& m = members[i];
        FUNCDESC* func = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
        EXPECT_EQ(m.id, func->memid) << i;
        EXPECT_EQ(m.kind, func->invkind) << i;
        EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), func->oVft) << i;
        if (m.kind == INVOKE_PROPERTYPUT) {
            EXPECT_EQ(1, func->cParams) << i;
        }
        info->ReleaseFuncDesc(func);
        if (m.names) {
            EXPECT_EQ(std::wstring(m.names), Names(info.Get(), m.id));
        }
        vx::Bstr help;
        ASSERT_EQ(S_OK, info->GetDocumentation(m.id, nullptr, help.Put(), nullptr, nullptr));
        EXPECT_STREQ(m.help, help.Text()) << i;
    }

    ComPtr<ITypeInfo> coclass, events;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(CLSID_Registry, coclass.Put()));
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(DIID__IRegistryEvents, events.Put()));
    ASSERT_EQ(S_OK, events->GetTypeAttr(&type));
    EXPECT_EQ(TKIND_DISPATCH, type->typekind);
    EXPECT_EQ(0, type->cFuncs);
    events->ReleaseTypeAttr(type);
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&type));
    EXPECT_EQ(2, type->cImplTypes);
    coclass->ReleaseTypeAttr(type);
    INT flags = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(1, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, flags);
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
