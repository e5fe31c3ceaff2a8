#include "AgentWindow.h"

#include "resource.h"

#include "common/TextForms.h"
#include "engine/RegistryClient.h"
#include "engine/XShell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace vx {

AgentWindow* theAgentWindow = nullptr;

namespace {

// Whether the icon is shown when the setting has never been stored: a new
// installation shows its icon.
constexpr LONG kShowTrayDefault = 1;

// A menu item's text for an address or a site: '&' shown as itself, and
// cut where a menu would be wider than the screen.
std::string MenuText(const std::wstring& text) {
    std::string out;
    for (char c : NarrowText(text.c_str(), text.size(), 80)) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

} // namespace

AgentWindow::AgentWindow() {
    theAgentWindow = this;
    SetTheStatusLog(&log_);
    log_.SetDisplay(this);
}

AgentWindow::~AgentWindow() {
    log_.SetDisplay(nullptr);
    if (TheStatusLog() == &log_) SetTheStatusLog(nullptr);
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

bool AgentWindow::InitInstance(HINSTANCE instance, int showCommand) {
    instance_ = instance;
    mutex_.Reset(CreateMutexA(nullptr, TRUE, kInstanceMutex));
    if (mutex_ && GetLastError() == ERROR_ALREADY_EXISTS) return false;

    LoadStringA(instance_, IDS_APP_TITLE, title_, sizeof title_);
    LoadStringA(instance_, IDC_KRELLIN, className_, sizeof className_);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_KRELLIN));
    wc.hIconSm = static_cast<HICON>(
        LoadImageA(instance_, MAKEINTRESOURCEA(IDI_KRELLIN), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_KRELLIN);
    wc.lpszClassName = className_;
    RegisterClassExA(&wc);

    window_ = CreateWindowExA(0, className_, title_,
                              WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL | WS_MINIMIZE,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance_, this);
    if (!window_) return false;
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SyncTraySetting(false);

    accelerators_ = LoadAcceleratorsA(instance_, MAKEINTRESOURCEA(IDC_KRELLIN));
    AddStatusLine("");
    return true;
}

int AgentWindow::RunMessageLoop() {
    engine_ = new (std::nothrow) XShell(this);
    UpdateTrayIcon(TrayAction::Modify, false);
    serveReady_ = 1;

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    mutex_.Reset();
    XShell* engine = engine_;
    engine_ = nullptr;
    delete engine;
    UpdateTrayIcon(TrayAction::Delete, false);
    return static_cast<int>(msg.wParam);
}

void AgentWindow::UpdateTrayIcon(TrayAction action, bool store, std::optional<LONG> total) {
    if (engine_)
        snprintf(tray_.szTip, sizeof tray_.szTip, "Vornix! Has now blocked %ld popups!",
                 static_cast<long>(total ? *total : engine_->AddBlockCount(0)));
    else
        snprintf(tray_.szTip, sizeof tray_.szTip, "Vornix! Has now blocked many popups!");

    UINT wasShown = tray_.uID;
    ScopedIcon icon;
    DWORD message = NIM_MODIFY;
    tray_.uFlags = NIF_TIP;
    if (action == TrayAction::Add) {
        icon.Reset(static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_KRELLIN),
                                                 IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
        tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        message = NIM_ADD;
    } else if (action == TrayAction::Delete) {
        tray_.uFlags = 0;
        message = NIM_DELETE;
    }
    // The record's first form, as every version of the shell reads it.
    tray_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    // Kept once the window is gone, so that the final delete finds the icon.
    if (window_) tray_.hWnd = window_;
    tray_.uID = kTrayId;
    tray_.uCallbackMessage = kTrayMessage;
    tray_.hIcon = icon.Get();
    Shell_NotifyIconA(message, &tray_);
    tray_.hIcon = nullptr;

    if (action == TrayAction::Add)
        tray_.uID = kTrayId;
    else if (action == TrayAction::Delete)
        tray_.uID = 0;
    else
        tray_.uID = wasShown;

    if (store) SyncTraySetting(true);
}

void AgentWindow::SyncTraySetting(bool save) {
    LONG show = kShowTrayDefault;
    auto work = [&](RegistryClient& client) {
        return save ? client.SetAppDWORD(L"ShowTray", TrayShown() ? 1 : 0)
                    : client.GetAppDWORD(L"ShowTray", show);
    };
    // Once the engine runs, its settings client serves the agent too.
    if (engine_) {
        engine_->UseSettings(work);
    } else {
        RegistryClient client;
        client.SetProductPath();
        work(client);
    }
    if (!save) UpdateTrayIcon(show ? TrayAction::Add : TrayAction::Delete, true);
}

void AgentWindow::ShowStatusWindow(bool show) {
    if (window_) ShowWindow(window_, show ? SW_SHOW : SW_HIDE);
}

BOOL AgentWindow::IsStatusWindowVisible() const { return window_ && IsWindowVisible(window_); }

void AgentWindow::DestroyStatusWindow() {
    if (window_) DestroyWindow(window_);
}

std::string AgentWindow::ControlPanelPath() {
    static const char kTail[] = "\\Quandrel, Inc\\Vornix! Popup Blocker\\VornixUI.exe";
    char folder[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ProgramFiles", folder, sizeof folder);
    std::string path;
    if (n == 0)
        path = "C:\\Program Files";
    else if (n < sizeof folder)
        path = folder;
    else
        return std::string();
    path += kTail;
    // A cut path could name another program: start nothing instead.
    if (path.size() >= MAX_PATH) return std::string();
    return path;
}

void AgentWindow::LaunchControlPanel() {
    std::string path = ControlPanelPath();
    if (path.empty()) return;
    ShellExecuteA(window_, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool AgentWindow::OnTrayNotify(UINT id, UINT mouseMessage) {
    HMENU popup = window_ ? GetSubMenu(GetMenu(window_), 0) : nullptr;
    if (!popup || id != tray_.uID) return false;
    if (mouseMessage == WM_RBUTTONUP || mouseMessage == NIN_BALLOONUSERCLICK) {
        POINT at;
        GetCursorPos(&at);
        ShowTrayMenu(at.x, at.y, mouseMessage == NIN_BALLOONUSERCLICK);
        return true;
    }
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        SendMessageA(tray_.hWnd, WM_COMMAND, GetMenuItemID(popup, 0), 0);
        return true;
    }
    return false;
}

void AgentWindow::ShowTrayMenu(int x, int y, bool recentOnly) {
    HMENU file = window_ ? GetSubMenu(GetMenu(window_), 0) : nullptr;
    if (!file) return;
    ScopedMenu recent(CreatePopupMenu());
    ScopedMenu menu(CreatePopupMenu());
    if (!recent || !menu) return;
    static_assert(IDM_RECENT_BLOCKED_LAST - IDM_RECENT_BLOCKED_FIRST + 1 ==
                      BlockedPopups::kMaxEntries,
                  "one command per entry");
    const BlockedPopup* latest = engine_ ? engine_->Recent().At(0) : nullptr;
    for (UINT i = 0; engine_ && i < engine_->Recent().Entries().size(); ++i)
        AppendMenuA(recent.Get(), MF_STRING, IDM_RECENT_BLOCKED_FIRST + i,
                    MenuText(engine_->Recent().Entries()[i].url).c_str());
    if (!latest) AppendMenuA(recent.Get(), MF_STRING | MF_GRAYED, 0, "(none)");
    if (!recentOnly) {
        // The submenu belongs to the menu from here on.
        AppendMenuA(menu.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(recent.Get()),
                    "Recently &blocked");
        recent.Detach();
        if (latest && !latest->openerSite.empty())
            AppendMenuA(menu.Get(), MF_STRING, IDM_ALLOW_LATEST_SITE,
                        ("&Always allow popups from " + MenuText(latest->openerSite)).c_str());
        AppendMenuA(menu.Get(), MF_SEPARATOR, 0, nullptr);
        char text[128];
        for (int i = 0, n = GetMenuItemCount(file); i < n; ++i)
            if (GetMenuStringA(file, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION))
                AppendMenuA(menu.Get(), MF_STRING, GetMenuItemID(file, i), text);
        SetMenuDefaultItem(menu.Get(), GetMenuItemID(file, 0), FALSE);
    }
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the posted message makes it close properly.
    SetForegroundWindow(window_);
    TrackPopupMenu(recentOnly ? recent.Get() : menu.Get(), TPM_RIGHTBUTTON, x, y, 0, window_,
                   nullptr);
    PostMessageA(window_, WM_USER, 0, 0);
}

void AgentWindow::BeginAppend() {
    if (window_) measureDc_ = GetDC(window_);
}

void AgentWindow::LineAppended(const std::string& line) {
    if (echo_) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    const ULONGLONG number = appended_++;
    SIZE size = {};
    if (!measureDc_ ||
        !GetTextExtentPoint32A(measureDc_, line.c_str(), static_cast<int>(line.size()), &size))
        return;
    while (!widths_.empty() && widths_.back().second <= size.cx) widths_.pop_back();
    widths_.emplace_back(number, size.cx);
    widest_ = std::max(narrowest_, widths_.front().second);
}

void AgentWindow::OldestLineDropped() {
    const ULONGLONG number = dropped_++;
    ++droppedInAppend_;
    if (!widths_.empty() && widths_.front().first == number) widths_.pop_front();
    widest_ = std::max(narrowest_, widths_.empty() ? 0 : widths_.front().second);
}

void AgentWindow::EndAppend() {
    const LONG dropped = droppedInAppend_;
    droppedInAppend_ = 0;
    if (!window_) return;
    if (measureDc_) ReleaseDC(window_, measureDc_);
    measureDc_ = nullptr;
    // Keep the same lines in view while older ones leave above them.
    if (dropped > 0) {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_POS;
        GetScrollInfo(window_, SB_VERT, &si);
        si.nPos = std::max<LONG>(0, si.nPos - dropped);
        SetScrollInfo(window_, SB_VERT, &si, FALSE);
    }
    InvalidateRect(window_, nullptr, FALSE);
}

void AgentWindow::BlockCountRaised(LONG total) { UpdateTrayIcon(TrayAction::Modify, true, total); }

void AgentWindow::ShowBlockNotice(const BlockedPopup& popup) {
    if (!TrayShown()) return;
    // The balloon's fields come with the record's second form.
    NOTIFYICONDATAA notice = {};
    notice.cbSize = NOTIFYICONDATAA_V2_SIZE;
    notice.hWnd = tray_.hWnd;
    notice.uID = kTrayId;
    notice.uFlags = NIF_INFO;
    notice.dwInfoFlags = NIIF_INFO;
    notice.uTimeout = 10000;
    snprintf(notice.szInfoTitle, sizeof notice.szInfoTitle, "Popup blocked");
    const std::string site =
        NarrowText(popup.openerSite.c_str(), popup.openerSite.size(), sizeof notice.szInfo - 1);
    snprintf(notice.szInfo, sizeof notice.szInfo, "%s",
             site.empty() ? "A page asked for a new window." : site.c_str());
    Shell_NotifyIconA(NIM_MODIFY, &notice);
}

LRESULT CALLBACK AgentWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<AgentWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<AgentWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT AgentWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_SIZE: OnSize(lParam); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_VSCROLL: OnVScroll(wParam); return 0;
    case WM_HSCROLL: OnHScroll(wParam); return 0;
    case WM_COMMAND: return OnCommand(wParam, lParam);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            ShowStatusWindow(false);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        window_ = nullptr;
        return 0;
    case kTrayMessage: return OnTrayNotify(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void AgentWindow::OnCreate() {
    HDC dc = GetDC(window_);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(window_, dc);
    cxChar_ = tm.tmAveCharWidth;
    cxCaps_ = ((tm.tmPitchAndFamily & 1) | 2) * cxChar_ / 2;
    cyChar_ = tm.tmHeight + tm.tmExternalLeading;
    if (cyChar_ <= 0) cyChar_ = 1;
    if (cxChar_ <= 0) cxChar_ = 1;
    narrowest_ = 48 * cxChar_ + 12 * cxCaps_;
    widest_ = std::max(narrowest_, widths_.empty() ? 0 : widths_.front().second);
}

void AgentWindow::OnSize(LPARAM lParam) {
    cxClient_ = LOWORD(lParam);
    cyClient_ = HIWORD(lParam);
    SetScrollBars();
}

void AgentWindow::SetScrollBars() {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    si.nMin = 0;
    si.nMax = std::max<LONG>(0, log_.LineCount() - 1);
    si.nPage = static_cast<UINT>(cyClient_ / cyChar_);
    SetScrollInfo(window_, SB_VERT, &si, TRUE);
    si.nMax = widest_ / cxChar_ + 2;
    si.nPage = static_cast<UINT>(cxClient_ / cxChar_);
    SetScrollInfo(window_, SB_HORZ, &si, TRUE);
}

void AgentWindow::OnPaint() {
    SetScrollBars();
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_POS;
    GetScrollInfo(window_, SB_VERT, &si);
    int vpos = si.nPos;
    GetScrollInfo(window_, SB_HORZ, &si);
    int hpos = si.nPos;

    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    const auto& lines = log_.Lines();
    int first = std::max(0, vpos + static_cast<int>(ps.rcPaint.top) / cyChar_);
    int last = std::min(static_cast<int>(lines.size()) - 1,
                        vpos + static_cast<int>(ps.rcPaint.bottom) / cyChar_);
    RECT client;
    GetClientRect(window_, &client);
    for (int i = first; i <= last; ++i) {
        RECT r = client;
        OffsetRect(&r, cxChar_ * (1 - hpos), cyChar_ * (i - vpos));
        r.right += widest_;
        DrawTextA(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &r,
                  DT_NOPREFIX | DT_SINGLELINE);
    }
    EndPaint(window_, &ps);
}

void AgentWindow::OnVScroll(WPARAM wParam) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(window_, SB_VERT, &si);
    int old = si.nPos;
    switch (LOWORD(wParam)) {
    case SB_LINEUP: si.nPos -= 1; break;
    case SB_LINEDOWN: si.nPos += 1; break;
    case SB_PAGEUP: si.nPos -= static_cast<int>(si.nPage); break;
    case SB_PAGEDOWN: si.nPos += static_cast<int>(si.nPage); break;
    case SB_THUMBTRACK: si.nPos = si.nTrackPos; break;
    case SB_TOP: si.nPos = si.nMin; break;
    case SB_BOTTOM: si.nPos = si.nMax; break;
    }
    si.fMask = SIF_POS;
    SetScrollInfo(window_, SB_VERT, &si, TRUE);
    GetScrollInfo(window_, SB_VERT, &si);
    if (si.nPos != old) {
        ScrollWindow(window_, 0, cyChar_ * (old - si.nPos), nullptr, nullptr);
        UpdateWindow(window_);
    }
}

void AgentWindow::OnHScroll(WPARAM wParam) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(window_, SB_HORZ, &si);
    int old = si.nPos;
    switch (LOWORD(wParam)) {
    case SB_LINELEFT: si.nPos -= 1; break;
    case SB_LINERIGHT: si.nPos += 1; break;
    case SB_PAGELEFT: si.nPos -= static_cast<int>(si.nPage); break;
    case SB_PAGERIGHT: si.nPos += static_cast<int>(si.nPage); break;
    case SB_THUMBTRACK: si.nPos = si.nTrackPos; break;
    }
    si.fMask = SIF_POS;
    SetScrollInfo(window_, SB_HORZ, &si, TRUE);
    GetScrollInfo(window_, SB_HORZ, &si);
    if (si.nPos != old) ScrollWindow(window_, cxChar_ * (old - si.nPos), 0, nullptr, nullptr);
}

LRESULT AgentWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), window_, AboutProc, 0);
        return 0;
    case IDM_EXIT_TASKBAR: UpdateTrayIcon(TrayAction::Delete, true); return 0;
    case IDM_OPEN_CONTROL_PANEL: LaunchControlPanel(); return 0;
    case IDM_ALLOW_LATEST_SITE:
        OnAllowLatestSite();
        return 0;
    }
    if (LOWORD(wParam) >= IDM_RECENT_BLOCKED_FIRST && LOWORD(wParam) <= IDM_RECENT_BLOCKED_LAST) {
        if (engine_) engine_->ShowBlocked(LOWORD(wParam) - IDM_RECENT_BLOCKED_FIRST);
        return 0;
    }
    return DefWindowProcA(window_, WM_COMMAND, wParam, lParam);
}

void AgentWindow::OnAllowLatestSite() {
    const BlockedPopup* latest = engine_ ? engine_->Recent().At(0) : nullptr;
    // A copy: saving the settings lets other events run.
    if (latest && !latest->openerSite.empty()) engine_->AllowSite(std::wstring(latest->openerSite));
}

INT_PTR CALLBACK AgentWindow::AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace vx
