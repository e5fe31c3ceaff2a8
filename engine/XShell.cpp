#include "XShell.h"

#include "AllowRules.h"
#include "EngineHost.h"
#include "EventSource.h"
#include "RegistryClient.h"
#include "ShellIds.h"
#include "ShellWindowsEvents.h"

#include "common/StatusLog.h"
#include "common/LocalPath.h"
#include "common/Product.h"
#include "common/TextForms.h"
#include "common/UrlForms.h"

#include <mmsystem.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

namespace vx {

namespace {

// How long window events may wait for their reconciliation: long enough to
// gather a popup's events into one rescan, short enough that a record does
// not outlive its window for long.
constexpr UINT kReconcileDelayMs = 1000;

// The engines waiting on a reconciliation timer, by the timer's id.
std::vector<std::pair<UINT_PTR, XShell*>> gTimers;

// The failures after which the settings service (or its object) is gone
// and a new client must be made.
bool IsServiceGone(HRESULT hr) {
    static const HRESULT gone[] = {
        RPC_E_DISCONNECTED,
        RPC_E_SERVER_DIED,
        RPC_E_SERVER_DIED_DNE,
        CO_E_OBJNOTCONNECTED,
        CO_E_SERVER_STOPPING,
        HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
        HRESULT_FROM_WIN32(RPC_S_CALL_FAILED),
        HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE),
    };
    return std::find(std::begin(gone), std::end(gone), hr) != std::end(gone);
}

// The browser object in a VARIANT that Item answered, or null for an empty slot.
ComPtr<IDispatch> BrowserFromVariant(const VARIANT& v) {
    ComPtr<IDispatch> browser;
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v)) {
        browser = ComPtr<IDispatch>(V_DISPATCH(&v));
    } else if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v)) {
        V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, browser.PutVoid());
    }
    return browser;
}

} // namespace

XShell::Busy::Busy(XShell* shell) : shell_(shell) { ++shell_->busy_; }

XShell::Busy::~Busy() {
    if (--shell_->busy_ == 0) shell_->DestroyRetired();
}

XShell::XShell(EngineHost* host) : host_(host) {
    starting_ = true;
    Busy busy(this);

    HRESULT hr = CreateShellWindows();
    if (FAILED(hr)) {
        LogFailure("XShell Create Error...", hr);
    } else {
        ConnectShellEvents();
    }

    favorites_.Start();

    // Silence whatever sound a previous run left playing.
    PlaySoundA(nullptr, nullptr, SND_ASYNC | SND_FILENAME);

    // The settings start at their defaults (the member initialisers).
    SyncSettings(false);

    Update();

    UseSettings([](RegistryClient& client) { return client.DisableMessenger(); });

    starting_ = false;
}

XShell::~XShell() {
    CancelReconciliation();
    ++busy_;
    // Every unadvise below is an outgoing call during which events can still
    // arrive: silence every sink first, and take the records out of the list
    // before destroying them, so that no event finds this engine or a record
    // half torn down.
    if (sink_) sink_->SetOwner(nullptr);
    for (auto& record : explorers_) record->Silence();
    ExplorerList records = std::move(explorers_);
    explorers_.Clear();
    favorites_.Stop();
    DisconnectShellEvents();
    records.Clear();
    retired_.clear();
    settings_.reset();
    --busy_;
    disp_.Reset();
}

HRESULT XShell::CreateShellWindows() {
    CLSID resolved;
    HRESULT hr = CLSIDFromProgID(kShellWindowsProgId, &resolved);
    if (FAILED(hr)) return hr;
    // The ProgID only tells that the shell is there; the collection is the
    // ShellWindows class itself.
    ComPtr<IDispatch> collection;
    hr = CoCreateInstance(kClsidShellWindows, nullptr, kAllContexts, kIidIShellWindows,
                          collection.PutVoid());
    if (FAILED(hr)) return hr;
    Attach(collection.Get());
    return S_OK;
}

