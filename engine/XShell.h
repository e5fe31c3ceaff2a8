// The popup engine's root: the live list of the shell's windows.
#pragma once

#include "BlockedPopups.h"
#include "ExplorerList.h"
#include "Marklor.h"
#include "Settings.h"

#include "common/DispatchObject.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx {

class EngineHost;
class RegistryClient;
class ShellWindowsEvents;

class XShell : public DispatchObject {
  public:
    // Start-up: collection, its sink, favourites, settings, the initial
    // scan, the Messenger switch. The host (if any) hears of blocks.
    explicit XShell(EngineHost* host = nullptr);
    ~XShell() override;

    // Creates the shell window collection ("Shell.FolderView.1" must be
    // known; the object made is the ShellWindows class itself).
    virtual HRESULT CreateShellWindows();

    // Reconciles the window list with the shell window collection: one
    // cross-process call per window, so a popup's own events never wait
    // for it. Runs any pending reconciliation.
    void Update();
    // A reconciliation asked for by window events runs a while later, from
    // a thread timer that the message loop dispatches; at most one waits.
    // Events that the records account for (the registration of a window
    // being created, the revocation of one that said it quits) ask for none:
    // a rescan running beside a popup's events only slows them.
    void ScheduleReconciliation();
    bool ReconciliationPending() const { return timer_ != 0; }
    // Runs the waiting reconciliation now, if there is one.
    void RunPendingReconciliation();

    // From the sinks. A window registered while this engine is creating
    // one is taken to be that window; any other is taken in at once, since
    // it may navigate next. A window that said it quits goes with the next
    // revocation (one record per revocation) or the next rescan.
    void WindowRegistered();
    void WindowRevoked();
    void WindowQuitting();

    // The record for browser, added and connected if new; with no browser,
    // a new hidden browser window, recorded as pending.
    Explorer* AddExplorer(IDispatch* browser);
    Explorer* FindExplorer(IDispatch* browser) const { return explorers_.Find(browser); }

    // The allow rules of the popup decision (PopupDecision.cpp). Each
    // answers whether it lets a popup through; `site` gets what matched.
    bool UserInitiatedRule(bool clicked) const { return clicked && settings.AllowUserInitiated; }
    bool SameSiteRule(const std::wstring& url, const std::wstring& openerUrl, std::wstring* site);
    bool AllowedSiteRule(const std::wstring& openerUrl, std::wstring* site) const;
    // Whether a URL about to be shown is one the user always allows (the
    // bypass keys, or `bypass`, count too); logs the verdict with the URL in
    // lower case.
    bool IsKnownUrl(std::wstring url, bool bypass = false);
    // Whether no rule could let a popup for url from openerUrl through, so
    // that it may be refused before any window is made.
    bool IsCertainBlock(const std::wstring& url, const std::wstring& openerUrl);

    // Opens the blocked popup at index (0 the newest) in a new visible
    // window that is not judged; E_INVALIDARG for an index with no entry.
    HRESULT ShowBlocked(size_t index);
    // Adds a site (a plain host name) to the allowed sites and saves them.
    HRESULT AllowSite(const std::wstring& site);
    const BlockedPopups& Recent() const { return recent_; }

    // Loads (save false) or saves (save true) the settings through the
    // settings service.
    void SyncSettings(bool save);
    // Runs `work` on the engine's one settings client, made and pointed at
    // the product's key when there is none. When the service has gone
    // away, the client is made afresh and `work` runs once more. Answers
    // what `work` answered.
    HRESULT UseSettings(const std::function<HRESULT(RegistryClient&)>& work);
    // Adds n to the stored block count and answers the new total.
    LONG AddBlockCount(ULONG n);
    // What follows a block that brought the count to total, once its window
    // has been told to quit: the alert, the tray tip, the recent list and
    // the notice.
    void AnnounceBlock(LONG total, const std::wstring& url, const std::wstring& openerUrl);
    // Whether a key selected by BypassKeys is held down now.
    bool BypassKeysDown() const;

    // At their defaults until loaded.
    Settings settings;

    bool IsStarting() const { return starting_; }
    ExplorerList& Explorers() { return explorers_; }

    // Held by every engine entry point (reconciliation, browser events) for
    // the length of its work; see Retire.
    class Busy {
      public:
        explicit Busy(XShell* shell);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        XShell* shell_;
    };

  private:
    static void CALLBACK ReconcileTimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void ReconcileUnexplained();
    void CancelReconciliation();
    std::shared_ptr<RegistryClient> SettingsClient();
    // A new browser window, made hidden and recorded; pending when it is
    // to be judged at its first navigation.
    Explorer* CreateExplorer(bool pending);
    void ConnectShellEvents();
    void DisconnectShellEvents();
    // Records taken out of the list are destroyed only once no engine call
    // is running any more: an outgoing call can run a nested Update or a
    // browser event that still holds the record.
    void Retire(std::unique_ptr<Explorer> record);
    void DestroyRetired();

    EngineHost* host_;
    bool starting_ = false;
    ComPtr<IUnknown> sinkRef_;
    ShellWindowsEvents* sink_ = nullptr;
    DWORD cookie_ = 0;
    ExplorerList explorers_;
    std::vector<std::unique_ptr<Explorer>> retired_;
    int busy_ = 0;
    // AddBlockCount: whether a call is storing the count, the blocks it still
    // has to store for nested calls, and the last total stored.
    bool storingCount_ = false;
    ULONG unstoredBlocks_ = 0;
    ULONG lastStoredCount_ = 0;
    FavoriteSites favorites_;
    BlockedPopups recent_;
    // Kept between operations; users hold their own reference for the
    // length of a call, since a nested call may replace it.
    std::shared_ptr<RegistryClient> settings_;
    UINT_PTR timer_ = 0;
    // Browser creations under way, and the registrations seen during them.
    int creating_ = 0;
    unsigned registrations_ = 0;
    // A window event that no record accounts for has asked for the waiting
    // reconciliation.
    bool unexplained_ = false;
};

} // namespace vx
