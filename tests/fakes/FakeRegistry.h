// The settings service's Registry object as the agent uses it by name.
#pragma once

#include "tests/browserdouble/NamedDispatch.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vx::fakes {

using browserdouble::Call;
using browserdouble::Member;

struct RegistryStore {
    std::map<std::wstring, LONG> dwords;
    std::map<std::wstring, std::wstring> strings, lists;
    // "Member argument ..." for every call, in order.
    std::vector<std::wstring> calls;
    std::map<std::wstring, HRESULT> failures; // by member name
    // Run once inside the next GetAppDWORD, before it answers: what the
    // agent's thread may do while it waits on the cross-process read.
    std::function<void()> duringRead;
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
         const auto dwords = r.store.dwords; // read before the calls made meanwhile
         if (auto during = std::exchange(r.store.duringRead, nullptr)) during();
         auto stored = dwords.find(c.Arg<std::wstring>(0));
         if (stored != dwords.end()) *V_I4REF(&c.Params().rgvarg[0]) = stored->second;
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

} // namespace vx::fakes