void XShell::ConnectShellEvents() {
    ComPtr<IUnknown> unknown;
    auto* sink = NewSink<ShellWindowsEvents>(this, &unknown, "XShell Events Create Error...",
                                             "XShell QI Error...");
    if (!sink) return;
    DWORD cookie = 0;
    HRESULT hr = AdviseEvents(Dispatch(), IID_DShellWindowsEvents, unknown.Get(), &cookie);
    if (FAILED(hr)) {
        sink->SetOwner(nullptr);
        LogFailure("XShell Advise Error...", hr);
        return; // the last reference goes with `unknown`
    }
    sink_ = sink;
    sinkRef_ = unknown;
    cookie_ = cookie;
}

void XShell::DisconnectShellEvents() {
    if (!sink_) return;
    sink_->SetOwner(nullptr);
    HRESULT hr = UnadviseEvents(Dispatch(), IID_DShellWindowsEvents, cookie_);
    if (FAILED(hr)) LogFailure("XShell Unadvise Error...", hr);
    sink_ = nullptr;
    sinkRef_.Reset();
    cookie_ = 0;
}

void XShell::ScheduleReconciliation() {
    if (timer_) return;
    timer_ = SetTimer(nullptr, 0, kReconcileDelayMs, &XShell::ReconcileTimerProc);
    if (timer_) gTimers.emplace_back(timer_, this);
}

void XShell::ReconcileUnexplained() {
    unexplained_ = true;
    ScheduleReconciliation();
}

void XShell::CancelReconciliation() {
    if (!timer_) return;
    KillTimer(nullptr, timer_);
    gTimers.erase(std::remove(gTimers.begin(), gTimers.end(), std::make_pair(timer_, this)),
                  gTimers.end());
    timer_ = 0;
}

void XShell::RunPendingReconciliation() {
    if (timer_) Update();
}

void CALLBACK XShell::ReconcileTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    XShell* shell = nullptr;
    for (const auto& timer : gTimers)
        if (timer.first == id) shell = timer.second;
    if (!shell) {
        KillTimer(nullptr, id);
        return;
    }
    // An outgoing call's modal loop may dispatch the timer: the timer fires
    // again later, once the engine is not in the middle of a call.
    if (shell->busy_ > 0) return;
    shell->Update();
}

void XShell::WindowRegistered() {
    if (creating_ > 0) {
        ++registrations_;
        return;
    }
    Update();
}

void XShell::WindowRevoked() {
    Busy busy(this);
    bool dropped = false;
    bool quitLeft = false;
    for (auto pos = explorers_.begin(); pos != explorers_.end();) {
        if (!(*pos)->quit) {
            ++pos;
            continue;
        }
        if (dropped) {
            // Which of several quitting windows went is left to a rescan.
            quitLeft = true;
            ++pos;
            continue;
        }
        AddStatusLine("Window Closed...");
        Retire(explorers_.Remove(pos));
        dropped = true;
    }
    if (!dropped)
        ReconcileUnexplained();
    else if (!quitLeft && !unexplained_)
        CancelReconciliation();
}

void XShell::WindowQuitting() { ScheduleReconciliation(); }

