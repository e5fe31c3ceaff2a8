// The popup decision: what a browser window's events do to it. A window the
// engine supplied, or saw appear after start-up, is pending until its first
// navigation, which shows it or cancels and closes it.
#include "Explorer.h"
#include "XShell.h"

#include "../common/StatusLog.h"
#include "../common/TextForms.h"
#include "../common/UrlForms.h"

#include <cstdio>

namespace vx {

namespace {

// The string an event argument carries, or null when it carries none.
const wchar_t* ArgumentText(const VARIANT* v) {
    while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    if (!v) return nullptr;
    if (V_VT(v) == VT_BSTR) return V_BSTR(v);
    if (V_VT(v) == (VT_BYREF | VT_BSTR) && V_BSTRREF(v)) return *V_BSTRREF(v);
    return nullptr;
}

std::wstring CanonicalArgument(const VARIANT* v) {
    const wchar_t* text = ArgumentText(v);
    return CanonicalUrl(text ? text : L"");
}

void LogWithText(const char* prefix, const std::wstring& text) {
    AddStatusLineW(prefix, SysAllocString(text.c_str()));
}

} // namespace

bool Explorer::IsSameSite(const std::wstring& url, std::wstring& openerSite) {
    openerSite = LowerText(SiteKey(openerUrl.value_or(L"").c_str()));
    return IsHostOnSite(UrlHost(url.c_str()), openerSite);
}

void Explorer::Allow() {
    pending = false;
    if (!GetVisible()) PutVisible(true);
}

void Explorer::Block(Event event, VARIANT_BOOL* cancel) {
    // Judged once: clear the flag before any outgoing call, during which
    // another event of this window could arrive.
    pending = false;
    // The alert and the tray (a call to the tray's process and a settings
    // call) wait until the window has been told to quit.
    LONG total = shell_->AddBlockCount(1, false);
    static const char* const texts[] = {
        "BeforeNavigate2 Event : New Popup Blocked! Total Now %ld",
        "NavigateComplete2 Event : New Popup Blocked! Total Now %ld",
        "WindowSetResizable Event : New Popup Blocked! Total Now %ld",
    };
    char line[128];
    snprintf(line, sizeof line, texts[static_cast<int>(event)], static_cast<long>(total));
    AddStatusLine(line);
    if (event == Event::BeforeNavigate2 && cancel) *cancel = VARIANT_TRUE;
    Quit();
    shell_->AnnounceBlock(total);
}

void Explorer::OnNewWindow2(IDispatch** ppDisp) {
    XShell::Busy busy(shell_);
    Explorer* supplied = shell_->AddExplorer(ppDisp ? *ppDisp : nullptr);
    // No window to offer: the browser then opens one itself, which the
    // tracker meets as a new pending window.
    if (!supplied || !ppDisp) return;
    IDispatch* previous = *ppDisp;
    *ppDisp = supplied->Dispatch();
    if (*ppDisp) (*ppDisp)->AddRef();
    if (previous) previous->Release();

    if (shell_->BypassKeysDown()) return;
    AddStatusLine("NewWindow2 Event : IE Popup Attempt...");
    supplied->pending = true;
    supplied->openerUrl = GetLocationURL();
}

void Explorer::OnBeforeNavigate2(VARIANT* url, VARIANT* targetFrameName, VARIANT_BOOL* cancel) {
    XShell::Busy busy(shell_);
    std::wstring target = CanonicalArgument(url);
    if (!ArgumentText(targetFrameName)) LogWithText("BeforeNavigate2 Event : ", target);
    if (!pending) return;
    std::wstring openerSite;
    if (shell_->AllowSameSite && IsSameSite(target, openerSite)) {
        Allow();
        LogWithText("BeforeNavigate2 Event : Same Site Allowed : ", openerSite);
        return;
    }
    if (shell_->IsKnownUrl(target))
        Allow();
    else
        Block(Event::BeforeNavigate2, cancel);
}

void Explorer::OnNavigateComplete2(VARIANT* url) {
    XShell::Busy busy(shell_);
    std::wstring target = CanonicalArgument(url);
    LogWithText("NavigateComplete2 Event : ", target);
    GetLocationURL();
    if (!pending) return;
    std::wstring openerSite;
    if (shell_->AllowSameSite && IsSameSite(locationUrl.value_or(L""), openerSite)) {
        Allow();
        LogWithText("NavigateComplete2 Event : Same Site Allowed : ", openerSite);
        return;
    }
    if (shell_->IsKnownUrl(target))
        Allow();
    else
        Block(Event::NavigateComplete2, nullptr);
}

void Explorer::OnQuit() {
    quit = true;
    shell_->WindowQuitting();
}

void Explorer::OnWindowSetResizable(bool resizable) {
    XShell::Busy busy(shell_);
    if (resizable || shell_->BypassKeysDown() || !shell_->KillFixedSize) return;
    Block(Event::WindowSetResizable, nullptr);
}

} // namespace vx
