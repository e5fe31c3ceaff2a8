#include "XShell.h"

#include "AllowRules.h"
#include "EngineHost.h"
#include "EventSource.h"
#include "RegistryClient.h"
#include "ShellIds.h"
#include "ShellWindowsEvents.h"

#include "../common/StatusLog.h"
#include "../common/LocalPath.h"
#include "../common/Product.h"
#include "../common/TextForms.h"
#include "../common/UrlForms.h"

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
    AudioFileName.clear();
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
    record->pending = true;
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

} // namespace vx

namespace vx {

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

} // namespace

bool XShell::IsKnownUrl(std::wstring url) {
    bool bypass = BypassKeysDown();
    bool start = _wcsicmp(url.c_str(), StartPageUrl().c_str()) == 0;
    bool local = StartsWith(url, L"file:") && url.find(ProgramFilesUrl()) != std::wstring::npos;
    bool resource = StartsWith(url, L"res:");
    url = LowerText(std::move(url));
    // Sites are matched on the host alone: a site's name elsewhere in the
    // address (a query, a path, a user name) lets nothing through.
    const std::wstring host = UrlHost(url.c_str());
    bool maker = IsHostOnSite(host, kMakerDomainW);
    bool favorite = false;
    if (!bypass && !start && !local && !maker && !resource) {
        favorite = favorites_.IsFavorite(host);
        if (favorite) AddStatusLine("Favorite Popup Allowed...");
    }
    if (start || starting_ || bypass || favorite || local || resource || maker) {
        AddStatusLineW("New IE Window Found : ", SysAllocString(url.c_str()));
        return true;
    }
    AddStatusLineW("New IE Window Blocked, unknown URL : ", SysAllocString(url.c_str()));
    return false;
}

std::shared_ptr<RegistryClient> XShell::Settings() {
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
    std::shared_ptr<RegistryClient> client = Settings();
    if (!client) return E_OUTOFMEMORY;
    HRESULT hr = work(*client);
    if (!IsServiceGone(hr)) return hr;
    // Only the client that failed is dropped: a nested call may already
    // have made a new one.
    if (settings_ == client) settings_.reset();
    client = Settings();
    if (!client) return E_OUTOFMEMORY;
    return work(*client);
}

void XShell::SyncSettings(bool save) {
    // The first failure decides: one that finds the service gone makes the
    // whole exchange run again on a new client.
    auto first = [](HRESULT& kept, HRESULT hr) {
        if (SUCCEEDED(kept)) kept = hr;
    };
    if (save) {
        UseSettings([&](RegistryClient& client) {
            HRESULT hr = client.SetAppDWORD(L"MuteAudio", MuteAudio);
            first(hr, client.SetAppString(L"AudioFileName", AudioFileName));
            first(hr, client.SetAppDWORD(L"AllowSameSite", AllowSameSite));
            first(hr, client.SetAppDWORD(L"KillFixedSize", KillFixedSize));
            first(hr, client.SetAppDWORD(L"BypassKeys", BypassKeys));
            return hr;
        });
        return;
    }
    UseSettings([&](RegistryClient& client) {
        HRESULT hr = client.GetAppDWORD(L"MuteAudio", MuteAudio);
        first(hr, client.GetAppString(L"AudioFileName", AudioFileName));
        // Without a sound file there is nothing to play.
        if (AudioFileName.empty()) MuteAudio = 1;
        first(hr, client.GetAppDWORD(L"AllowSameSite", AllowSameSite));
        first(hr, client.GetAppDWORD(L"KillFixedSize", KillFixedSize));
        LONG keys = BypassKeys;
        first(hr, client.GetAppDWORD(L"BypassKeys", keys));
        BypassKeys = static_cast<unsigned short>(keys & 0xFFFF);
        return hr;
    });
}

LONG XShell::AddBlockCount(ULONG n, bool announce) {
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
    if (n > 0 && announce) AnnounceBlock(static_cast<LONG>(total));
    return static_cast<LONG>(total);
}

void XShell::AnnounceBlock(LONG total) {
    if (!MuteAudio) {
        std::string sound = NarrowText(AudioFileName.c_str(), AudioFileName.size(), MAX_PATH - 1);
        // Any writer of the shared settings may have named a share or an
        // address; the agent of every user would open it.
        if (IsLocalFilePath(sound.c_str()))
            PlaySoundA(sound.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
    }
    if (host_) host_->BlockCountRaised(total);
}

bool XShell::BypassKeysDown() const {
    static const struct {
        unsigned short bit;
        int key;
    } keys[] = {{1, VK_CONTROL}, {2, VK_MENU}, {4, VK_SHIFT}};
    for (const auto& k : keys)
        if ((BypassKeys & k.bit) && (GetAsyncKeyState(k.key) & 0x8000)) return true;
    return false;
}

} // namespace vx
