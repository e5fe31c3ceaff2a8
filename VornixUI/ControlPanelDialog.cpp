#include "ControlPanelDialog.h"

#include "AboutDialog.h"
#include "CodePageText.h"
#include "DesktopCalls.h"
#include "InstallPaths.h"
#include "common/LocalPath.h"
#include "common/Product.h"
#include "common/SiteList.h"
#include "common/TextForms.h"
#include "VornixUIResources.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace vx {

namespace {

// The agent answers on/off values as 0 or 1, but a check box member also
// carries "indeterminate" in its bit of value 2, so anything else nonzero
// would show as a half-set box.
long OnOff(long value) {
    return value != 0 ? 1 : 0;
}

std::string NamePart(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasWaveExtension(const std::wstring& path) {
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    return CompareStringOrdinal(path.c_str() + dot + 1, -1, L"wav", -1, TRUE) == CSTR_EQUAL;
}

HICON LoadProgramIcon(int sizeMetric) {
    int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VORNIXUI),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void TellUser(const char* text) {
    Desktop().messageBox(nullptr, text, "Vornix!", MB_OK);
}

// The site the user typed, in lower case: a web address gives its host.
std::wstring TypedSite(const std::string& text) {
    std::wstring site = LowerText(WidenText(text));
    site.erase(0, std::min(site.find_first_not_of(L" \t"), site.size()));
    site.erase(site.find_last_not_of(L" \t") + 1);
    size_t scheme = site.find(L"://");
    if (scheme != std::wstring::npos) site.erase(0, scheme + 3);
    site.erase(std::min(site.find_first_of(L"/:?#"), site.size()));
    return site;
}

} // namespace

struct ControlPanelDialog::ClickBinding {
    const wchar_t* id;
    void (ControlPanelDialog::*handler)();
};

// A check box binds a flag member, a text element a string member.
struct ControlPanelDialog::ExchangeBinding {
    const wchar_t* id;
    long ControlPanelDialog::*flag;
    std::string ControlPanelDialog::*text;
    PageText textKind;
};

const ControlPanelDialog::ClickBinding ControlPanelDialog::kClicks[] = {
    {L"ButtonOK", &ControlPanelDialog::OnButtonOK},
    {L"ButtonCancel", &ControlPanelDialog::OnButtonCancel},
    {L"ShowTray", &ControlPanelDialog::OnShowTray},
    {L"NumPopups", &ControlPanelDialog::OnNumPopups},
    {L"WebSite", &ControlPanelDialog::OnWebSite},
    {L"PickFile", &ControlPanelDialog::OnPickFile},
    {L"Vabout", &ControlPanelDialog::OnAbout},
    {L"Vhelp", &ControlPanelDialog::OnHelp},
    {L"Play", &ControlPanelDialog::OnPlay},
    {L"MuteAudio", &ControlPanelDialog::OnMuteAudio},
    {L"Quit", &ControlPanelDialog::OnQuit},
    {L"ShowDiag", &ControlPanelDialog::OnShowDiag},
    {L"NoSameSite", &ControlPanelDialog::OnNoSameSite},
    {L"NoFixed", &ControlPanelDialog::OnNoFixed},
    {L"Ctrl", &ControlPanelDialog::OnBypassKey},
    {L"Alt", &ControlPanelDialog::OnBypassKey},
    {L"Shift", &ControlPanelDialog::OnBypassKey},
    {L"AllowClicked", &ControlPanelDialog::OnAllowClicked},
    {L"NotifyBlock", &ControlPanelDialog::OnNotifyBlock},
    {L"AddSite", &ControlPanelDialog::OnAddSite},
    {L"RemoveSite", &ControlPanelDialog::OnRemoveSite},
};

const ControlPanelDialog::ExchangeBinding ControlPanelDialog::kExchange[] = {
    {L"NumPopups", nullptr, &ControlPanelDialog::blockCountText_, PageText::InnerText},
    {L"Quit", &ControlPanelDialog::quit_, nullptr, PageText::Value},
    {L"ShowDiag", &ControlPanelDialog::showDiag_, nullptr, PageText::Value},
    {L"FileName", nullptr, &ControlPanelDialog::fileName_, PageText::Value},
    {L"MuteAudio", &ControlPanelDialog::muteAudio_, nullptr, PageText::Value},
    {L"ShowTray", &ControlPanelDialog::showTray_, nullptr, PageText::Value},
    {L"NoSameSite", &ControlPanelDialog::noSameSite_, nullptr, PageText::Value},
    {L"NoFixed", &ControlPanelDialog::noFixed_, nullptr, PageText::Value},
    {L"Ctrl", &ControlPanelDialog::ctrl_, nullptr, PageText::Value},
    {L"Alt", &ControlPanelDialog::alt_, nullptr, PageText::Value},
    {L"Shift", &ControlPanelDialog::shift_, nullptr, PageText::Value},
    {L"AllowClicked", &ControlPanelDialog::allowClicked_, nullptr, PageText::Value},
    {L"NotifyBlock", &ControlPanelDialog::notifyBlock_, nullptr, PageText::Value},
    {L"Sites", nullptr, &ControlPanelDialog::sites_, PageText::Value},
    {L"NewSite", nullptr, &ControlPanelDialog::newSite_, PageText::Value},
};

ControlPanelDialog::ControlPanelDialog(HtmlPage& page)
    : ModalDialog(IDD_CONTROLPANEL), page_(page), bigIcon_(LoadProgramIcon(SM_CXICON)),
      smallIcon_(LoadProgramIcon(SM_CXSMICON)) {
    SyncAgent(Sync::Pull);
}

// ---- The agent ------------------------------------------------------------

void ControlPanelDialog::SyncAgent(Sync direction) {
    if (!client_) client_.reset(new (std::nothrow) AgentClient());
    AgentClient* client = client_.get();
    if (!client) return;

    if (direction == Sync::Push) {
        client->WriteVisible(showDiag_);
        client->WriteAudioFileName(soundPath_);
        client->WriteMuteAudio(muteAudio_);
        client->WriteShowTray(showTray_);
        client->WriteAllowSameSite(noSameSite_ == 0 ? 1 : 0);
        client->WriteKillFixedSize(noFixed_);
        client->WriteAllowUserInitiated(allowClicked_);
        client->WriteNotifyOnBlock(notifyBlock_);
        SendBypassKeys();
    } else {
        showDiag_ = OnOff(client->ReadVisible());
        soundPath_ = client->ReadAudioFileName();
        ProbeSoundFile();
        muteAudio_ = OnOff(client->ReadMuteAudio());
        showTray_ = OnOff(client->ReadShowTray());
        noSameSite_ = client->ReadAllowSameSite() == 0 ? 1 : 0;
        noFixed_ = OnOff(client->ReadKillFixedSize());
        allowClicked_ = OnOff(client->ReadAllowUserInitiated());
        notifyBlock_ = OnOff(client->ReadNotifyOnBlock());
        sites_ = client->ReadAllowedSites();
        long keys = client->ReadBypassKeys();
        ctrl_ = (keys & 1) ? 1 : 0;
        alt_ = (keys & 2) ? 1 : 0;
        shift_ = (keys & 4) ? 1 : 0;
    }

    char count[16];
    snprintf(count, sizeof count, "%ld", client->ReadBlockedCount());
    blockCountText_ = count;
    quit_ = 0;
    if (direction == Sync::Push) ShowMembers();
}

void ControlPanelDialog::SendBypassKeys() {
    if (!client_) return;
    client_->WriteBypassKeys((ctrl_ ? 1 : 0) + (alt_ ? 2 : 0) + (shift_ ? 4 : 0));
}

void ControlPanelDialog::WriteSetting(void (AgentClient::*write)(long), long value) {
    if (client_)
        (client_.get()->*write)(value);
    else
        SyncAgent(Sync::Push);
}

// The agent names a sound file the panel must be able to open; one it
// cannot is forgotten, and the agent gets the empty name at the next push.
// A name that is not a file on this computer is forgotten unopened.
void ControlPanelDialog::ProbeSoundFile() {
    ScopedHandle file;
    if (IsLocalFilePath(soundPath_.c_str()))
        file.Reset(CreateFileA(soundPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        soundPath_.clear();
        fileName_.clear();
        return;
    }
    fileName_ = NamePart(soundPath_);
}

// ---- The page -------------------------------------------------------------

void ControlPanelDialog::ShowMembers() {
    for (const ExchangeBinding& b : kExchange) {
        if (b.flag) {
            const long value = this->*b.flag;
            page_.SetFlag(b.id, PageFlag::Checked, (value & 1) != 0);
            page_.SetFlag(b.id, PageFlag::Indeterminate, (value & 2) != 0);
        } else {
            page_.SetText(b.id, b.textKind, WidenText(this->*b.text));
        }
    }
}

void ControlPanelDialog::ReadMembers() {
    for (const ExchangeBinding& b : kExchange) {
        if (b.flag) {
            bool checked = false, indeterminate = false;
            if (page_.GetFlag(b.id, PageFlag::Checked, &checked) != S_OK) continue;
            page_.GetFlag(b.id, PageFlag::Indeterminate, &indeterminate);
            this->*b.flag = (checked ? 1 : 0) + (indeterminate ? 2 : 0);
        } else {
            std::wstring text;
            if (page_.GetText(b.id, b.textKind, &text) != S_OK) continue;
            ToCodePage(text, &(this->*b.text));
        }
    }
}

void ControlPanelDialog::OnDocumentComplete(bool topLevel) {
    if (topLevel) {
        for (const ClickBinding& b : kClicks)
            page_.ConnectClick(b.id);
        ShowMembers();
    }
    SyncAgent(Sync::Pull);
    ShowMembers();
}

void ControlPanelDialog::OnElementClick(const wchar_t* id) {
    for (const ClickBinding& b : kClicks) {
        if (wcscmp(b.id, id) == 0) {
            (this->*b.handler)();
            return;
        }
    }
}

// ---- Click handlers -------------------------------------------------------

void ControlPanelDialog::OnButtonOK() {
    ReadMembers();
    End(IDOK);
}

void ControlPanelDialog::OnButtonCancel() {
    End(IDCANCEL);
}

void ControlPanelDialog::OnShowTray() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteShowTray, showTray_);
}

