// The tracker's record of one shell window (an Internet Explorer window or
// a folder window), holding a reference to its browser object.
#pragma once

#include "common/DispatchObject.h"
#include "common/Scoped.h"

#include <ocidl.h>

#include <optional>
#include <string>

namespace vx {

class XShell;
class WebBrowserEvents2;

class Explorer : public DispatchObject {
  public:
    Explorer(XShell* shell, IDispatch* browser);
    ~Explorer() override;

    // Attaches a browser event sink unless one is attached already.
    void Connect();
    // Whether the window is an Internet Explorer window ("iexplore.exe" in
    // FullName, any case); cached once answered.
    bool IsIE();
    // Reads, canonicalises and caches LocationURL; empty on failure.
    std::wstring GetLocationURL();

    // Visible counts as true when it cannot be read.
    bool GetVisible();
    void PutVisible(bool visible);
    void Quit();
    HRESULT Navigate(const std::wstring& url);

    // Browser events, from this window's sink: the popup decision.
    void OnNewWindow2(IDispatch** ppDisp);
    void OnNewWindow3(IDispatch** ppDisp, VARIANT_BOOL* cancel, ULONG flags, const wchar_t* url);
    void OnBeforeNavigate2(VARIANT* url, VARIANT* targetFrameName, VARIANT_BOOL* cancel);
    void OnNavigateComplete2(VARIANT* url);
    void OnWindowSetResizable(bool resizable);
    // The window says it is going away.
    void OnQuit();

    // Stops events from reaching this record (no outgoing call).
    void Silence();
    // Silences the sink and disconnects it from the browser.
    void Disconnect();

    bool IsConnected() const { return sink_ != nullptr; }
    bool pending = false;
    // Set by the window's own quit event: the record goes at the next
    // revocation or reconciliation, pending or not.
    bool quit = false;
    // Handed out by this engine for a new-window request and not navigated
    // yet: the other new-window event of the same request finds it.
    bool supplied = false;
    // NewWindow3's news: the user clicked for the window; an override key
    // was held (as good as held bypass keys).
    bool userInitiated = false;
    bool overrideKey = false;
    std::optional<std::wstring> openerUrl;
    std::optional<std::wstring> locationUrl;
    XShell* Shell() const { return shell_; }

    // The events that can block a window, named in the log.
    enum class Event { BeforeNavigate2, NavigateComplete2, WindowSetResizable, NewWindow3 };

  private:
    void Allow();
    // Counts the block, cancels the event (when it can be), quits the window.
    void Block(Event event, VARIANT_BOOL* cancel, const std::wstring& url);
    // The first navigation of a pending window: url is where it goes,
    // pageUrl the address the same-site rule looks at.
    void Judge(Event event, const std::wstring& url, const std::wstring& pageUrl,
               VARIANT_BOOL* cancel);
    // The window this engine already handed out for the same request, if
    // *ppDisp holds one; otherwise hands one out through ppDisp.
    Explorer* SuppliedFor(IDispatch** ppDisp) const;
    Explorer* Supply(IDispatch** ppDisp);

    XShell* shell_;
    // The record holds a counted reference besides the connection point's,
    // so that it can still reach the sink if the browser drops it first.
    ComPtr<IUnknown> sinkRef_;
    WebBrowserEvents2* sink_ = nullptr;
    DWORD cookie_ = 0;
    ComPtr<IConnectionPoint> point_;
    bool fullNameRead_ = false;
    bool isIE_ = false;
};

} // namespace vx
