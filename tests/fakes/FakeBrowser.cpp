#include "FakeBrowser.h"

#include "Krellin.h"

namespace vx::fakes {

namespace {
enum : DISPID { kFullName = 1, kLocationUrl, kVisible, kQuit };

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
    if (!result) return S_OK;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(text.c_str());
    return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
}
} // namespace

FakeBrowser::FakeBrowser(std::wstring name, std::wstring url, bool shown)
    : FakeDispatch(IID_DWebBrowserEvents2, {{L"FullName", kFullName},
                                            {L"LocationURL", kLocationUrl},
                                            {L"Visible", kVisible},
                                            {L"Quit", kQuit}}),
      fullName(std::move(name)), locationUrl(std::move(url)), visible(shown) {}

HRESULT FakeBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO*, UINT*) {
    switch (id) {
    case kFullName:
        ++fullNameReads;
        if (HRESULT hr = Failure(L"FullName"); FAILED(hr)) return hr;
        return ReturnText(result, fullName);
    case kLocationUrl:
        if (HRESULT hr = Failure(L"LocationURL"); FAILED(hr)) return hr;
        return ReturnText(result, locationUrl);
    case kVisible:
        if (HRESULT hr = Failure(L"Visible"); FAILED(hr)) return hr;
        if (flags & DISPATCH_PROPERTYPUT) {
            if (params->cArgs != 1 || params->cNamedArgs != 1 ||
                params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTOPTIONAL;
            Variant value;
            HRESULT hr = VariantChangeType(value.Get(), &params->rgvarg[0], 0, VT_BOOL);
            if (FAILED(hr)) return hr;
            visible = V_BOOL(value.Get()) != VARIANT_FALSE;
            ++visiblePuts;
            return S_OK;
        }
        if (result) {
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = visible ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    case kQuit:
        if (HRESULT hr = Failure(L"Quit"); FAILED(hr)) return hr;
        ++quits;
        FireQuit();
        if (onQuit) onQuit(this);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void FakeBrowser::FireNewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) {
    VARIANTARG args[2];
    V_VT(&args[1]) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&args[1]) = ppDisp;
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = cancel;
    DISPPARAMS params = {args, nullptr, 2, 0};
    Point().Fire(251, &params);
}

void FakeBrowser::FireBeforeNavigate2(const wchar_t* url, const wchar_t* targetFrame,
                                      VARIANT_BOOL* cancel) {
    Variant urlValue, flags, frame, postData, headers;
    V_VT(urlValue.Get()) = VT_BSTR;
    V_BSTR(urlValue.Get()) = SysAllocString(url);
    V_VT(flags.Get()) = VT_I4;
    V_I4(flags.Get()) = 0;
    // A navigation of the top window carries a null frame name.
    V_VT(frame.Get()) = VT_BSTR;
    V_BSTR(frame.Get()) = targetFrame ? SysAllocString(targetFrame) : nullptr;
    VARIANTARG args[7];
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = this;
    VARIANT* refs[5] = {urlValue.Get(), flags.Get(), frame.Get(), postData.Get(), headers.Get()};
    for (int i = 0; i < 5; ++i) {
        V_VT(&args[5 - i]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[5 - i]) = refs[i];
    }
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = cancel;
    DISPPARAMS params = {args, nullptr, 7, 0};
    Point().Fire(250, &params);
}

void FakeBrowser::FireNavigateComplete2(const wchar_t* url) {
    Variant urlValue;
    V_VT(urlValue.Get()) = VT_BSTR;
    V_BSTR(urlValue.Get()) = SysAllocString(url);
    VARIANTARG args[2];
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = this;
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = urlValue.Get();
    DISPPARAMS params = {args, nullptr, 2, 0};
    Point().Fire(252, &params);
}

void FakeBrowser::FireWindowSetResizable(bool resizable) {
    VARIANTARG arg;
    V_VT(&arg) = VT_BOOL;
    V_BOOL(&arg) = resizable ? VARIANT_TRUE : VARIANT_FALSE;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    Point().Fire(262, &params);
}

void FakeBrowser::FireQuit() {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Point().Fire(253, &none);
}

} // namespace vx::fakes
