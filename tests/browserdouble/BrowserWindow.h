// A browser window as the agent sees it: FullName, LocationURL, Visible,
// Quit and Navigate by name, and the DWebBrowserEvents2 connection point.
// Served across processes by BrowserDouble.exe, and in-process to the
// engine's tests, which read and set its state directly.
#pragma once

#include "EventPoint.h"
#include "NamedDispatch.h"

#include <exdisp.h>

#include <string>

namespace vx::browserdouble {

class BrowserWindow : public NamedDispatch<BrowserWindow, IDispatch, IConnectionPointContainer> {
  public:
    static const Member<BrowserWindow> kMembers[];
    static const QITAB* QiTable();
    // A new hidden browser window, as the browser application class makes.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    BrowserWindow(LONG id, bool folder, std::wstring url, bool visible);

    // A page in this window asks for a new one to show url. `order` names
    // the new-window events in the order they fire: 2 (NewWindow2), 3
    // (NewWindow3, with `flags`), 23 or 32. The popup is the window a sink
    // supplied, else one the browser opens itself; when a sink cancels, it
    // is a record of the refused request that was never opened. With
    // `navigate` the popup then navigates to url. Null for a supplied object
    // that is not one of this process's windows.
    ComPtr<BrowserWindow> OpenPopup(const std::wstring& url, int order = 2, LONG flags = 0,
                                    bool navigate = true);
    // BeforeNavigate2 (for `frame`, when named), then NavigateComplete2
    // unless a sink cancelled; nothing once the window has gone.
    HRESULT Navigate(const std::wstring& target, const wchar_t* frame = nullptr);
    void FireNavigateComplete2(const std::wstring& target);
    void FireWindowSetResizable(bool resizable);
    void FireQuit() { events.Fire(DISPID_ONQUIT); }
    HRESULT Show(bool show);
    HRESULT Quit();
    bool WasQuit() const { return quitAt != 0; }

    const LONG id;
    EventPoint events{this, DIID_DWebBrowserEvents2};
    std::wstring fullName, url;
    bool visible, open = true, cancelled = false;
    // Seconds on the performance counter; 0 for never.
    double newWindowAt = 0, quitAt = 0, shownAt = 0, navigatedAt = 0;
    // Quit calls, for the in-process tests.
    int quits = 0;
};

} // namespace vx::browserdouble
