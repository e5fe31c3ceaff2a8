#include "ScriptControl.h"

#include "ShellWindowCollection.h"

namespace vx::browserdouble {

namespace {
// An event asked of a window that has gone.
const HRESULT kWindowClosed = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);

// An argument a script left out is no failure.
HRESULT Optional(HRESULT hr) {
    return hr == DISP_E_PARAMNOTFOUND ? S_OK : hr;
}
} // namespace

const QITAB* ScriptControl::QiTable() {
    static const QITAB table[] = {QITABENT(ScriptControl, IDispatch), {}};
    return table;
}

HRESULT ScriptControl::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateComObject<ScriptControl>(outer, riid, ppv);
}

HRESULT ScriptControl::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO*, UINT*) {
    if (!params) return E_INVALIDARG;
    ShellWindowCollection* shell = ShellWindowCollection::Get();
    if (!shell) return E_OUTOFMEMORY;
    switch (id) {
    case kOpenWindow: {
        std::wstring url;
        bool folder = false;
        bool visible = true;
        // A script may leave out the flags: a visible browser window.
        HRESULT hr = Arg(params, 0, &url);
        if (SUCCEEDED(hr)) hr = Optional(Arg(params, 1, &folder));
        if (SUCCEEDED(hr)) hr = Optional(Arg(params, 2, &visible));
        if (FAILED(hr)) return hr;
        ComPtr<BrowserWindow> window = shell->OpenWindow(url, folder, visible);
        if (!window) return E_OUTOFMEMORY;
        return ReturnLong(result, window->Id());
    }
    case kOpenPopup:
        return OpenPopup(params, result);
    case kLastWindow:
        return ReturnLong(result, shell->LastId());
    case kProcessId:
        return ReturnLong(result, static_cast<LONG>(GetCurrentProcessId()));
    case kShutdown:
        // The loop ends after this call has returned to the caller.
        PostQuitMessage(0);
        return S_OK;
    default:
        return WindowMember(id, params, result);
    }
}

HRESULT ScriptControl::WindowMember(DISPID id, DISPPARAMS* params, VARIANT* result) {
    LONG windowId = 0;
    HRESULT hr = Arg(params, 0, &windowId);
    if (FAILED(hr)) return hr;
    ShellWindowCollection* shell = ShellWindowCollection::Get();
    BrowserWindow* window = shell->Find(windowId);
    if (!window) return E_INVALIDARG;
    switch (id) {
    case kCloseWindow:
        shell->Revoke(window);
        return S_OK;
    case kNavigate: {
        std::wstring url;
        hr = Arg(params, 1, &url);
        if (FAILED(hr)) return hr;
        if (!window->IsOpen()) return kWindowClosed;
        window->Navigate(url);
        return ReturnBool(result, window->WasCancelled());
    }
    case kAskFixedSize:
        if (!window->IsOpen()) return kWindowClosed;
        window->FireWindowSetResizable(false);
        return S_OK;
    case kIsOpen:
        return ReturnBool(result, window->IsOpen());
    case kIsVisible:
        return ReturnBool(result, window->IsVisible());
    case kWasQuit:
        return ReturnBool(result, window->WasQuit());
    case kWasCancelled:
        return ReturnBool(result, window->WasCancelled());
    case kLocationUrl:
        return ReturnText(result, window->Url());
    case kNewWindowTime:
        return ReturnDouble(result, window->NewWindowAt());
    case kQuitTime:
        return ReturnDouble(result, window->QuitAt());
    case kShownTime:
        return ReturnDouble(result, window->ShownAt());
    case kNavigateTime:
        return ReturnDouble(result, window->NavigatedAt());
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT ScriptControl::OpenPopup(DISPPARAMS* params, VARIANT* result) {
    LONG openerId = 0, events = 2, flags = 0;
    std::wstring url;
    HRESULT hr = Arg(params, 0, &openerId);
    if (SUCCEEDED(hr)) hr = Arg(params, 1, &url);
    // A script may leave out the events and the flags.
    if (SUCCEEDED(hr)) hr = Optional(Arg(params, 2, &events));
    if (SUCCEEDED(hr)) hr = Optional(Arg(params, 3, &flags));
    if (FAILED(hr)) return hr;
    BrowserWindow* opener = ShellWindowCollection::Get()->Find(openerId);
    if (!opener) return E_INVALIDARG;
    if (!opener->IsOpen()) return kWindowClosed;
    // A supplied object that is not one of ours cannot be navigated from here.
    ComPtr<BrowserWindow> popup = opener->OpenPopup(url, events, flags);
    return popup ? ReturnLong(result, popup->Id()) : E_NOINTERFACE;
}

} // namespace vx::browserdouble
