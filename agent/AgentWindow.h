// The agent's user-facing side: the hidden diagnostics window that shows the
// status log, its menu, the tray icon whose tip carries the block count, the
// About box, the single-instance guard, and the engine it owns while its
// message loop runs.
#pragma once

#include "common/StatusLog.h"

#include "common/Scoped.h"
#include "engine/EngineHost.h"

#include <shellapi.h>

#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace vx {

class XShell;

class AgentWindow : public StatusLogDisplay, public EngineHost {
  public:
    static constexpr UINT kTrayId = 107;
    static constexpr UINT kTrayMessage = WM_APP + 1;
    static constexpr const char* kInstanceMutex = "Krellin Instance";

    enum class TrayAction { Add, Modify, Delete };

    AgentWindow();
    virtual ~AgentWindow();
    AgentWindow(const AgentWindow&) = delete;
    AgentWindow& operator=(const AgentWindow&) = delete;

    // Single-instance check, the hidden window, the stored tray setting.
    bool InitInstance(HINSTANCE instance, int showCommand);
    // Builds the engine, pumps messages until WM_QUIT, tears down.
    int RunMessageLoop();

    void AddStatusLine(const char* text) { log_.AddStatusLine(text); }
    void AddStatusLineW(const char* prefix, BSTR text) { log_.AddStatusLineW(prefix, text); }
    void AddErrorText(DWORD code) { log_.AddErrorText(code); }

    // `total` is the count for the tip; without it the stored count is read.
    void UpdateTrayIcon(TrayAction action, bool store, std::optional<LONG> total = std::nullopt);
    void SyncTraySetting(bool save);
    void ShowStatusWindow(bool show);
    BOOL IsStatusWindowVisible() const;
    void DestroyStatusWindow();
    void LaunchControlPanel();
    // Answers whether the callback was handled.
    bool OnTrayNotify(UINT id, UINT mouseMessage);
    // The tray menu: the popups blocked lately, "Always allow popups from"
    // the latest one's site, and the File menu's commands; with
    // `recentOnly`, the list of blocked popups alone.
    void ShowTrayMenu(int x, int y, bool recentOnly = false);

    LONG ServeReady() const { return serveReady_; }
    XShell* Engine() const { return engine_; }
    bool TrayShown() const { return tray_.uID == kTrayId; }
    const char* TrayTip() const { return tray_.szTip; }
    HWND Window() const { return window_; }
    const StatusLog& Log() const { return log_; }
    LONG WidestLine() const { return widest_; }

    // Also writes every log line to standard output (ordinary runs started
    // from a console or with their output captured).
    void EchoLogToStdout(bool echo) { echo_ = echo; }

    // The control panel's program: ProgramFiles (or "C:\Program Files")
    // and the product's folder; empty when it does not fit MAX_PATH.
    static std::string ControlPanelPath();

  private:
    // StatusLogDisplay
    void BeginAppend() override;
    void LineAppended(const std::string& line) override;
    void OldestLineDropped() override;
    void EndAppend() override;
    // EngineHost
    void BlockCountRaised(LONG total) override;
    void ShowBlockNotice(const BlockedPopup& popup) override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnSize(LPARAM lParam);
    void OnPaint();
    void OnVScroll(WPARAM wParam);
    void OnHScroll(WPARAM wParam);
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    void OnAllowLatestSite();
    void SetScrollBars();

    LONG serveReady_ = 0;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    char title_[100] = {};
    char className_[100] = {};
    HACCEL accelerators_ = nullptr;
    ScopedHandle mutex_;
    // The widest line, never narrower than the width the window starts with.
    LONG widest_ = 0;
    LONG narrowest_ = 0;
    // The widths that may yet be the widest once older lines are dropped,
    // widest (and oldest) first, each with its line's number in the order of
    // appending; lines appended before the window existed have none.
    std::deque<std::pair<ULONGLONG, LONG>> widths_;
    ULONGLONG appended_ = 0;
    ULONGLONG dropped_ = 0;
    LONG droppedInAppend_ = 0;
    StatusLog log_;
    XShell* engine_ = nullptr;
    NOTIFYICONDATAA tray_{};

    int cxChar_ = 1, cxCaps_ = 1, cyChar_ = 1, cxClient_ = 0, cyClient_ = 0;
    HDC measureDc_ = nullptr;
    bool echo_ = false;
};

// The process's one agent window; null before and after it exists.
extern AgentWindow* theAgentWindow;

} // namespace vx
