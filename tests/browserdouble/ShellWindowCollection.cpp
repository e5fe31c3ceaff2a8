#include "ShellWindowCollection.h"

#include <chrono>

namespace vx::browserdouble {

namespace {

ComPtr<ShellWindowCollection> gShell;

using Shell = ShellWindowCollection;

double SecondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <auto Read> HRESULT Query(Shell& shell, Call& call) {
    BrowserWindow* window = shell.Find(call.Arg<LONG>(0));
    return window ? call.Return(std::invoke(Read, *window)) : E_INVALIDARG;
}

template <HRESULT (*Fire)(BrowserWindow&, Call&)> HRESULT Event(Shell& shell, Call& call) {
    BrowserWindow* window = shell.Find(call.Arg<LONG>(0));
    if (!window) return E_INVALIDARG;
    return window->open ? Fire(*window, call) : HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
}

HRESULT Navigate(BrowserWindow& window, Call& call) {
    window.Navigate(call.Arg<std::wstring>(1));
    return call.Return(window.cancelled);
}

HRESULT OpenPopup(BrowserWindow& opener, Call& call) {
    ComPtr<BrowserWindow> popup =
        opener.OpenPopup(call.Arg<std::wstring>(1), call.Arg<LONG>(2, 2), call.Arg<LONG>(3));
    return popup ? call.Return(popup->id) : E_NOINTERFACE;
}

HRESULT AskFixedSize(BrowserWindow& window, Call&) {
    window.FireWindowSetResizable(false);
    return S_OK;
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
         Shell::Get()->Revoke(&w);
         return S_OK;
     }},
    {L"Navigate", [](BrowserWindow& w, Call& c) { return w.Navigate(c.Arg<std::wstring>(0)); }},
    {},
};

HRESULT BrowserWindow::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    Shell* shell = Shell::Get();
    ComPtr<BrowserWindow> window = shell ? shell->OpenWindow(L"", false, false) : nullptr;
    return window ? window->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

BrowserWindow::BrowserWindow(LONG id, bool folder, std::wstring url, bool visible)
    : id(id), fullName(folder ? L"C:\\windows\\explorer.exe"
                              : L"C:\\Program Files\\Internet Explorer\\iexplore.exe"),
      url(std::move(url)), visible(visible) {}

