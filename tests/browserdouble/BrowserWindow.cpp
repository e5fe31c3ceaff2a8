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
    : fullName(folder ? kFolderFullName : kBrowserFullName), shell_(shell),
      events_(this, DIID_DWebBrowserEvents2), id_(id), url_(std::move(url)), visible_(visible) {}

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
    ComPtr<BrowserWindow> window = shell ? shell->OpenWindow(L"", false, false) : nullptr;
    if (!window) return E_OUTOFMEMORY;
    return window->QueryInterface(riid, ppv);
}

HRESULT BrowserWindow::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO*, UINT*) {
    if (!params) return E_INVALIDARG;
    if (id >= kFullName && id <= kNavigate) {
        auto failure = failures.find(kNames[id - 1].name);
        if (failure != failures.end()) return failure->second;
    }
    switch (id) {
    case kFullName:
        ++fullNameReads;
        return ReturnText(result, fullName);
    case kLocationUrl:
        return ReturnText(result, url_);
    case kVisible:
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return PutVisible(params);
        return ReturnBool(result, visible_);
    case kQuit:
        Quit();
        return S_OK;
    case kNavigate: {
        std::wstring url;
        HRESULT hr = Arg(params, 0, &url);
        if (SUCCEEDED(hr) && open_) Navigate(url);
        return hr;
    }
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
    ++visiblePuts;
    return S_OK;
}

void BrowserWindow::Quit() {
    ++quits;
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

bool BrowserWindow::FireNewWindow2(IDispatch** ppDisp) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[2];
    V_VT(&args[1]) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&args[1]) = ppDisp;
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = &cancel;
    DISPPARAMS params = {args, nullptr, 2, 0};
    events_.Fire(kDispNewWindow2, &params);
    return cancel != VARIANT_FALSE;
}

bool BrowserWindow::FireNewWindow3(IDispatch** ppDisp, LONG flags, const std::wstring& url) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    Bstr context(url_.c_str()), target(url.c_str());
    VARIANTARG args[5];
    V_VT(&args[4]) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&args[4]) = ppDisp;
    V_VT(&args[3]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[3]) = &cancel;
    V_VT(&args[2]) = VT_I4;
    V_I4(&args[2]) = flags;
    V_VT(&args[1]) = VT_BSTR;
    V_BSTR(&args[1]) = context.Get();
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = target.Get();
    DISPPARAMS params = {args, nullptr, 5, 0};
    events_.Fire(kDispNewWindow3, &params);
    return cancel != VARIANT_FALSE;
}

ComPtr<BrowserWindow> BrowserWindow::OpenPopup(const std::wstring& url, int events, LONG flags,
                                               bool navigate) {
    const double firedAt = SecondsNow();
    IDispatch* supplied = nullptr;
    bool cancel = false;
    for (char event : std::to_string(events))
        if (!cancel)
            cancel =
                event == '3' ? FireNewWindow3(&supplied, flags, url) : FireNewWindow2(&supplied);
    // What came back is ours to release.
    ComPtr<IDispatch> kept = ComPtr<IDispatch>::Attach(supplied);
    ComPtr<BrowserWindow> popup;
    if (kept) {
        popup = ComPtr<BrowserWindow>(shell_->FindByObject(kept.Get()));
    } else if (cancel) {
        // Refused before any window was made: a record of the request alone.
        popup = shell_->MakeWindow(url, false, false);
        if (popup) {
            popup->open_ = false;
            popup->quitAt_ = SecondsNow();
        }
    } else {
        // Nobody supplied a window: the browser opens one of its own.
        popup = shell_->OpenWindow(L"", false, true);
    }
    if (!popup) return popup;
    popup->newWindowAt_ = firedAt;
    popup->cancelled_ = cancel;
    if (navigate && !cancel && popup->IsOpen()) popup->Navigate(url);
    return popup;
}

void BrowserWindow::Navigate(const std::wstring& url, const wchar_t* frame) {
    Variant target, flags, frameName, postData, headers;
    V_VT(target.Get()) = VT_BSTR;
    V_BSTR(target.Get()) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    V_VT(flags.Get()) = VT_I4;
    V_I4(flags.Get()) = 0;
    // The top window navigates: a null frame name.
    V_VT(frameName.Get()) = VT_BSTR;
    V_BSTR(frameName.Get()) = frame ? SysAllocString(frame) : nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[7];
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = static_cast<IDispatch*>(this);
    VARIANT* refs[5] = {target.Get(), flags.Get(), frameName.Get(), postData.Get(), headers.Get()};
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
    if (cancel || !open_) return;
    url_ = url;
    FireNavigateComplete2(url);
}

void BrowserWindow::FireNavigateComplete2(const std::wstring& url) {
    Variant completed;
    V_VT(completed.Get()) = VT_BSTR;
    V_BSTR(completed.Get()) = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANTARG args[2];
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

} // namespace vx::browserdouble
