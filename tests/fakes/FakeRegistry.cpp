#include "FakeRegistry.h"

#include <algorithm>

namespace vx::fakes {

namespace {

std::wstring Text(const VARIANT& v) {
    if (V_VT(&v) == VT_BSTR) return V_BSTR(&v) ? V_BSTR(&v) : L"";
    if (V_VT(&v) == (VT_BYREF | VT_BSTR)) return *V_BSTRREF(&v) ? *V_BSTRREF(&v) : L"";
    if (V_VT(&v) == VT_I4) return std::to_wstring(V_I4(&v));
    if (V_VT(&v) == (VT_BYREF | VT_I4)) return std::to_wstring(*V_I4REF(&v));
    return L"?";
}

} // namespace

const QITAB* FakeRegistry::QiTable() {
    static const QITAB table[] = {QITABENT(FakeRegistry, IDispatch), {}};
    return table;
}

FakeRegistry::FakeRegistry(RegistryStore* store) : store_(store) {
    ++store_->objects;
}

HRESULT FakeRegistry::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO*, UINT*) {
    const std::wstring member = id >= 1 && id <= kDisableMessenger ? kNames[id - 1].name : L"?";
    std::wstring call = member;
    // Arguments come last-to-first; the name is the first argument.
    for (UINT i = params ? params->cArgs : 0; i-- > 0;) call += L" " + Text(params->rgvarg[i]);
    store_->calls.push_back(call);
    auto failure = store_->failures.find(member);
    if (failure != store_->failures.end()) return failure->second;
    const std::wstring name = params && params->cArgs == 2 ? Text(params->rgvarg[1]) : L"";

    switch (id) {
    case kGetAppString: {
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
        store_->strings[name] = Text(params->rgvarg[0]);
        return S_OK;
    case kGetAppDWORD: {
        if (auto during = std::move(store_->duringRead)) {
            store_->duringRead = nullptr;
            during();
        }
        auto stored = store_->dwords.find(name);
        if (stored != store_->dwords.end()) *V_I4REF(&params->rgvarg[0]) = stored->second;
        return S_OK;
    }
    case kSetAppDWORD: {
        Variant value;
        HRESULT hr = VariantChangeType(value.Get(), &params->rgvarg[0], 0, VT_I4);
        if (FAILED(hr)) return hr;
        store_->dwords[name] = V_I4(value.Get());
        return S_OK;
    }
    case kGetAppList:
        return browserdouble::ReturnText(result, store_->lists[Text(params->rgvarg[0])]);
    case kSetAppList:
        store_->lists[name] = Text(params->rgvarg[0]);
        return S_OK;
    default:
        return S_OK;
    }
}

} // namespace vx::fakes