void XShell::Update() {
    Busy busy(this);
    CancelReconciliation();
    unexplained_ = false;

    // 1. What the shell has now.
    std::vector<ComPtr<IDispatch>> current;
    LONG count = 0;
    {
        Variant v;
        HRESULT hr = InvokeByName(L"Count", DISPATCH_PROPERTYGET, v.Get());
        if (SUCCEEDED(hr)) hr = VariantChangeType(v.Get(), v.Get(), 0, VT_I4);
        if (FAILED(hr))
            LogFailure("XShell Invoke Error...", hr);
        else
            count = V_I4(v.Get());
    }
    for (LONG i = 0; i < count; ++i) {
        Variant item;
        HRESULT hr = InvokeByName(L"Item", DISPATCH_METHOD, item.Get(), "I", i);
        if (FAILED(hr)) {
            LogFailure("XShell Invoke Error...", hr);
            continue;
        }
        if (ComPtr<IDispatch> browser = BrowserFromVariant(*item.Get()))
            current.push_back(std::move(browser));
    }

    // 2. Take in the windows not yet tracked. Each lookup is made afresh,
    // since the outgoing calls below can run a nested Update.
    for (const auto& browser : current) {
        if (Explorer* known = explorers_.Find(browser.Get())) {
            if (!known->IsConnected() && known->IsIE()) known->Connect();
            continue;
        }
        AddStatusLine("Window Opening...");
        auto created = std::unique_ptr<Explorer>(new (std::nothrow) Explorer(this, browser.Get()));
        if (!created) continue;
        // Listed before any outgoing call, so that a nested Update finds it.
        Explorer* record = explorers_.Append(std::move(created));
        if (starting_ && !record->GetVisible()) record->PutVisible(true);
        if (record->IsIE()) {
            // At start-up the verdict is only logged: every window already
            // open is allowed.
            if (starting_) IsKnownUrl(record->GetLocationURL());
            record->Connect();
            if (!starting_) record->pending = true;
        }
    }

    // 3. Drop the records whose windows are gone, unless still awaiting
    // their decision (a window supplied for a popup may not be listed yet)
    // and not quit. A window that quit but is still listed is looked for
    // again later: the shell may drop it without a word.
    bool quitListed = false;
    for (auto pos = explorers_.begin(); pos != explorers_.end();) {
        Explorer* record = pos->get();
        bool present = false;
        for (const auto& browser : current)
            if (browser.Get() == record->Dispatch()) present = true;
        if (present || (record->pending && !record->quit)) {
            quitListed = quitListed || (present && record->quit);
            ++pos;
            continue;
        }
        AddStatusLine("Window Closed...");
        Retire(explorers_.Remove(pos));
    }
    if (quitListed) ScheduleReconciliation();
}

Explorer* XShell::AddExplorer(IDispatch* browser) {
    Busy busy(this);
    if (browser) {
        if (Explorer* known = explorers_.Find(browser)) return known;
        AddStatusLine("New Window Found...");
        auto created = std::unique_ptr<Explorer>(new (std::nothrow) Explorer(this, browser));
        if (!created) return nullptr;
        Explorer* record = explorers_.Append(std::move(created));
        record->Connect();
        return record;
    }

    return CreateExplorer(true);
}

Explorer* XShell::CreateExplorer(bool pending) {
    AddStatusLine("New Window Creating...");
    DispatchObject fresh;
    const unsigned registeredBefore = registrations_;
    ++creating_;
    // Made as IDispatch at once: a later query would be one more call to
    // the browser's process.
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(kBrowserProgId, &clsid);
    ComPtr<IDispatch> made;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, made.PutVoid());
    if (SUCCEEDED(hr) && !made) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) fresh.Attach(made.Get());
    --creating_;
    if (FAILED(hr)) {
        LogFailure("AddExplorer:: Explorer Creation Error...", hr);
        ReconcileUnexplained();
        return nullptr;
    }
    // One registration during the creation is the new window's; another
    // is a window opened meanwhile.
    if (registrations_ - registeredBefore > 1) ReconcileUnexplained();
    if (Explorer* record = explorers_.Find(fresh.Dispatch())) return record;

    // Recorded now rather than found by a rescan. The shell may or may not
    // have announced the window during its creation; either way it is
    // judged at its first navigation, and a reconciliation keeps the
    // pending record until then.
    AddStatusLine(registrations_ != registeredBefore ? "Window Opening..." : "New Window Found...");
    auto created = std::unique_ptr<Explorer>(new (std::nothrow) Explorer(this, fresh.Dispatch()));
    if (!created) return nullptr;
    Explorer* record = explorers_.Append(std::move(created));
    record->pending = pending;
    record->Connect();
    return record;
}

void XShell::Retire(std::unique_ptr<Explorer> record) {
    record->Silence();
    retired_.push_back(std::move(record));
}

