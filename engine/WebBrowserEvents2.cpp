#include "WebBrowserEvents2.h"

#include "Explorer.h"

namespace vx {

WebBrowserEvents2::WebBrowserEvents2(IUnknown* outer) : ComObject(outer) {}

const QITAB* WebBrowserEvents2::QiTable() {
    static const QITAB table[] = {
        QITABENTMULTI(WebBrowserEvents2, IDispatch, DWebBrowserEvents2),
        QITABENT(WebBrowserEvents2, DWebBrowserEvents2),
        QITABENT(WebBrowserEvents2, ISupportErrorInfo),
        {},
    };
    return table;
}

HRESULT WebBrowserEvents2::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateComObject<WebBrowserEvents2>(outer, riid, ppv);
}

HRESULT WebBrowserEvents2::BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*,
                                           VARIANT* targetFrameName, VARIANT*, VARIANT*,
                                           VARIANT_BOOL* cancel) {
    if (owner_) owner_->OnBeforeNavigate2(url, targetFrameName, cancel);
    return S_OK;
}

HRESULT WebBrowserEvents2::NewWindow2(IDispatch** ppDisp, VARIANT_BOOL*) {
    if (owner_) owner_->OnNewWindow2(ppDisp);
    return S_OK;
}

HRESULT WebBrowserEvents2::NavigateComplete2(IDispatch*, VARIANT* url) {
    if (owner_) owner_->OnNavigateComplete2(url);
    return S_OK;
}

HRESULT WebBrowserEvents2::OnQuit() {
    if (owner_) owner_->OnQuit();
    return S_OK;
}

HRESULT WebBrowserEvents2::WindowSetResizable(VARIANT_BOOL resizable) {
    if (owner_) owner_->OnWindowSetResizable(resizable != VARIANT_FALSE);
    return S_OK;
}

HRESULT WebBrowserEvents2::NewWindow3(IDispatch** ppDisp, VARIANT_BOOL* cancel, ULONG flags, BSTR,
                                      BSTR url) {
    if (owner_) owner_->OnNewWindow3(ppDisp, cancel, flags, url);
    return S_OK;
}

HRESULT WebBrowserEvents2::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_DWebBrowserEvents2) ? S_OK : S_FALSE;
}

} // namespace vx
