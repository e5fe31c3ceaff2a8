#include "Marklor.h"

#include "../common/StatusLog.h"
#include "../common/TextForms.h"
#include "../common/UrlForms.h"


namespace vx {

void Marklor::CreateReader() {
    HRESULT hr = Create(kProgId, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) LogFailure("Marklor Creation Error...", hr);
}

HRESULT Marklor::Step(const wchar_t* member) {
    HRESULT hr = InvokeByName(member, DISPATCH_METHOD, nullptr);
    if (FAILED(hr)) LogFailure("Marklor Invoke Error...", hr);
    return hr;
}

std::wstring Marklor::ReadText(const wchar_t* member) {
    Variant value;
    HRESULT hr = InvokeByName(member, DISPATCH_PROPERTYGET, value.Get());
    if (SUCCEEDED(hr) && V_VT(value.Get()) != VT_BSTR)
        hr = VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        LogFailure("Marklor Invoke Error...", hr);
        return std::wstring();
    }
    return V_BSTR(value.Get()) ? V_BSTR(value.Get()) : L"";
}

bool Marklor::IsFavorite(const std::wstring& host) {
    // Only success (S_OK) moves the walk on.
    for (HRESULT hr = Step(L"First"); hr == S_OK;) {
        std::wstring name = ReadText(L"Name");
        std::wstring url = ReadText(L"URL");
        Variant group;
        HRESULT groupHr = InvokeByName(L"Group", DISPATCH_PROPERTYGET, group.Get());
        if (FAILED(groupHr)) LogFailure("Marklor Invoke Error...", groupHr);

        if (SUCCEEDED(groupHr) && V_VT(group.Get()) == VT_DISPATCH && V_DISPATCH(group.Get())) {
            Marklor folder;
            folder.Attach(V_DISPATCH(group.Get()));
            bool found = folder.IsFavorite(host);
            hr = Step(L"Next");
            if (found) return true;
            continue;
        }
        // An item with neither name nor address ends the list.
        if (name.empty() && url.empty()) return false;
        if (url.size() >= 4) {
            std::wstring site = LowerText(SiteKey(url.c_str()));
            if (IsHostOnSite(host, site)) return true;
        }
        hr = Step(L"Next");
    }
    return false;
}

} // namespace vx
