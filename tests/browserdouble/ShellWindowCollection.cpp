#include "ShellWindowCollection.h"

#include <algorithm>

namespace vx::browserdouble {

namespace {

ComPtr<ShellWindowCollection> gShell;

using Shell = ShellWindowCollection;

// A member answering what `Read` reads of the window whose id comes first.
template <auto Read> HRESULT Query(Shell& shell, Call& call) {
    BrowserWindow* window = shell.Find(call.Arg<LONG>(0));
    return window ? call.Return(std::invoke(Read, *window)) : E_INVALIDARG;
}

// A member making the open window whose id comes first fire events.
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
    // A supplied object that is not one of ours cannot be navigated from here.
    ComPtr<BrowserWindow> popup =
        opener.OpenPopup(call.Arg<std::wstring>(1), call.Arg<LONG>(2, 2), call.Arg<LONG>(3));
    return popup ? call.Return(popup->id) : E_NOINTERFACE;
}

HRESULT AskFixedSize(BrowserWindow& window, Call&) {
    window.FireWindowSetResizable(false);
    return S_OK;
}

HRESULT OpenFromScript(Shell& shell, Call& call) {
    // A script may leave out the flags: a visible browser window.
    ComPtr<BrowserWindow> window = shell.OpenWindow(
        call.Arg<std::wstring>(0), call.Arg<bool>(1, false), call.Arg<bool>(2, true));
    return window ? call.Return(window->id) : E_OUTOFMEMORY;
}

HRESULT CloseFromScript(Shell& shell, Call& call) {
    BrowserWindow* window = shell.Find(call.Arg<LONG>(0));
    if (window) shell.Revoke(window);
    return window ? S_OK : E_INVALIDARG;
}

// The loop ends after this call has returned to the caller.
HRESULT Shutdown(Shell&, Call&) {
    PostQuitMessage(0);
    return S_OK;
}

} // namespace

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
         // An index past the end reads as an empty slot.
         const bool listed = i >= 0 && i < static_cast<LONG>(s.open_.size());
         return c.Return(listed ? static_cast<IDispatch*>(s.open_[i]) : nullptr);
     }},
    {L"OpenWindow", OpenFromScript},
    {L"CloseWindow", CloseFromScript},
    {L"Navigate", Event<Navigate>},
    {L"OpenPopup", Event<OpenPopup>},
    {L"AskFixedSize", Event<AskFixedSize>},
    {L"IsOpen", Query<&BrowserWindow::open>},
    {L"IsVisible", Query<&BrowserWindow::visible>},
    {L"WasQuit", Query<&BrowserWindow::WasQuit>},
    {L"WasCancelled", Query<&BrowserWindow::cancelled>},
    {L"LocationURL", Query<&BrowserWindow::url>},
    {L"NewWindowTime", Query<&BrowserWindow::newWindowAt>},
    {L"QuitTime", Query<&BrowserWindow::quitAt>},
    {L"ShownTime", Query<&BrowserWindow::shownAt>},
    {L"NavigateTime", Query<&BrowserWindow::navigatedAt>},
    {L"LastWindow", [](Shell& s, Call& c) { return c.Return(s.LastId()); }},
    {L"ProcessId",
     [](Shell&, Call& c) { return c.Return(static_cast<LONG>(GetCurrentProcessId())); }},
    {L"Shutdown", Shutdown},
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
    ShellWindowCollection* shell = Get();
    return shell ? shell->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

ShellWindowCollection* ShellWindowCollection::Get() {
    if (!gShell) gShell = ComPtr<ShellWindowCollection>(new (std::nothrow) ShellWindowCollection());
    return gShell.Get();
}

void ShellWindowCollection::Close() {
    if (!gShell) return;
    // Windows hold no reference back; dropping the sinks lets the clients'
    // objects go before the apartment does.
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
    // As the browser does: the window says it quits, then the shell drops it.
    // A sink may close it again meanwhile.
    if (std::find(open_.begin(), open_.end(), window) == open_.end()) return;
    window->FireQuit();
    if (!Remove(window)) return;
    window->open = false;
    FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
}

BrowserWindow* ShellWindowCollection::Find(LONG id) const {
    return id >= 1 && id <= LastId() ? all_[id - 1].Get() : nullptr;
}

BrowserWindow* ShellWindowCollection::FindByObject(IUnknown* object) const {
    // A reference to one of our windows that travelled out and back is
    // unmarshalled to the window itself, so identities compare.
    ComPtr<IUnknown> identity;
    if (!object || FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return nullptr;
    for (const auto& window : all_)
        if (window->InnerUnknown() == identity.Get()) return window.Get();
    return nullptr;
}

} // namespace vx::browserdouble
