// The shell's window collection, the settings service's Registry object and
// the favourites reader, as the engine calls them by name.
#pragma once

#include "InProcessClass.h"

#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "tests/browserdouble/ShellWindowCollection.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vx::fakes {

using browserdouble::Call;
using browserdouble::Member;

struct RegistryStore {
    std::map<std::wstring, LONG> dwords;
    std::map<std::wstring, std::wstring> strings, lists;
    std::vector<std::wstring> calls;          // "Member argument ..." for every call
    std::map<std::wstring, HRESULT> failures; // by member name
};

class FakeRegistry : public browserdouble::NamedDispatch<FakeRegistry, IDispatch> {
  public:
    static const Member<FakeRegistry> kMembers[];
    explicit FakeRegistry(RegistryStore* store) : store(*store) {}

    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        std::wstring line = NameOf(id) ? NameOf(id) : L"?";
        Call args(flags, params, nullptr);
        for (UINT i = 0; params && i < params->cArgs; ++i)
            line += L" " + args.Arg<std::wstring>(i);
        store.calls.push_back(line);
        failures = store.failures;
        return NamedDispatch::Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }
    template <typename T> static HRESULT Store(std::map<std::wstring, T>& values, Call& call) {
        values[call.Arg<std::wstring>(0)] = call.Arg<T>(1);
        return S_OK;
    }

    RegistryStore& store;
};

inline const Member<FakeRegistry> FakeRegistry::kMembers[] = {
    {L"GetAppString",
     [](FakeRegistry& r, Call& c) {
         // In place, as the service does; too long counts as missing.
         auto stored = r.store.strings.find(c.Arg<std::wstring>(0));
         BSTR value = *V_BSTRREF(&c.Params().rgvarg[0]);
         if (stored != r.store.strings.end() && value &&
             stored->second.size() < SysStringLen(value))
             value[stored->second.copy(value, stored->second.size())] = L'\0';
         return S_OK;
     }},
    {L"SetAppString", [](FakeRegistry& r, Call& c) { return Store(r.store.strings, c); }},
    {L"GetAppDWORD",
     [](FakeRegistry& r, Call& c) {
         auto stored = r.store.dwords.find(c.Arg<std::wstring>(0));
         if (stored != r.store.dwords.end()) *V_I4REF(&c.Params().rgvarg[0]) = stored->second;
         return S_OK;
     }},
    {L"SetAppDWORD", [](FakeRegistry& r, Call& c) { return Store(r.store.dwords, c); }},
    {L"GetAppList",
     [](FakeRegistry& r, Call& c) { return c.Return(r.store.lists[c.Arg<std::wstring>(0)]); }},
    {L"SetAppList", [](FakeRegistry& r, Call& c) { return Store(r.store.lists, c); }},
    // clang-format off
    {L"TopLevelKey"}, {L"TopFolder"}, {L"Company"}, {L"Product"}, {L"Version"}, {L"SubFolder"},
    {L"DisableMessenger"}, {}};
// clang-format on

// A favourite, or a folder (one with children).
struct Favorite {
    std::wstring name, url;
    std::vector<Favorite> children = {};
};

// The favourites reader over one list: First and Next fail past its end.
class FakeFavorites : public browserdouble::NamedDispatch<FakeFavorites, IDispatch> {
  public:
    static const Member<FakeFavorites> kMembers[];
    explicit FakeFavorites(const std::vector<Favorite>* items) : items(*items) {}

    const Favorite& Item() const {
        static const Favorite none;
        return at < items.size() ? items[at] : none;
    }
    HRESULT MoveTo(size_t item) {
        at = item;
        return at < items.size() ? S_OK : E_FAIL;
    }

    const std::vector<Favorite>& items;
    size_t at = SIZE_MAX; // before First
};

inline const Member<FakeFavorites> FakeFavorites::kMembers[] = {
    {L"First", [](FakeFavorites& f, Call&) { return f.MoveTo(0); }},
    {L"Next", [](FakeFavorites& f, Call&) { return f.MoveTo(std::min(f.at, f.items.size()) + 1); }},
    {L"Name", [](FakeFavorites& f, Call& c) { return c.Return(f.Item().name); }},
    {L"URL", [](FakeFavorites& f, Call& c) { return c.Return(f.Item().url); }},
    {L"Group",
     [](FakeFavorites& f, Call& c) {
         ComPtr<FakeFavorites> folder;
         if (!f.Item().children.empty())
             folder = ComPtr<FakeFavorites>(new (std::nothrow) FakeFavorites(&f.Item().children));
         return c.Return(static_cast<IDispatch*>(folder.Get()));
     }},
    {},
};

struct ServedDoubles {
    using Served = std::unique_ptr<InProcessClass>;
    // 0: the shell's own class, for this process only.
    static Served Serve(const wchar_t* progId, BYTE n, InProcessClass::Creator create) {
        const CLSID own = {0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 7, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, n}};
        auto served = std::make_unique<InProcessClass>(
            progId, n ? own : kClsidShellWindows,
            CLSCTX_INPROC_SERVER | (n ? CLSCTX_LOCAL_SERVER : 0), std::move(create));
        return SUCCEEDED(served->Registered()) ? std::move(served) : nullptr;
    }

    ComApartment com; // first: the classes below are registered with it
    RegistryStore store;
    browserdouble::ShellWindowCollection* collection = browserdouble::ShellWindowCollection::Get();
    Served shellClass = Serve(kShellWindowsProgId, 0, [this](REFIID riid, void** ppv) {
        return collection->QueryInterface(riid, ppv);
    });
    Served registry = Serve(RegistryClient::kProgId, 2, [this](REFIID riid, void** ppv) {
        return CreateDouble<FakeRegistry>(riid, ppv, &store);
    });
};

} // namespace vx::fakes
