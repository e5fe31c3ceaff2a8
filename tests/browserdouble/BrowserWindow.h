// A browser window as the agent sees it: FullName, LocationURL, Visible,
// Quit and Navigate by name, and the DWebBrowserEvents2 connection point.
// Served across processes by BrowserDouble.exe, and in-process to the
// engine's tests, which may also make its members fail and count its calls.
#pragma once

#include "EventPoint.h"
#include "NamedDispatch.h"

#include "common/ComObject.h"

#include <map>
#include <string>

namespace vx::browserdouble {

class ShellWindowCollection;

// Seconds on the performance counter; 0 stands for "never".
double SecondsNow();

// NewWindow3's flags.
constexpr LONG kUserInitiated = 0x2;
constexpr LONG kOverrideKey = 0x8;

class BrowserWindow : public ComObject<BrowserWindow, IDispatch, IConnectionPointContainer> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable();
    // A new hidden browser window, as the browser application class makes.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    BrowserWindow(ShellWindowCollection* shell, LONG id, bool folder, std::wstring url,
                  bool visible);

    VX_NAMED_DISPATCH_METHODS(kNames)
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // A page in this window asks for a new one to show url. `events` names
    // the new-window events in the order they fire: 2 (NewWindow2), 3
    // (NewWindow3, with `flags`), 23 or 32. The popup is the window a sink
    // supplied, else one the browser opens itself; when a sink cancels, it
    // is a record of the refused request that was never opened. With
    // `navigate` the popup then navigates to url. Null for a supplied object
    // that is not one of this process's windows.
    ComPtr<BrowserWindow> OpenPopup(const std::wstring& url, int events = 2, LONG flags = 0,
                                    bool navigate = true);
    // BeforeNavigate2 (for `frame`, when named), then NavigateComplete2
    // unless a sink cancelled or the window went away meanwhile.
    void Navigate(const std::wstring& url, const wchar_t* frame = nullptr);
    void FireNavigateComplete2(const std::wstring& url);
    void FireWindowSetResizable(bool resizable);
    // OnQuit, while the window is still in the collection.
    void FireQuit();

    void SetUrl(std::wstring url) { url_ = std::move(url); }
    void Close() { open_ = false; }
    void DropSinks() { events_.DropSinks(); }
    EventPoint& Events() { return events_; }

    LONG Id() const { return id_; }
    bool IsOpen() const { return open_; }
    bool IsVisible() const { return visible_; }
    bool WasQuit() const { return quitAt_ != 0; }
    bool WasCancelled() const { return cancelled_; }
    const std::wstring& Url() const { return url_; }
    LONG SinkCount() const { return events_.SinkCount(); }
    double NewWindowAt() const { return newWindowAt_; }
    double QuitAt() const { return quitAt_; }
    double ShownAt() const { return shownAt_; }
    double NavigatedAt() const { return navigatedAt_; }

    // For the in-process tests: the FullName answered, the members that
    // fail (by name) with their codes, and how often members were called.
    std::wstring fullName;
    std::map<std::wstring, HRESULT> failures;
    int quits = 0, visiblePuts = 0, fullNameReads = 0;

  private:
    enum : DISPID { kFullName = 1, kLocationUrl, kVisible, kQuit, kNavigate };
    static constexpr DispatchName kNames[] = {
        {L"FullName", kFullName}, {L"LocationURL", kLocationUrl}, {L"Visible", kVisible},
        {L"Quit", kQuit},         {L"Navigate", kNavigate},
    };

    // Each answers whether a sink cancelled; ppDisp carries the window.
    bool FireNewWindow2(IDispatch** ppDisp);
    bool FireNewWindow3(IDispatch** ppDisp, LONG flags, const std::wstring& url);
    HRESULT PutVisible(DISPPARAMS* params);
    void Quit();

    ShellWindowCollection* shell_;
    EventPoint events_;
    LONG id_;
    std::wstring url_;
    bool visible_;
    bool open_ = true;
    bool cancelled_ = false;
    double newWindowAt_ = 0;
    double quitAt_ = 0;
    double shownAt_ = 0;
    double navigatedAt_ = 0;
};

} // namespace vx::browserdouble
