// The control panel's window: a modal dialog filled by the HTML page, whose
// check boxes and links are bound to the agent's settings.
#pragma once

#include "AgentClient.h"
#include "HtmlPage.h"
#include "ModalDialog.h"

#include "common/Scoped.h"

#include <memory>
#include <string>

namespace vx {

class ControlPanelDialog : public ModalDialog, public PageEvents {
  public:
    // Connects to the agent and reads every setting before any window
    // exists. The page must outlive the dialog.
    explicit ControlPanelDialog(HtmlPage& page);

    void OnDocumentComplete(bool topLevel) override;
    void OnElementClick(const wchar_t* id) override;

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) override;
    bool PreTranslate(MSG* msg) override;

  private:
    enum class Sync { Pull, Push };
    struct ClickBinding;
    struct ExchangeBinding;
    static const ClickBinding kClicks[];
    static const ExchangeBinding kExchange[];

    void SyncAgent(Sync direction);
    void SendBypassKeys();
    void ReadMembers();
    void ShowMembers();
    // Writes one setting, or every setting through a new client when the
    // agent was told to quit.
    void WriteSetting(void (AgentClient::*write)(long), long value);
    void ProbeSoundFile();

    void OnButtonOK();
    void OnButtonCancel();
    void OnShowTray();
    void OnNumPopups();
    void OnWebSite();
    void OnPickFile();
    void OnAbout();
    void OnHelp();
    void OnPlay();
    void OnMuteAudio();
    void OnQuit();
    void OnShowDiag();
    void OnNoSameSite();
    void OnNoFixed();
    void OnBypassKey();
    void OnAllowClicked();
    void OnNotifyBlock();
    void OnAddSite();
    void OnRemoveSite();
    void EditSites(bool add);

    INT_PTR OnInitDialog();
    INT_PTR OnSize();
    INT_PTR OnSysCommand(WPARAM command, bool* handled);
    INT_PTR OnPaint(bool* handled);
    INT_PTR OnDestroy();

    HtmlPage& page_;
    std::unique_ptr<AgentClient> client_;
    std::string soundPath_;
    std::string blockCountText_;
    std::string fileName_;
    long quit_ = 0;
    long showDiag_ = 0;
    long muteAudio_ = 0;
    long showTray_ = 0;
    long noSameSite_ = 0;
    long noFixed_ = 0;
    long ctrl_ = 0;
    long alt_ = 0;
    long shift_ = 0;
    long allowClicked_ = 0;
    long notifyBlock_ = 0;
    std::string sites_;
    std::string newSite_;
    ScopedIcon bigIcon_;
    ScopedIcon smallIcon_;
};

} // namespace vx
