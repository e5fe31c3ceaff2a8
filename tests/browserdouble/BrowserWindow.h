// A browser window as the agent sees it: FullName, LocationURL, Visible and
// Quit by name, and the DWebBrowserEvents2 connection point.
#pragma once

#include "EventPoint.h"
#include "NamedDispatch.h"

#include "common/ComObject.h"

#include <string>

namespace vx::browserdouble {

class ShellWindowCollection;

// Seconds on the performance counter; 0 stands for "never".
double SecondsNow();

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

    // A page in this window asks for a new one; returns what the sinks put
    // into ppDisp.
    ComPtr<IDispatch> FireNewWindow2(bool* cancel);
    // BeforeNavigate2, then NavigateComplete2 unless a sink cancelled or the
    // window went away meanwhile.
    void Navigate(const std::wstring& url);
    void FireWindowSetResizable(bool resizable);
    // OnQuit, while the window is still in the collection.
    void FireQuit();

    void MarkPopup(LONG openerId, double newWindowAt);
    void Close() { open_ = false; }
    void DropSinks() { events_.DropSinks(); }

    LONG Id() const { return id_; }
    bool IsOpen() const { return open_; }
    bool IsVisible() const { return visible_; }
    bool WasQuit() const { return quitAt_ != 0; }
    bool WasCancelled() const { return cancelled_; }
    const std::wstring& Url() const { return url_; }
    LONG OpenerId() const { return openerId_; }
    LONG SinkCount() const { return events_.SinkCount(); }
    double NewWindowAt() const { return newWindowAt_; }
    double QuitAt() const { return quitAt_; }
    double ShownAt() const { return shownAt_; }
    double NavigatedAt() const { return navigatedAt_; }

  private:
    enum : DISPID { kFullName = 1, kLocationUrl, kVisible, kQuit };
    static constexpr DispatchName kNames[] = {
        {L"FullName", kFullName},
        {L"LocationURL", kLocationUrl},
        {L"Visible", kVisible},
        {L"Quit", kQuit},
    };

    HRESULT PutVisible(DISPPARAMS* params);
    void Quit();

    ShellWindowCollection* shell_;
    EventPoint events_;
    LONG id_;
    bool folder_;
    std::wstring url_;
    bool visible_;
    bool open_ = true;
    bool cancelled_ = false;
    LONG openerId_ = 0;
    double newWindowAt_ = 0;
    double quitAt_ = 0;
    double shownAt_ = 0;
    double navigatedAt_ = 0;
};

} // namespace vx::browserdouble
