// The tracker's record of one shell window (an Internet Explorer window or
// a folder window), holding a reference to its browser object.
#pragma once

#include "../common/DispatchObject.h"
#include "../common/Scoped.h"

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

    // Browser events, from this window's sink: the popup decision.
    void OnNewWindow2(IDispatch** ppDisp);
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
    std::optional<std::wstring> openerUrl;
    std::optional<std::wstring> locationUrl;
    XShell* Shell() const { return shell_; }

  private:
    enum class Event { BeforeNavigate2, NavigateComplete2, WindowSetResizable };
    void Allow();
    void Block(Event event, VARIANT_BOOL* cancel);
    // The same-site test for a new window's address; `openerSite` gets the
    // opener's site key for the log.
    bool IsSameSite(const std::wstring& url, std::wstring& openerSite);

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
