#pragma once

#include "ProcessTools.h"
#include "LateBound.h"
#include "tests/browserdouble/ShellWindowCollection.h"

namespace vx::test {

class PopupRig {
  public:
    static constexpr const wchar_t* kSettingsKey =
        L"Software\\Quandrel, Inc.\\Vornix! Popup Blocker\\1.00.000";
    static constexpr const wchar_t* kOpenerUrl = L"http://www.opener.com/index.html";
    static constexpr const wchar_t* kShown = browserdouble::kShown;
    static constexpr const wchar_t* kRefused = browserdouble::kRefused;
    static constexpr const wchar_t* kBlocked = browserdouble::kBlocked;

    static HRESULT Install();
    static void Uninstall();

    PopupRig() = default;
    ~PopupRig() { Stop(); }
    PopupRig(const PopupRig&) = delete;
    PopupRig& operator=(const PopupRig&) = delete;

    HRESULT Start();
    DWORD Stop();
    HRESULT StartDouble();
    HRESULT OpenWindows(int windows); // the first is the opener
    void KillDouble();
    HRESULT StartAgent();
    DWORD QuitAgent();
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
        LONG id;
        std::wstring state;
    };
    Outcome StateOf(LONG id) { return {id, browser_.Text(L"State", "I", id).value_or(L"")}; }
    Outcome Popup(const wchar_t* url) {
        return StateOf(browser_.Long(L"OpenPopup", "Is", opener_, url).value_or(0));
    }

    static HRESULT WriteFavourite(const wchar_t* name, const wchar_t* url);
    static void RemoveFavourite(const wchar_t* name);
    static LONG StoredBlockCount();
    // A block counted during a client's read of the count is stored only when
    // that read's call completes.
    static LONG SettledBlockCount(LONG expected);

  private:
    HRESULT Fail(const char* step, HRESULT hr);
    HRESULT StartServer(CapturedProcess& process, const wchar_t* file, const char* ready,
                        const wchar_t* switches = L" -Embedding");

    LateBound browser_, agent_;
    CapturedProcess agentProcess_, doubleProcess_, settingsProcess_;
    LONG opener_ = 0;
    bool deadServers_ = false;
    std::string failedStep_;
};

} // namespace vx::test
