#include "BrowserWindow.h"

#include "ShellWindowCollection.h"

namespace vx::browserdouble {

namespace {

double SecondsNow() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

const Member<BrowserWindow> BrowserWindow::kMembers[] = {
    {L"FullName", [](BrowserWindow& w, Call& c) { return c.Return(w.fullName); }},
    {L"LocationURL", [](BrowserWindow& w, Call& c) { return c.Return(w.url); }},
    {L"Visible",
     [](BrowserWindow& w, Call& c) {
         if (!c.IsPut()) return c.Return(w.visible);
         const bool show = c.Arg<bool>(0, w.visible);
         if (show && !w.visible && w.shownAt == 0) w.shownAt = SecondsNow();
         w.visible = show;
         return S_OK;
     }},
    {L"Quit",
     [](BrowserWindow& w, Call&) {
         ++w.quits;
         if (w.quitAt == 0) w.quitAt = SecondsNow();
         ShellWindowCollection::Get()->Revoke(&w);
         return S_OK;
     }},
    {L"Navigate", [](BrowserWindow& w, Call& c) { return w.Navigate(c.Arg<std::wstring>(0)); }},
    {},
};

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
    return window ? window->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

BrowserWindow::BrowserWindow(LONG id, bool folder, std::wstring url, bool visible)
    : id(id), fullName(folder ? L"C:\\windows\\explorer.exe"
                              : L"C:\\Program Files\\Internet Explorer\\iexplore.exe"),
      url(std::move(url)), visible(visible) {}

ComPtr<BrowserWindow> BrowserWindow::OpenPopup(const std::wstring& target, int order, LONG flags,
                                               bool navigate) {
    ShellWindowCollection* shell = ShellWindowCollection::Get();
    const double firedAt = SecondsNow();
    IDispatch* supplied = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    Bstr context(url.c_str()), address(target.c_str());
    for (char event : std::to_string(order)) {
        std::vector<VARIANTARG> args = {MakeVariant(VT_BYREF | VT_DISPATCH, &supplied),
                                        MakeVariant(VT_BYREF | VT_BOOL, &cancel)};
        if (event == '3')
            args.insert(args.end(), {MakeVariant(VT_I4, flags), MakeVariant(VT_BSTR, context.Get()),
                                     MakeVariant(VT_BSTR, address.Get())});
        if (!cancel) events.Fire(event == '3' ? DISPID_NEWWINDOW3 : DISPID_NEWWINDOW2, args);
    }
    // What came back is ours to release. Refused before any window was
    // made, the popup is a record of the request alone; with no window
    // supplied, the browser opens one of its own.
    ComPtr<IDispatch> kept = ComPtr<IDispatch>::Attach(supplied);
    ComPtr<BrowserWindow> popup = kept     ? ComPtr<BrowserWindow>(shell->FindByObject(kept.Get()))
                                  : cancel ? shell->MakeWindow(target, false, false)
                                           : shell->OpenWindow(L"", false, true);
    if (!popup) return popup;
    popup->newWindowAt = firedAt;
    popup->cancelled = cancel != VARIANT_FALSE;
    if (cancel && !kept) {
        popup->open = false;
        popup->quitAt = SecondsNow();
    }
    if (navigate && !cancel && popup->open) popup->Navigate(target);
    return popup;
}

HRESULT BrowserWindow::Navigate(const std::wstring& target, const wchar_t* frame) {
    if (!open) return S_OK;
    // The top window navigates: a null frame name.
    Bstr address(target.c_str()), frameName(frame);
    VARIANT url = MakeVariant(VT_BSTR, address.Get()), name = MakeVariant(VT_BSTR, frameName.Get());
    VARIANT none = {};
    VARIANT_BOOL cancel = VARIANT_FALSE;
    if (navigatedAt == 0) navigatedAt = SecondsNow();
    events.Fire(
        DISPID_BEFORENAVIGATE2,
        {MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(this)),
         MakeVariant(VT_BYREF | VT_VARIANT, &url), MakeVariant(VT_BYREF | VT_VARIANT, &none),
         MakeVariant(VT_BYREF | VT_VARIANT, &name), MakeVariant(VT_BYREF | VT_VARIANT, &none),
         MakeVariant(VT_BYREF | VT_VARIANT, &none), MakeVariant(VT_BYREF | VT_BOOL, &cancel)});
    cancelled = cancel != VARIANT_FALSE;
    if (!cancelled && open) {
        this->url = target;
        FireNavigateComplete2(target);
    }
    return S_OK;
}

void BrowserWindow::FireNavigateComplete2(const std::wstring& target) {
    Bstr address(target.c_str());
    VARIANT url = MakeVariant(VT_BSTR, address.Get());
    events.Fire(DISPID_NAVIGATECOMPLETE2, {MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(this)),
                                           MakeVariant(VT_BYREF | VT_VARIANT, &url)});
}

void BrowserWindow::FireWindowSetResizable(bool resizable) {
    events.Fire(DISPID_WINDOWSETRESIZABLE,
                {MakeVariant<VARIANT_BOOL>(VT_BOOL, resizable ? VARIANT_TRUE : VARIANT_FALSE)});
}

} // namespace vx::browserdouble