void ControlPanelDialog::OnNumPopups() {
    SyncAgent(Sync::Push);
}

void ControlPanelDialog::OnWebSite() {
    Desktop().shellOpen(Window(), kMakerWebSite);
}

void ControlPanelDialog::OnPickFile() {
    ReadMembers();
    std::wstring chosen;
    if (!Desktop().pickWaveFile(Window(), WidenText(soundPath_), &chosen)) return;
    if (!HasWaveExtension(chosen)) return;
    std::string path;
    if (!ToCodePage(chosen, &path)) {
        TellUser("The sound file cannot be used: its path has characters that the "
                 "Vornix! Popup Blocker cannot store. Please choose a file in another folder "
                 "or rename it.");
        return;
    }
    if (!IsLocalFilePath(path.c_str())) {
        TellUser("The sound file cannot be used: sound files must be files on this computer, "
                 "not on a network share or a web site. Please copy it to this computer and "
                 "choose the copy.");
        return;
    }
    soundPath_ = path;
    fileName_ = NamePart(path);
    ShowMembers();
    SyncAgent(Sync::Push);
}

void ControlPanelDialog::OnAbout() {
    AboutDialog about;
    about.Run(Window());
}

void ControlPanelDialog::OnHelp() {
    const std::string path = HelpPagePath();
    if (path.empty()) {
        TellUser("The help page cannot be opened: the path of the Program Files folder is "
                 "too long.");
        return;
    }
    Desktop().shellOpen(Window(), path.c_str());
}

