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

    // A page here asks for a window for url, firing in `order` NewWindow2 (2)
    // and NewWindow3 (3, with `flags`): 2, 3, 23 or 32. The popup is the window
    // a sink supplied (null if not one of ours), else the browser's own; when a
    // sink cancels, a record of the request never opened. With `navigate` the
    // popup then goes to url.
    ComPtr<BrowserWindow> OpenPopup(const std::wstring& url, int order = 2, LONG flags = 0,
                                    bool navigate = true);
    // BeforeNavigate2 (for `frame`, when named), then NavigateComplete2
    // unless a sink cancelled; nothing once the window has gone.
    HRESULT Navigate(const std::wstring& target, const wchar_t* frame = nullptr);
    void FireNavigateComplete2(const std::wstring& target);
    void FireWindowSetResizable(bool resizable);
    void FireQuit() { events.Fire(DISPID_ONQUIT); }
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
