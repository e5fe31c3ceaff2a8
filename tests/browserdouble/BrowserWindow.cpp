#include "BrowserWindow.h"

#include "DoubleIds.h"
#include "ShellWindowCollection.h"

#include <exdisp.h>

namespace vx::browserdouble {

double SecondsNow() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

BrowserWindow::BrowserWindow(ShellWindowCollection* shell, LONG id, bool folder, std::wstring url,
                             bool visible)
    : shell_(shell), events_(this, DIID_DWebBrowserEvents2), id_(id), folder_(folder),
      url_(std::move(url)), visible_(visible) {}

const QITAB* BrowserWindow::QiTable() {
    static const QITAB table[] = {
        QITABENT(BrowserWindow, IDispatch),
        QITABENT(BrowserWindow, IConnectionPointContainer),
        {},
    };
    return table;
}

HRESULT BrowserWindow::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    ShellWindowCollection* shell = ShellWindowCollection::Get();
    if (!shell) return E_OUTOFMEMORY;
    ComPtr<BrowserWindow> window = shell->OpenWindow(L"", false, false);
    if (!window) return E_OUTOFMEMORY;
    return window->QueryInterface(riid, ppv);
}

HRESULT BrowserWindow::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO*, UINT*) {
    if (!params) return E_INVALIDARG;
    switch (id) {
    case kFullName:
        return ReturnText(result, folder_ ? kFolderFullName : kBrowserFullName);
    case kLocationUrl:
        return ReturnText(result, url_);
    case kVisible:
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return PutVisible(params);
        return ReturnBool(result, visible_);
    case kQuit:
        Quit();
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT BrowserWindow::PutVisible(DISPPARAMS* params) {
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    Variant value;
    HRESULT hr = VariantChangeType(value.Get(), &params->rgvarg[0], 0, VT_BOOL);
    if (FAILED(hr)) return hr;
    bool show = V_BOOL(value.Get()) != VARIANT_FALSE;
    if (show && !visible_ && shownAt_ == 0) shownAt_ = SecondsNow();
    visible_ = show;
    return S_OK;
}

void BrowserWindow::Quit() {
    if (quitAt_ == 0) quitAt_ = SecondsNow();
    shell_->Revoke(this);
}

HRESULT BrowserWindow::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT BrowserWindow::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    return events_.Find(riid, point);
}

ComPtr<IDispatch> BrowserWindow::FireNewWindow2(bool* cancel) {
    IDispatch* supplied = nullptr;
    VARIANT_BOOL cancelFlag = VARIANT_FALSE;
    VARIANTARG args[2];
    V_VT(&args[1]) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&args[1]) = &supplied;
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = &cancelFlag;
    DISPPARAMS params = {args, nullptr, 2, 0};
    events_.Fire(kDispNewWindow2, &params);
    *cancel = cancelFlag != VARIANT_FALSE;
    // What came back is ours to release.
    return ComPtr<IDispatch>::Attach(supplied);
}

void BrowserWindow::Navigate(const std::wstring& url) {
    Variant target, flags, frame, postData, headers;
    V_VT(target.Get()) = VT_BSTR;
    V_BSTR(target.Get()) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    V_VT(flags.Get()) = VT_I4;
    V_I4(flags.Get()) = 0;
    // The top window navigates: a null frame name.
    V_VT(frame.Get()) = VT_BSTR;
    V_BSTR(frame.Get()) = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[7];
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = static_cast<IDispatch*>(this);
    VARIANT* refs[5] = {target.Get(), flags.Get(), frame.Get(), postData.Get(), headers.Get()};
    for (int i = 0; i < 5; ++i) {
        V_VT(&args[5 - i]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[5 - i]) = refs[i];
    }
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = &cancel;
    DISPPARAMS before = {args, nullptr, 7, 0};
    if (navigatedAt_ == 0) navigatedAt_ = SecondsNow();
    events_.Fire(kDispBeforeNavigate2, &before);
    cancelled_ = cancel != VARIANT_FALSE;
    if (cancelled_ || !open_) return;

    url_ = url;
    Variant completed;
    V_VT(completed.Get()) = VT_BSTR;
    V_BSTR(completed.Get()) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = static_cast<IDispatch*>(this);
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = completed.Get();
    DISPPARAMS after = {args, nullptr, 2, 0};
    events_.Fire(kDispNavigateComplete2, &after);
}

void BrowserWindow::FireWindowSetResizable(bool resizable) {
    VARIANTARG arg;
    V_VT(&arg) = VT_BOOL;
    V_BOOL(&arg) = resizable ? VARIANT_TRUE : VARIANT_FALSE;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    events_.Fire(kDispWindowSetResizable, &params);
}

void BrowserWindow::FireQuit() {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    events_.Fire(kDispOnQuit, &none);
}

void BrowserWindow::MarkPopup(LONG openerId, double newWindowAt) {
    openerId_ = openerId;
    newWindowAt_ = newWindowAt;
}

} // namespace vx::browserdouble