void XShell::DestroyRetired() {
    ++busy_;
    while (!retired_.empty()) {
        auto batch = std::move(retired_);
        retired_.clear();
        batch.clear();
    }
    --busy_;
}

std::shared_ptr<RegistryClient> XShell::SettingsClient() {
    if (!settings_ || !settings_->HasReference()) {
        std::shared_ptr<RegistryClient> client(new (std::nothrow) RegistryClient());
        if (!client) return nullptr;
        // The path stays set on the service's object for the client's life;
        // a client whose path could not be set serves this operation only.
        settings_.reset();
        if (SUCCEEDED(client->SetProductPath())) settings_ = client;
        return client;
    }
    return settings_;
}

HRESULT XShell::UseSettings(const std::function<HRESULT(RegistryClient&)>& work) {
    Busy busy(this);
    std::shared_ptr<RegistryClient> client = SettingsClient();
    if (!client) return E_OUTOFMEMORY;
    HRESULT hr = work(*client);
    if (!IsServiceGone(hr)) return hr;
    // Only the client that failed is dropped: a nested call may already
    // have made a new one.
    if (settings_ == client) settings_.reset();
    client = SettingsClient();
    if (!client) return E_OUTOFMEMORY;
    return work(*client);
}

void XShell::SyncSettings(bool save) {
    // The first failure decides: one that finds the service gone makes the
    // whole exchange run again on a new client.
    auto first = [](HRESULT& kept, HRESULT hr) {
        if (SUCCEEDED(kept)) kept = hr;
    };
    Settings& s = settings;
    if (save) {
        UseSettings([&](RegistryClient& client) {
            HRESULT hr = client.SetAppDWORD(L"MuteAudio", s.MuteAudio);
            first(hr, client.SetAppString(L"AudioFileName", s.AudioFileName));
            first(hr, client.SetAppDWORD(L"AllowSameSite", s.AllowSameSite));
            first(hr, client.SetAppDWORD(L"KillFixedSize", s.KillFixedSize));
            first(hr, client.SetAppDWORD(L"BypassKeys", s.BypassKeys));
            first(hr, client.SetAppDWORD(L"AllowUserInitiated", s.AllowUserInitiated));
            first(hr, client.SetAppDWORD(L"NotifyOnBlock", s.NotifyOnBlock));
            first(hr, client.SetAppList(L"AllowedSites", JoinSiteList(s.AllowedSites)));
            return hr;
        });
        return;
    }
    UseSettings([&](RegistryClient& client) {
        HRESULT hr = client.GetAppDWORD(L"MuteAudio", s.MuteAudio);
        first(hr, client.GetAppString(L"AudioFileName", s.AudioFileName));
        // Without a sound file there is nothing to play.
        if (s.AudioFileName.empty()) s.MuteAudio = 1;
        first(hr, client.GetAppDWORD(L"AllowSameSite", s.AllowSameSite));
        first(hr, client.GetAppDWORD(L"KillFixedSize", s.KillFixedSize));
        LONG keys = s.BypassKeys;
        first(hr, client.GetAppDWORD(L"BypassKeys", keys));
        s.BypassKeys = static_cast<unsigned short>(keys & 0xFFFF);
        first(hr, client.GetAppDWORD(L"AllowUserInitiated", s.AllowUserInitiated));
        first(hr, client.GetAppDWORD(L"NotifyOnBlock", s.NotifyOnBlock));
        std::wstring sites;
        HRESULT read = client.GetAppList(L"AllowedSites", sites);
        first(hr, read);
        if (SUCCEEDED(read)) ParseSiteList(sites, &s.AllowedSites, true);
        return hr;
    });
}

