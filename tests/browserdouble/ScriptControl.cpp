#include "ScriptControl.h"

#include "ShellWindowCollection.h"

namespace vx::browserdouble {

namespace {

// The collection is made before any script object, so never null here.
ShellWindowCollection& Shell() {
    return *ShellWindowCollection::Get();
}

// A member answering what `Read` reads of the window whose id comes first.
template <auto Read> HRESULT Query(ScriptControl&, Call& call) {
    BrowserWindow* window = Shell().Find(call.Arg<LONG>(0));
    return window ? call.Return(std::invoke(Read, *window)) : E_INVALIDARG;
}

// A member making the open window whose id comes first fire events.
template <HRESULT (*Fire)(BrowserWindow&, Call&)> HRESULT Event(ScriptControl&, Call& call) {
    BrowserWindow* window = Shell().Find(call.Arg<LONG>(0));
    if (!window) return E_INVALIDARG;
    return window->open ? Fire(*window, call) : HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
}

HRESULT Navigate(BrowserWindow& window, Call& call) {
    const std::wstring url = call.Arg<std::wstring>(1);
    if (SUCCEEDED(call.Result())) window.Navigate(url);
    return call.Return(window.cancelled);
}

HRESULT OpenPopup(BrowserWindow& opener, Call& call) {
    const std::wstring url = call.Arg<std::wstring>(1);
    const LONG order = call.Arg<LONG>(2, 2), flags = call.Arg<LONG>(3);
    if (FAILED(call.Result())) return call.Result();
    // A supplied object that is not one of ours cannot be navigated from here.
    ComPtr<BrowserWindow> popup = opener.OpenPopup(url, order, flags);
    return popup ? call.Return(popup->id) : E_NOINTERFACE;
}

HRESULT AskFixedSize(BrowserWindow& window, Call&) {
    window.FireWindowSetResizable(false);
    return S_OK;
}

HRESULT OpenWindow(ScriptControl&, Call& call) {
    // A script may leave out the flags: a visible browser window.
    const std::wstring url = call.Arg<std::wstring>(0);
    const bool folder = call.Arg<bool>(1, false), visible = call.Arg<bool>(2, true);
    if (FAILED(call.Result())) return call.Result();
    ComPtr<BrowserWindow> window = Shell().OpenWindow(url, folder, visible);
    return window ? call.Return(window->id) : E_OUTOFMEMORY;
}

HRESULT CloseWindow(ScriptControl&, Call& call) {
    BrowserWindow* window = Shell().Find(call.Arg<LONG>(0));
    if (window) Shell().Revoke(window);
    return window ? S_OK : E_INVALIDARG;
}

// The loop ends after this call has returned to the caller.
HRESULT Shutdown(ScriptControl&, Call&) {
    PostQuitMessage(0);
    return S_OK;
}

} // namespace

const Member<ScriptControl> ScriptControl::kMembers[] = {
    {L"OpenWindow", OpenWindow},
    {L"CloseWindow", CloseWindow},
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
    {L"LastWindow", [](ScriptControl&, Call& c) { return c.Return(Shell().LastId()); }},
    {L"ProcessId",
     [](ScriptControl&, Call& c) { return c.Return(static_cast<LONG>(GetCurrentProcessId())); }},
    {L"Shutdown", Shutdown},
    {},
};

HRESULT ScriptControl::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    ComPtr<ScriptControl> script(ShellWindowCollection::Get() ? new (std::nothrow) ScriptControl()
                                                              : nullptr);
    return script ? script->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

} // namespace vx::browserdouble
