// The popup engine's root: the live list of the shell's windows.
#pragma once

#include "ExplorerList.h"
#include "Marklor.h"

#include "../common/DispatchObject.h"

#include <memory>
#include <string>
#include <vector>

namespace vx {

class EngineHost;
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

    // Reconciles the window list with the shell window collection.
    void Update();
    // The record for browser, added and connected if new; with no browser,
    // a new hidden browser window, picked up as a pending record.
    Explorer* AddExplorer(IDispatch* browser);
    Explorer* FindExplorer(IDispatch* browser) const { return explorers_.Find(browser); }

    // Whether a URL about to be shown is one the user always allows; logs
    // the verdict with the URL in lower case.
    bool IsKnownUrl(std::wstring url);

    // Loads (save false) or saves (save true) the five settings through
    // the settings service.
    void SyncSettings(bool save);
    // Adds n to the stored block count and answers the new total; a block
    // (n > 0) also sounds the alert and refreshes the host's tray tip.
    LONG AddBlockCount(ULONG n);
    // Whether a key selected by BypassKeys is held down now.
    bool BypassKeysDown() const;

    // Settings, at their defaults until loaded.
    unsigned short BypassKeys = 1;
    LONG KillFixedSize = 1;
    LONG AllowSameSite = 1;
    std::wstring AudioFileName;
    LONG MuteAudio = 1;

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
    Marklor favorites_;
};

} // namespace vx
