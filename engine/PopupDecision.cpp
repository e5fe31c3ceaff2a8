// The popup decision: what a browser window's events do to it. A page asks
// for a new window (NewWindow2, NewWindow3, or both in either order); the
// engine supplies one hidden, or refuses the request at once when no rule
// could let its address through. A window the engine supplied, or saw
// appear after start-up, is pending until its first navigation, which shows
// it or cancels and closes it. The rules, in the order they are asked:
// the user clicked for it, the opener's site, a site the user allows, then
// the addresses always allowed (held bypass keys, the start page, pages of
// installed programs, resource pages, the maker's site, a favourite's site).
#include "AllowRules.h"
#include "Explorer.h"
#include "XShell.h"

#include "common/Product.h"
#include "common/StatusLog.h"
#include "common/TextForms.h"
#include "common/UrlForms.h"

#include <cstdio>
#include <string>

namespace vx {

namespace {

// NewWindow3's flags: the user clicked for the window; a key that overrides
// the blocker was held.
constexpr ULONG kUserInitiated = 0x2;
constexpr ULONG kOverrideKey = 0x8;

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

void LogWithText(const std::string& prefix, const std::wstring& text) {
    AddStatusLineW(prefix.c_str(), SysAllocString(text.c_str()));
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

bool IsStartPage(const std::wstring& url) {
    return _wcsicmp(url.c_str(), StartPageUrl().c_str()) == 0;
}

bool IsInstalledProgramPage(const std::wstring& url) {
    return StartsWith(url, L"file:") && url.find(ProgramFilesUrl()) != std::wstring::npos;
}

bool IsResourcePage(const std::wstring& url) {
    return StartsWith(url, L"res:");
}

bool IsMakerSite(const std::wstring& host) {
    return IsHostOnSite(host, kMakerDomainW);
}

// A window with nothing in it yet may still be written into by its page.
bool IsBlankPage(const std::wstring& url) {
    return url.empty() || _wcsicmp(url.c_str(), L"about:blank") == 0;
}

void LogUnknownUrl(const std::wstring& url) {
    LogWithText("New IE Window Blocked, unknown URL : ", LowerText(url));
}

} // namespace

bool XShell::SameSiteRule(const std::wstring& url, const std::wstring& openerUrl,
                          std::wstring* site) {
    if (!settings.AllowSameSite) return false;
    *site = LowerText(SiteKey(openerUrl.c_str()));
    return IsHostOnSite(UrlHost(url.c_str()), *site);
}

bool XShell::AllowedSiteRule(const std::wstring& openerUrl, std::wstring* site) const {
    const std::wstring host = UrlHost(openerUrl.c_str());
    for (const std::wstring& allowed : settings.AllowedSites)
        if (IsHostOnSite(host, allowed)) {
            *site = allowed;
            return true;
        }
    return false;
}

bool XShell::IsKnownUrl(std::wstring url, bool bypass) {
    bypass = bypass || BypassKeysDown();
    bool start = IsStartPage(url);
    bool local = IsInstalledProgramPage(url);
    bool resource = IsResourcePage(url);
    url = LowerText(std::move(url));
    // Sites are matched on the host alone: a site's name elsewhere in the
    // address (a query, a path, a user name) lets nothing through.
    const std::wstring host = UrlHost(url.c_str());
    bool maker = IsMakerSite(host);
    bool favorite = false;
    if (!bypass && !start && !local && !maker && !resource) {
        favorite = favorites_.IsFavorite(host);
        if (favorite) AddStatusLine("Favorite Popup Allowed...");
    }
    if (start || starting_ || bypass || favorite || local || resource || maker) {
        LogWithText("New IE Window Found : ", url);
        return true;
    }
    LogUnknownUrl(url);
    return false;
}

bool XShell::IsCertainBlock(const std::wstring& url, const std::wstring& openerUrl) {
    std::wstring site;
    if (IsBlankPage(url) || starting_ || SameSiteRule(url, openerUrl, &site) ||
        AllowedSiteRule(openerUrl, &site) || IsStartPage(url) || IsInstalledProgramPage(url) ||
        IsResourcePage(url))
        return false;
    const std::wstring host = UrlHost(LowerText(url).c_str());
    return !IsMakerSite(host) && !favorites_.IsFavorite(host);
}

namespace {

const char* EventName(Explorer::Event event) {
    static const char* const names[] = {"BeforeNavigate2", "NavigateComplete2",
                                        "WindowSetResizable", "NewWindow3"};
    return names[static_cast<int>(event)];
}

void LogBlock(Explorer::Event event, LONG total) {
    char line[128];
    snprintf(line, sizeof line, "%s Event : New Popup Blocked! Total Now %ld", EventName(event),
             static_cast<long>(total));
    AddStatusLine(line);
}

} // namespace

void Explorer::Allow() {
    pending = false;
    if (!GetVisible()) PutVisible(true);
}

void Explorer::Block(Event event, VARIANT_BOOL* cancel, const std::wstring& url) {
    // Judged once: clear the flag before any outgoing call, during which
    // another event of this window could arrive.
    pending = false;
    // The alert and the tray (a call to the tray's process and a settings
    // call) wait until the window has been told to quit.
    LONG total = shell_->AddBlockCount(1);
    LogBlock(event, total);
    if (cancel) *cancel = VARIANT_TRUE;
    Quit();
    shell_->AnnounceBlock(total, url, openerUrl.value_or(L""));
}

void Explorer::Judge(Event event, const std::wstring& url, const std::wstring& pageUrl,
                     VARIANT_BOOL* cancel) {
    const std::string prefix = std::string(EventName(event)) + " Event : ";
    const std::wstring opener = openerUrl.value_or(L"");
    std::wstring site;
    if (shell_->UserInitiatedRule(userInitiated)) {
        Allow();
        AddStatusLine((prefix + "User Initiated Popup Allowed").c_str());
    } else if (shell_->SameSiteRule(pageUrl, opener, &site)) {
        Allow();
        LogWithText(prefix + "Same Site Allowed : ", site);
    } else if (shell_->AllowedSiteRule(opener, &site)) {
        Allow();
        LogWithText(prefix + "Allowed Site : ", site);
    } else if (shell_->IsKnownUrl(url, overrideKey)) {
        Allow();
    } else {
        Block(event, cancel, url);
    }
}

Explorer* Explorer::SuppliedFor(IDispatch** ppDisp) const {
    Explorer* record = ppDisp && *ppDisp ? shell_->FindExplorer(*ppDisp) : nullptr;
    return record && record->supplied ? record : nullptr;
}

Explorer* Explorer::Supply(IDispatch** ppDisp) {
    Explorer* popup = shell_->AddExplorer(ppDisp ? *ppDisp : nullptr);
    // No window to offer: the browser then opens one itself, which the
    // tracker meets as a new pending window.
    if (!popup || !ppDisp) return nullptr;
    IDispatch* previous = *ppDisp;
    *ppDisp = popup->Dispatch();
    if (*ppDisp) (*ppDisp)->AddRef();
    if (previous) previous->Release();
    popup->supplied = true;
    return popup;
}

void Explorer::OnNewWindow2(IDispatch** ppDisp) {
    XShell::Busy busy(shell_);
    // NewWindow3 came first and supplied the window.
    if (SuppliedFor(ppDisp)) return;
    Explorer* popup = Supply(ppDisp);
    if (!popup || shell_->BypassKeysDown()) return;
    AddStatusLine("NewWindow2 Event : IE Popup Attempt...");
    popup->pending = true;
    popup->openerUrl = GetLocationURL();
}

void Explorer::OnNewWindow3(IDispatch** ppDisp, VARIANT_BOOL* cancel, ULONG flags,
                            const wchar_t* url) {
    XShell::Busy busy(shell_);
    const std::wstring target = CanonicalUrl(url ? url : L"");
    const bool clicked = shell_->UserInitiatedRule(flags & kUserInitiated);
    const bool bypass = (flags & kOverrideKey) || shell_->BypassKeysDown();
    if (Explorer* popup = SuppliedFor(ppDisp)) {
        // NewWindow2 supplied the window: the flags and the address are news.
        popup->userInitiated = (flags & kUserInitiated) != 0;
        popup->overrideKey = (flags & kOverrideKey) != 0;
        if (popup->pending && popup->openerUrl && !clicked && !bypass &&
            shell_->IsCertainBlock(target, *popup->openerUrl)) {
            LogUnknownUrl(target);
            popup->Block(Event::NewWindow3, cancel, target);
        }
        return;
    }
    std::wstring opener;
    if (!bypass) {
        opener = GetLocationURL();
        AddStatusLine("NewWindow3 Event : IE Popup Attempt...");
        if (!clicked && shell_->IsCertainBlock(target, opener)) {
            // Refused before any window is made.
            LogUnknownUrl(target);
            LONG total = shell_->AddBlockCount(1);
            LogBlock(Event::NewWindow3, total);
            if (cancel) *cancel = VARIANT_TRUE;
            shell_->AnnounceBlock(total, target, opener);
            return;
        }
    }
    Explorer* popup = Supply(ppDisp);
    if (!popup) return;
    popup->userInitiated = (flags & kUserInitiated) != 0;
    popup->overrideKey = (flags & kOverrideKey) != 0;
    if (bypass) return;
    popup->pending = true;
    popup->openerUrl = opener;
}

void Explorer::OnBeforeNavigate2(VARIANT* url, VARIANT* targetFrameName, VARIANT_BOOL* cancel) {
    XShell::Busy busy(shell_);
    std::wstring target = CanonicalArgument(url);
    if (!ArgumentText(targetFrameName)) LogWithText("BeforeNavigate2 Event : ", target);
    supplied = false;
    if (pending) Judge(Event::BeforeNavigate2, target, target, cancel);
}

void Explorer::OnNavigateComplete2(VARIANT* url) {
    XShell::Busy busy(shell_);
    std::wstring target = CanonicalArgument(url);
    LogWithText("NavigateComplete2 Event : ", target);
    GetLocationURL();
    supplied = false;
    if (pending) Judge(Event::NavigateComplete2, target, locationUrl.value_or(L""), nullptr);
}

void Explorer::OnQuit() {
    quit = true;
    shell_->WindowQuitting();
}

void Explorer::OnWindowSetResizable(bool resizable) {
    XShell::Busy busy(shell_);
    if (resizable || overrideKey || shell_->BypassKeysDown() || !shell_->settings.KillFixedSize)
        return;
    Block(Event::WindowSetResizable, nullptr, locationUrl.value_or(L""));
}

} // namespace vx