void ControlPanelDialog::OnPlay() {
    if (muteAudio_ == 0) Desktop().playSound(soundPath_.c_str());
}

void ControlPanelDialog::OnMuteAudio() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteMuteAudio, muteAudio_);
}

void ControlPanelDialog::OnQuit() {
    ReadMembers();
    if (quit_ == 0) {
        SyncAgent(Sync::Push);
        return;
    }
    if (client_) {
        client_->Quit();
        client_.reset();
    }
}

void ControlPanelDialog::OnShowDiag() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteVisible, showDiag_);
}

void ControlPanelDialog::OnNoSameSite() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteAllowSameSite, noSameSite_ == 0 ? 1 : 0);
}

void ControlPanelDialog::OnNoFixed() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteKillFixedSize, noFixed_);
}

void ControlPanelDialog::OnBypassKey() {
    ReadMembers();
    if (client_)
        SendBypassKeys();
    else
        SyncAgent(Sync::Push);
}

void ControlPanelDialog::OnAllowClicked() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteAllowUserInitiated, allowClicked_);
}

void ControlPanelDialog::OnNotifyBlock() {
    ReadMembers();
    WriteSetting(&AgentClient::WriteNotifyOnBlock, notifyBlock_);
}

void ControlPanelDialog::OnAddSite() {
    EditSites(true);
}

