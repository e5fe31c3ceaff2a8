// The agent Krellin running beside the scripted browser double, as a user's
// desktop would have them: the programs registered, the settings key at its
// defaults, a start page and a favourite, browser windows open before the
// agent starts, the agent's status log captured from its standard output.
// Used by the end-to-end tests and the end-to-end benchmark.
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

    // Once per test program: registers the four programs from the test's
    // folder and prepares the settings key, the start page and a favourite.
    static HRESULT Install();
    // Unregisters the double, puts the start page back, drops the favourite.
    static void Uninstall();

    PopupRig() = default;
    ~PopupRig() { Stop(); }
    PopupRig(const PopupRig&) = delete;
    PopupRig& operator=(const PopupRig&) = delete;

    // The double with `windows` browser windows (the first is the opener),
    // then the agent, waited for until it reports itself ready.
    HRESULT Start(int windows = 1);
    // Quits the agent, shuts the double down and ends the settings service,
    // so that no process is left for the next test program. Answers the
    // agent's exit code (kNoExitCode when it had to be ended by force).
    DWORD Stop();

    HRESULT StartDouble();
    // Opens `windows` browser windows in the double (the first is the opener).
    HRESULT OpenWindows(int windows);
    void KillDouble();
    HRESULT StartAgent();
    // Ends the settings service as a stop from outside would (it revokes
    // its class object); COM starts a new one at the next settings call.
    void EndSettingsService();
    // Kills it instead; answers how many processes there were.
    size_t KillSettingsService();
    // After a kill: ends the settings service and makes COM forget the
    // killed servers' registrations (see RestartRpcss), so that they can be
    // started again. The agent and a live double keep running but can no
    // longer be reached through new activations.
    void ForgetDeadServers();
    // Quit through the automation object; the agent's exit code once it
    // has ended and closed its output.
    DWORD QuitAgent(DWORD timeoutMs = 20000);

    LateBound& Browser() { return browser_; }
    LateBound& Agent() { return agent_; }
    CapturedProcess& AgentProcess() { return agentProcess_; }
    HANDLE DoubleProcess() const { return doubleProcess_.Get(); }
    LONG Opener() const { return opener_; }
    // What went wrong in Start, for the test's message.
    const std::string& FailedStep() const { return failedStep_; }

    // What the double knows of one window.
    struct Outcome {
        LONG id = 0;
        bool open = false, visible = false, quit = false, cancelled = false, everShown = false;
        // Cancelled and quit while still hidden.
        bool Blocked() const { return quit && cancelled && !visible && !everShown; }
        bool Shown() const { return open && visible && !quit; }
    };
    Outcome StateOf(LONG id);
    // A page in the opener asks for a new window that navigates to url.
    Outcome Popup(const wchar_t* url);
    // Saves (or removes) an internet shortcut in the rig's folder of the
    // user's favourites.
    // A folder of that name in the user's Favorites ("" when there is none).
    static std::wstring FavouritesPath(const wchar_t* folder);
    static HRESULT WriteFavourite(const wchar_t* name, const wchar_t* url);
    static void RemoveFavourite(const wchar_t* name);
    // The stored block count, read from the registry itself.
    static LONG StoredBlockCount();
    // The stored count once it reaches `expected` (or the last one read after
    // the wait): a block counted while the agent was reading the count for
    // a client is stored when that read's call completes, just after the
    // popup's own events have returned.
    static LONG SettledBlockCount(LONG expected, DWORD timeoutMs = 5000);

  private:
    HRESULT Fail(const char* step, HRESULT hr);

    LateBound browser_;
    LateBound agent_;
    CapturedProcess agentProcess_;
    ScopedHandle doubleProcess_;
    LONG opener_ = 0;
    bool deadServers_ = false;
    std::string failedStep_;
};

} // namespace vx::test
