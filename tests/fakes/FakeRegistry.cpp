#include "FakeRegistry.h"

#include <algorithm>

namespace vx::fakes {

namespace {

enum : DISPID {
    kGetAppString = 1,
    kSetAppString,
    kGetAppDWORD,
    kSetAppDWORD,
    kTopLevelKey,
    kTopFolder,
    kCompany,
    kProduct,
    kVersion,
    kSubFolder,
    kReset,
    kDisableMessenger,
};

const std::map<std::wstring, DISPID>& Names() {
    static const std::map<std::wstring, DISPID> names = {
        {L"GetAppString", kGetAppString}, {L"SetAppString", kSetAppString},
        {L"GetAppDWORD", kGetAppDWORD},   {L"SetAppDWORD", kSetAppDWORD},
        {L"TopLevelKey", kTopLevelKey},   {L"TopFolder", kTopFolder},
        {L"Company", kCompany},           {L"Product", kProduct},
        {L"Version", kVersion},           {L"SubFolder", kSubFolder},
        {L"Reset", kReset},               {L"DisableMessenger", kDisableMessenger},
    };
    return names;
}

std::wstring NameOf(DISPID id) {
    for (const auto& n : Names())
        if (n.second == id) return n.first;
    return L"?";
}

std::wstring Text(const VARIANT& v) {
    if (V_VT(&v) == VT_BSTR) return V_BSTR(&v) ? V_BSTR(&v) : L"";
    if (V_VT(&v) == (VT_BYREF | VT_BSTR)) return *V_BSTRREF(&v) ? *V_BSTRREF(&v) : L"";
    if (V_VT(&v) == VT_I4) return std::to_wstring(V_I4(&v));
    if (V_VT(&v) == (VT_BYREF | VT_I4)) return std::to_wstring(*V_I4REF(&v));
    return L"?";
}

} // namespace

FakeRegistry::FakeRegistry(RegistryStore* store)
    : FakeDispatch(IID_NULL, Names()), store_(store) {
    ++store_->objects;
}

HRESULT FakeRegistry::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                             EXCEPINFO*, UINT*) {
    std::wstring member = NameOf(id);
    std::wstring call = member;
    // Arguments come last-to-first; the name is the first argument.
    for (UINT i = params ? params->cArgs : 0; i-- > 0;) call += L" " + Text(params->rgvarg[i]);
    store_->calls.push_back(call);
    auto failure = store_->failures.find(member);
    if (failure != store_->failures.end()) return failure->second;

    switch (id) {
    case kGetAppString: {
        std::wstring name = Text(params->rgvarg[1]);
        BSTR* value = V_BSTRREF(&params->rgvarg[0]);
        auto stored = store_->strings.find(name);
        if (stored == store_->strings.end() || !*value) return S_OK;
        // In place, as the service does; too long counts as missing.
        if (stored->second.size() + 1 > SysStringLen(*value)) return S_OK;
        std::copy(stored->second.begin(), stored->second.end(), *value);
        (*value)[stored->second.size()] = L'\0';
        return S_OK;
    }
    case kSetAppString:
        store_->strings[Text(params->rgvarg[1])] = Text(params->rgvarg[0]);
        return S_OK;
    case kGetAppDWORD: {
        if (auto during = std::move(store_->duringRead)) {
            store_->duringRead = nullptr;
            during();
        }
        auto stored = store_->dwords.find(Text(params->rgvarg[1]));
        if (stored != store_->dwords.end()) *V_I4REF(&params->rgvarg[0]) = stored->second;
        return S_OK;
    }
    case kSetAppDWORD: {
        Variant value;
        HRESULT hr = VariantChangeType(value.Get(), &params->rgvarg[0], 0, VT_I4);
        if (FAILED(hr)) return hr;
        store_->dwords[Text(params->rgvarg[1])] = V_I4(value.Get());
        return S_OK;
    }
    default:
        return S_OK;
    }
}

} // namespace vx::fakes