void ControlPanelDialog::OnRemoveSite() {
    EditSites(false);
}

// The list is read from the agent before the change, so that sites added
// meanwhile (from the tray) are kept.
void ControlPanelDialog::EditSites(bool add) {
    ReadMembers();
    const std::wstring site = TypedSite(newSite_);
    if (!IsPlainHostName(site)) {
        TellUser("Please type the name of a site, such as example.com. Popups from the site "
                 "and from its sub-domains are then let through.");
        return;
    }
    if (!client_) SyncAgent(Sync::Push);
    if (!client_) return;
    std::vector<std::wstring> sites;
    ParseSiteList(WidenText(client_->ReadAllowedSites()), &sites, true);
    auto found = std::find(sites.begin(), sites.end(), site);
    if (add && found == sites.end()) sites.push_back(site);
    if (!add && found != sites.end()) sites.erase(found);
    if (FAILED(client_->WriteAllowedSites(NarrowText(JoinSiteList(sites).c_str())))) return;
    newSite_.clear();
    sites_ = client_->ReadAllowedSites();
    ShowMembers();
}

// ---- The window -----------------------------------------------------------

INT_PTR ControlPanelDialog::OnMessage(UINT msg, WPARAM wp, LPARAM, bool* handled) {
    *handled = true;
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_SIZE:
        return OnSize();
    case WM_SYSCOMMAND:
        return OnSysCommand(wp, handled);
    case WM_PAINT:
        return OnPaint(handled);
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(bigIcon_.Get());
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) End(LOWORD(wp));
        return 0;
    case WM_CLOSE:
        End(IDCANCEL);
        return 0;
    case WM_DESTROY:
        return OnDestroy();
    default:
        *handled = false;
        return 0;
    }
}

bool ControlPanelDialog::PreTranslate(MSG* msg) {
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
    return page_.TranslateKey(msg);
}

INT_PTR ControlPanelDialog::OnInitDialog() {
    std::string address = PageAddress();
    if (address.empty()) {
        TellUser("The control panel page cannot be shown: the path of the Program Files folder "
                 "is too long.");
        address = "about:blank";
    }
    page_.Open(Window(), WidenText(address), this);

    HMENU systemMenu = GetSystemMenu(Window(), FALSE);
    wchar_t about[128] = {};
    if (systemMenu && LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
    SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
    return TRUE;
}

INT_PTR ControlPanelDialog::OnSize() {
    RECT area;
    if (!IsIconic(Window()) && GetClientRect(Window(), &area)) page_.Resize(area);
    return 0;
}

INT_PTR ControlPanelDialog::OnSysCommand(WPARAM command, bool* handled) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        *handled = false;
        return 0;
    }
    OnAbout();
    return 0;
}

INT_PTR ControlPanelDialog::OnPaint(bool* handled) {
    if (!IsIconic(Window())) {
        *handled = false;
        return 0;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Window(), &ps);
    RECT area;
    GetClientRect(Window(), &area);
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (area.right - cx + 1) / 2, (area.bottom - cy + 1) / 2, bigIcon_.Get());
    EndPaint(Window(), &ps);
    return 0;
}

INT_PTR ControlPanelDialog::OnDestroy() {
    page_.Close();
    return 0;
}

} // namespace vx
