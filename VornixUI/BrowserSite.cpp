#include "BrowserSite.h"

#include "InstallPaths.h"

#include <exdispid.h>

namespace vx {

namespace {

// A text argument of an event: a BSTR, or a reference to a VARIANT with one.
std::wstring TextArgument(const VARIANT& argument) {
    const VARIANT* v = &argument;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    if (V_VT(v) != VT_BSTR || !V_BSTR(v)) return std::wstring();
    return std::wstring(V_BSTR(v), SysStringLen(V_BSTR(v)));
}

void Cancel(VARIANT& argument) {
    if (V_VT(&argument) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&argument))
        *V_BOOLREF(&argument) = VARIANT_TRUE;
}

} // namespace

const QITAB* BrowserSite::QiTable() {
    static const QITAB table[] = {
        QITABENT(BrowserSite, IOleClientSite),
        QITABENT(BrowserSite, IOleInPlaceSite),
        QITABENTMULTI(BrowserSite, IOleWindow, IOleInPlaceSite),
        QITABENT(BrowserSite, IOleInPlaceFrame),
        QITABENTMULTI(BrowserSite, IOleInPlaceUIWindow, IOleInPlaceFrame),
        QITABENT(BrowserSite, IDispatch),
        QITABENTMULTI2(BrowserSite, DIID_DWebBrowserEvents2, IDispatch),
        {},
    };
    return table;
}

HRESULT BrowserSite::Embed(HWND parent, PageEvents* events) {
    parent_ = parent;
    ComPtr<IOleObject> object;
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  object.PutVoid());
    if (FAILED(hr)) return hr;
    hr = object->SetClientSite(this);
    if (FAILED(hr)) return hr;
    object_ = object;

    RECT area = {};
    GetClientRect(parent, &area);
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, parent, &area);
    if (FAILED(hr)) return hr;
    hr = object.As(IID_IWebBrowser2, &browser_);
    if (FAILED(hr)) return hr;
    // A dropped file or link would be shown in place of the panel's page.
    hr = browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    if (FAILED(hr)) return hr;

    ComPtr<IConnectionPointContainer> points;
    hr = browser_.As(IID_IConnectionPointContainer, &points);
    if (FAILED(hr)) return hr;
    hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, point_.Put());
    if (FAILED(hr)) return hr;
    hr = point_->Advise(static_cast<IDispatch*>(this), &cookie_);
    if (FAILED(hr)) {
        point_.Reset();
        return hr;
    }
    events_ = events;
    return S_OK;
}

HRESULT BrowserSite::Navigate(const std::wstring& address) {
    if (!browser_) return E_UNEXPECTED;
    Variant url, flags, frame, postData, headers;
    V_VT(url.Get()) = VT_BSTR;
    V_BSTR(url.Get()) = SysAllocString(address.c_str());
    if (!V_BSTR(url.Get())) return E_OUTOFMEMORY;
    return browser_->Navigate2(url.Get(), flags.Get(), frame.Get(), postData.Get(), headers.Get());
}

void BrowserSite::Resize(const RECT& area) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (object_ && SUCCEEDED(object_.As(IID_IOleInPlaceObject, &inPlace)))
        inPlace->SetObjectRects(&area, &area);
}

bool BrowserSite::TranslateKey(MSG* msg) {
    ComPtr<IOleInPlaceActiveObject> active;
    if (!browser_ || FAILED(browser_.As(IID_IOleInPlaceActiveObject, &active))) return false;
    return active->TranslateAccelerator(msg) == S_OK;
}

void BrowserSite::Unembed() {
    events_ = nullptr;
    if (point_) {
        point_->Unadvise(cookie_);
        point_.Reset();
    }
    browser_.Reset();
    if (object_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(object_.As(IID_IOleInPlaceObject, &inPlace))) inPlace->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.Reset();
    }
    parent_ = nullptr;
}

HRESULT BrowserSite::Document(IDispatch** document) {
    *document = nullptr;
    if (!browser_) return E_UNEXPECTED;
    HRESULT hr = browser_->get_Document(document);
    if (SUCCEEDED(hr) && !*document) return S_FALSE;
    return hr;
}

HRESULT BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT BrowserSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT BrowserSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = parent_;
    return parent_ ? S_OK : E_FAIL;
}

HRESULT BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                      RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* info) {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = this;
    AddRef();
    // The dialog is frame and document window at once.
    *document = nullptr;
    GetClientRect(parent_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT BrowserSite::OnPosRectChange(const RECT* position) {
    if (!position) return E_POINTER;
    Resize(*position);
    return S_OK;
}

HRESULT BrowserSite::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

// The control shows the panel's pages only: any other navigation and every
// new window is cancelled, and only the panel's own page, once loaded, is
// reported, so that its handlers are never bound to another document.
HRESULT BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                            UINT*) {
    if (!params) return S_OK;
    // Arguments arrive last first.
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        // [5] the URL, [0] Cancel.
        if (params->cArgs >= 7 && !IsPanelAddress(TextArgument(params->rgvarg[5])))
            Cancel(params->rgvarg[0]);
        return S_OK;
    case DISPID_NEWWINDOW2:
        if (params->cArgs >= 2) Cancel(params->rgvarg[0]);
        return S_OK;
    case DISPID_NEWWINDOW3:
        if (params->cArgs >= 5) Cancel(params->rgvarg[3]);
        return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
        break;
    default:
        return S_OK;
    }
    // [1] the window that completed, [0] its URL.
    if (!events_ || params->cArgs < 2 || !IsPanelPage(TextArgument(params->rgvarg[0])))
        return S_OK;
    const VARIANT& window = params->rgvarg[1];
    const bool topLevel = V_VT(&window) == VT_DISPATCH && IsBrowser(V_DISPATCH(&window));
    // The handler makes calls that leave the apartment, during which the
    // dialog may close and unembed us.
    ComPtr<BrowserSite> keep(this);
    events_->OnDocumentComplete(topLevel);
    return S_OK;
}

bool BrowserSite::IsBrowser(IDispatch* candidate) const {
    if (!candidate || !browser_) return false;
    ComPtr<IUnknown> mine, theirs;
    if (FAILED(browser_.As(IID_IUnknown, &mine))) return false;
    if (FAILED(candidate->QueryInterface(IID_IUnknown, theirs.PutVoid()))) return false;
    return mine.Get() == theirs.Get();
}

} // namespace vx