LONG XShell::AddBlockCount(ULONG n) {
    // Every settings call lets other events and automation calls run on this
    // thread, and between its read and its write a nested call could store a
    // block that the write then takes back. So only the outermost call talks
    // to the store: a nested one adds its blocks to what that call owes and
    // answers an estimate, and the outermost call stores until nothing is owed.
    unstoredBlocks_ += n;
    ULONG total = lastStoredCount_ + unstoredBlocks_;
    if (!storingCount_) {
        storingCount_ = true;
        bool first = true;
        do {
            ULONG owed = unstoredBlocks_;
            LONG stored = 0;
            // A failed read must not replace the user's total with n, and a
            // failed write must not lose the blocks: either way they stay
            // owed, to be stored by the next call that reaches the store.
            if (FAILED(UseSettings([&](RegistryClient& client) {
                    stored = 0;
                    return client.GetAppDWORD(L"BlockCount", stored);
                })))
                break;
            if (first) total = static_cast<ULONG>(stored) + owed;
            first = false;
            unstoredBlocks_ -= owed;
            const ULONG next = static_cast<ULONG>(stored) + owed;
            if (FAILED(UseSettings([next](RegistryClient& client) {
                    return client.SetAppDWORD(L"BlockCount", static_cast<LONG>(next));
                }))) {
                unstoredBlocks_ += owed;
                break;
            }
            lastStoredCount_ = next;
        } while (unstoredBlocks_ != 0);
        storingCount_ = false;
    }
    return static_cast<LONG>(total);
}

void XShell::AnnounceBlock(LONG total, const std::wstring& url, const std::wstring& openerUrl) {
    const std::wstring& sound = settings.AudioFileName;
    if (!settings.MuteAudio) {
        std::string file = NarrowText(sound.c_str(), sound.size(), MAX_PATH - 1);
        // Any writer of the shared settings may have named a share or an
        // address; the agent of every user would open it.
        if (IsLocalFilePath(file.c_str()))
            PlaySoundA(file.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
    }
    // The opener's site as the allowed sites hold it: no leading dot.
    std::wstring site = openerUrl.empty() ? std::wstring() : LowerText(SiteKey(openerUrl.c_str()));
    if (!site.empty() && site[0] == L'.') site.erase(0, 1);
    SYSTEMTIME now;
    GetLocalTime(&now);
    const bool tell = recent_.Add({url, site, now}, openerUrl, GetTickCount64());
    if (!host_) return;
    host_->BlockCountRaised(total);
    // A copy: the host's calls may let another block in.
    const BlockedPopup latest = *recent_.At(0);
    if (tell && settings.NotifyOnBlock) host_->ShowBlockNotice(latest);
}

HRESULT XShell::ShowBlocked(size_t index) {
    const BlockedPopup* popup = recent_.At(index);
    if (!popup) return E_INVALIDARG;
    // A copy: a block during the calls below changes the list.
    const std::wstring url = popup->url;
    Busy busy(this);
    Explorer* record = CreateExplorer(false);
    if (!record) return E_FAIL;
    AddStatusLineW("Blocked Popup Shown : ", SysAllocString(url.c_str()));
    HRESULT hr = record->Navigate(url);
    record->PutVisible(true);
    return hr;
}

HRESULT XShell::AllowSite(const std::wstring& site) {
    std::vector<std::wstring> one;
    HRESULT hr = ParseSiteList(site, &one);
    if (FAILED(hr) || one.size() != 1) return E_INVALIDARG;
    std::vector<std::wstring>& sites = settings.AllowedSites;
    if (std::find(sites.begin(), sites.end(), one[0]) != sites.end()) return S_FALSE;
    if (sites.size() >= kMaxAllowedSites) return E_INVALIDARG;
    sites.push_back(one[0]);
    SyncSettings(true);
    return S_OK;
}

bool XShell::BypassKeysDown() const {
    static const struct {
        unsigned short bit;
        int key;
    } keys[] = {{1, VK_CONTROL}, {2, VK_MENU}, {4, VK_SHIFT}};
    for (const auto& k : keys)
        if ((settings.BypassKeys & k.bit) && (GetAsyncKeyState(k.key) & 0x8000)) return true;
    return false;
}

} // namespace vx
