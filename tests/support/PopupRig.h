// The agent beside the scripted browser double, as on a user's desktop: the
// programs registered, browser windows open before the agent starts.
#pragma once

#include "CapturedProcess.h"
#include "LateBound.h"

namespace vx::test {

class PopupRig {
  public:
    static constexpr const wchar_t* kSettingsKey =
        L"Software\\Quandrel, Inc.\\Vornix! Popup Blocker\\1.00.000";
    static constexpr const wchar_t* kOpenerUrl = L"http://www.opener.com/index.html";
    static constexpr const wchar_t* kStartPage = L"http://start.example.net/home";
    static constexpr const wchar_t* kFavouriteUrl = L"http://www.favourite-paper.com/";

    // Once per test program; Uninstall puts the prefix back as it was.
    static HRESULT Install();
    static void Uninstall();

    PopupRig() = default;
    ~PopupRig() { Stop(); }
    PopupRig(const PopupRig&) = delete;
    PopupRig& operator=(const PopupRig&) = delete;

    // The settings service, the double with `windows` browser windows (the
    // first is the opener), then the agent, waited for until it is ready.
    HRESULT Start(int windows = 1);
    // Leaves no process behind; the agent's exit code (kNoExitCode if killed).
    DWORD Stop();

    HRESULT StartDouble();
    HRESULT OpenWindows(int windows);
    void KillDouble();
    HRESULT StartAgent();
    DWORD QuitAgent(DWORD timeoutMs = 20000);
    // Ended as a stop from outside would, or killed; COM starts a new one at
    // the next settings call.
    void EndSettingsService(bool kill = false);
    // After a kill: makes COM forget the killed servers (see RestartRpcss).
    void ForgetDeadServers();

    LateBound& Browser() { return browser_; }
    LateBound& Agent() { return agent_; }
    CapturedProcess& AgentProcess() { return agentProcess_; }
    HANDLE DoubleProcess() const { return doubleProcess_.Process(); }
    LONG Opener() const { return opener_; }
    const std::string& FailedStep() const { return failedStep_; }

    struct Outcome {
        LONG id = 0;
        bool open = false, visible = false, quit = false, cancelled = false, everShown = false;
        bool Blocked() const { return quit && cancelled && !visible && !everShown; }
        bool Shown() const { return open && visible && !quit; }
    };
    Outcome StateOf(LONG id);
    // A page in the opener asks for a new window that navigates to url.
    Outcome Popup(const wchar_t* url);

    static HRESULT WriteFavourite(const wchar_t* name, const wchar_t* url);
    static void RemoveFavourite(const wchar_t* name);
    static LONG StoredBlockCount();
    // The stored count once it reaches `expected` (or the last one read): a
    // block counted while the agent was reading the count for a client is
    // stored when that read's call completes.
    static LONG SettledBlockCount(LONG expected, DWORD timeoutMs = 5000);

  private:
    HRESULT Fail(const char* step, HRESULT hr);
    HRESULT StartServer(CapturedProcess& process, const wchar_t* file, const char* ready);

    LateBound browser_, agent_;
    CapturedProcess agentProcess_, doubleProcess_, settingsProcess_;
    LONG opener_ = 0;
    bool deadServers_ = false;
    std::string failedStep_;
};

} // namespace vx::test