ComPtr<BrowserWindow> BrowserWindow::OpenPopup(const std::wstring& target, int order, LONG flags,
                                               bool navigate) {
    Shell* shell = Shell::Get();
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
    // Refused before any window was made, the popup is a record of the
    // request alone; with no window supplied, the browser opens its own.
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

HRESULT BrowserWindow::Navigate(const std::wstring& target) {
    if (!open) return S_OK;
    Bstr address(target.c_str());
    VARIANT url = MakeVariant(VT_BSTR, address.Get()), name = MakeVariant(VT_BSTR, BSTR{});
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

std::wstring BrowserWindow::State() const {
    std::wstring state = visible ? L"visible" : shownAt > 0 ? L"hidden after showing" : L"hidden";
    if (cancelled) state += L" cancelled";
    for (int i = 0; i < quits; ++i)
        state += L" quit";
    return open ? state : state + L" closed";
}

void BrowserWindow::FireNavigateComplete2(const std::wstring& target) {
    Bstr address(target.c_str());
    VARIANT url = MakeVariant(VT_BSTR, address.Get());
    events.Fire(DISPID_NAVIGATECOMPLETE2, {MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(this)),
                                           MakeVariant(VT_BYREF | VT_VARIANT, &url)});
}

const Member<ShellWindowCollection> ShellWindowCollection::kMembers[] = {
    {L"Count",
     [](Shell& s, Call& c) {
         ++s.countReads;
         return c.Return(static_cast<LONG>(s.open_.size()));
     }},
    {L"Item",
     [](Shell& s, Call& c) {
         const LONG i = c.Arg<LONG>(0);
         if (i == s.failingItem) return E_FAIL;
         const bool listed = i >= 0 && i < static_cast<LONG>(s.open_.size());
         return c.Return(listed ? static_cast<IDispatch*>(s.open_[i]) : nullptr);
     }},
    {L"OpenWindow",
     [](Shell& s, Call& c) {
         ComPtr<BrowserWindow> window =
             s.OpenWindow(c.Arg<std::wstring>(0), c.Arg<bool>(1, false), c.Arg<bool>(2, true));
         return window ? c.Return(window->id) : E_OUTOFMEMORY;
     }},
    {L"CloseWindow",
     [](Shell& s, Call& c) {
         BrowserWindow* window = s.Find(c.Arg<LONG>(0));
         if (window) s.Revoke(window);
         return window ? S_OK : E_INVALIDARG;
     }},
    {L"Navigate", Event<Navigate>},
    {L"OpenPopup", Event<OpenPopup>},
    {L"AskFixedSize", Event<AskFixedSize>},
    {L"State", Query<&BrowserWindow::State>},
    {L"LocationURL", Query<&BrowserWindow::url>},
    {L"NewWindowTime", Query<&BrowserWindow::newWindowAt>},
    {L"QuitTime", Query<&BrowserWindow::quitAt>},
    {L"ShownTime", Query<&BrowserWindow::shownAt>},
    {L"NavigateTime", Query<&BrowserWindow::navigatedAt>},
    {L"LastWindow", [](Shell& s, Call& c) { return c.Return(s.LastId()); }},
    // The loop ends after this call has returned to the caller.
    {L"Shutdown",
     [](Shell&, Call&) {
         PostQuitMessage(0);
         return S_OK;
     }},
    {},
};

const QITAB* ShellWindowCollection::QiTable() {
    static const QITAB table[] = {
        QITABENT(ShellWindowCollection, IShellWindows),
        QITABENTMULTI(ShellWindowCollection, IDispatch, IShellWindows),
        QITABENT(ShellWindowCollection, IConnectionPointContainer),
        {},
    };
    return table;
}

HRESULT ShellWindowCollection::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    Shell* shell = Get();
    return shell ? shell->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

ShellWindowCollection* ShellWindowCollection::Get() {
    if (!gShell) gShell = ComPtr<Shell>(new (std::nothrow) Shell());
    return gShell.Get();
}

void ShellWindowCollection::Close() {
    if (!gShell) return;
    // Dropping the sinks lets the clients' objects go before the apartment does.
    for (const auto& window : gShell->all_)
        window->events.sinks.clear();
    gShell->events.sinks.clear();
    gShell.Reset();
}

ComPtr<BrowserWindow> ShellWindowCollection::MakeWindow(const std::wstring& url, bool folder,
                                                        bool visible) {
    ComPtr<BrowserWindow> window(new (std::nothrow)
                                     BrowserWindow(LastId() + 1, folder, url, visible));
    if (window) all_.push_back(window);
    return window;
}

ComPtr<BrowserWindow> ShellWindowCollection::OpenWindow(const std::wstring& url, bool folder,
                                                        bool visible, bool announce) {
    ComPtr<BrowserWindow> window = MakeWindow(url, folder, visible);
    if (!window) return window;
    open_.push_back(window.Get());
    if (announce) FireWindowEvent(DISPID_WINDOWREGISTERED, window->id);
    return window;
}

bool ShellWindowCollection::Remove(BrowserWindow* window) {
    const size_t listed = open_.size();
    open_.erase(std::remove(open_.begin(), open_.end(), window), open_.end());
    return open_.size() != listed;
}

void ShellWindowCollection::Revoke(BrowserWindow* window) {
    // A sink may close the window again while it says it quits.
    if (std::find(open_.begin(), open_.end(), window) == open_.end()) return;
    window->FireQuit();
    if (!Remove(window)) return;
    window->open = false;
    FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
}

BrowserWindow* ShellWindowCollection::FindByObject(IUnknown* object) const {
    // One of our windows that travelled out and back comes home as itself.
    ComPtr<IUnknown> identity;
    if (!object || FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return nullptr;
    for (const auto& window : all_)
        if (window->InnerUnknown() == identity.Get()) return window.Get();
    return nullptr;
}

} // namespace vx::browserdouble
