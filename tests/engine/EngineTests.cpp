#include "tests/fakes/ServedDoubles.h"
#include "tests/support/RegistryTools.h"

#include "common/StatusLog.h"
#include "common/UrlForms.h"
#include "engine/EngineHost.h"
#include "engine/XShell.h"

#include <gtest/gtest.h>
#include <shobjidl.h>

#include <tuple>

namespace vx::test {
namespace {

using namespace browserdouble;
using Window = ComPtr<BrowserWindow>;

const wchar_t kOpener[] = L"http://www.opener.com/index.html",
              kElsewhere[] = L"http://www.elsewhere.net/";

struct EngineTest : ::testing::Test, fakes::ServedDoubles, EngineHost {
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.Result()) && shellClass && registry && browsers && reader);
        SetTheStatusLog(&log);
        opener = collection->OpenWindow(kOpener, false, true);
    }
    void TearDown() override {
        engine.reset();
        opener.Reset();
        ShellWindowCollection::Close();
        SetTheStatusLog(nullptr);
        EXPECT_EQ(0, ModuleLockCount()) << "a sink or a double outlived the engine";
    }

    void Start(LONG allowSameSite = 1) {
        store.dwords[L"AllowSameSite"] = allowSameSite;
        engine = std::make_unique<XShell>(this);
    }
    void Restart() {
        engine.reset();
        for (LONG id = 1; id <= collection->LastId(); ++id)
            if (collection->Find(id) != opener.Get()) collection->Remove(collection->Find(id));
        store = fakes::RegistryStore();
        log = StatusLog();
        Start();
    }
    Explorer* Record(const Window& window) { return engine->FindExplorer(window.Get()); }
    Window Unnavigated() { return opener->OpenPopup(L"", 2, 0, false); }
    std::string Sinks() const {
        std::string counts;
        for (LONG id = 1; id <= collection->LastId(); ++id)
            counts += std::to_string(collection->Find(id)->events.sinks.size());
        return counts;
    }
    LONG Count() { return store.dwords[L"BlockCount"]; }
    int Logged(const std::string& text) const {
        return static_cast<int>(
            std::count_if(log.Lines().begin(), log.Lines().end(), [&](const std::string& line) {
                return line.size() > 27 && line.substr(27) == text;
            }));
    }

    void BlockCountRaised(LONG) override {}
    void ShowBlockNotice(const BlockedPopup& p) override { notices.push_back(p.openerSite); }

    StatusLog log;
    std::vector<fakes::Favorite> favorites;
    bool unlisted = false; // windows made for the engine are left out of the collection
    Served browsers = Serve(kBrowserProgId, 1, [this](REFIID riid, void** ppv) {
        HRESULT hr = BrowserWindow::CreateInstance(nullptr, riid, ppv);
        if (unlisted) collection->Remove(collection->Find(collection->LastId()));
        return hr;
    });
    Served reader = Serve(Marklor::kProgId, 3, [this](REFIID riid, void** ppv) {
        return fakes::CreateDouble<fakes::FakeFavorites>(riid, ppv, &favorites);
    });
    Window opener;
    std::unique_ptr<XShell> engine;
    std::vector<std::wstring> notices;
};

TEST_F(EngineTest, StartUpShowsAndTracksEveryWindowAndOnesOpenedLaterAwaitTheirDecision) {
    Window hidden = collection->OpenWindow(L"http://a.example.com/", false, false);
    Window folder = collection->OpenWindow(L"file:///C:/", true, false);
    hidden->fullName = L"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE";
    Start();
    EXPECT_TRUE(hidden->visible && folder->visible);
    ASSERT_TRUE(Record(hidden) && Record(folder));
    EXPECT_FALSE(Record(opener)->pending || Record(hidden)->pending);
    opener->Navigate(L"http://www.elsewhere.net/");
    EXPECT_EQ(L"visible", opener->State()) << "open at start-up: never judged";
    Window browser = collection->OpenWindow(L"http://c.example.com/", false, false);
    Window later = collection->OpenWindow(L"", true, false);
    Explorer* record = Record(browser);
    ASSERT_TRUE(record && Record(later));
    record->openerUrl = L"http://opener.example.com/";
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0); // met again: kept as they are
    EXPECT_TRUE(record == Record(browser) && record->pending && record->openerUrl);
    EXPECT_FALSE(Record(later)->pending);
    EXPECT_EQ("11010", Sinks()) << "folder windows get none";
}

TEST_F(EngineTest, RecordsOfWindowsGoneGoWithTheirRevocationOrTheNextRescan) {
    // pending, quit, revoked; whether the record survives the next rescan
    // clang-format off
    const std::tuple<bool, bool, bool, bool> rows[] = {{false, false, true, false},
        {true, false, true, true}, {false, true, false, false}, {true, true, false, false},
        {true, true, true, false}};
    // clang-format on
    Start();
    for (const auto& [pending, quit, revoked, kept] : rows) {
        Window window = collection->OpenWindow(L"", false, true);
        Explorer* record = Record(window);
        ASSERT_TRUE(record);
        record->pending = pending;
        if (quit) window->FireQuit();
        engine->RunPendingReconciliation();
        EXPECT_EQ(record, Record(window)) << "kept while listed";
        EXPECT_EQ(quit, engine->ReconciliationPending()) << "a quit window is looked for again";
        collection->Remove(window.Get());
        if (revoked) collection->FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
        EXPECT_EQ(!(quit && revoked), Record(window) != nullptr) << "a quit one goes at once";
        engine->RunPendingReconciliation();
        EXPECT_EQ(kept, Record(window) == record && window->events.sinks.size() == 1);
    }
}

// The failed sinks themselves are checked by the fixture: nothing may outlive them.
TEST_F(EngineTest, CollectionFailuresAreLoggedAndABrowsersSinkIsRetriedByUpdate) {
    using browserdouble::EventPoint;
    for (auto result :
         {&EventPoint::adviseResult, &EventPoint::findResult, &EventPoint::unadviseResult}) {
        collection->events.*result = E_FAIL;
        Start();
        engine.reset();
        collection->events.*result = S_OK;
    }
    EXPECT_EQ(2, Logged("XShell Advise Error..."));
    Window browser = collection->OpenWindow(L"", false, true);
    browser->events.adviseResult = CONNECT_E_ADVISELIMIT;
    Start();
    ASSERT_TRUE(Record(browser) && !Record(browser)->IsConnected());
    browser->events.adviseResult = S_OK;
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0);
    EXPECT_EQ("11", Sinks());
    engine.reset();
    Window a = collection->OpenWindow(L"", false, true),
           b = collection->OpenWindow(L"", false, true);
    collection->failingItem = 2;
    Start();
    EXPECT_TRUE(Record(opener) && Record(browser) && !Record(a) && Record(b));
    collection->failures[L"Count"] = E_FAIL;
    engine->Update();
    EXPECT_EQ(0u, engine->Explorers().Count());
    engine.reset();
    fakes::ProgIdOverride noShell(kShellWindowsProgId, nullptr);
    Start();
    EXPECT_EQ(0u, engine->Explorers().Count());
}

TEST_F(EngineTest, EventsDuringAndAfterTheTearDownDoNothing) {
    Window browser = collection->OpenWindow(L"", false, true);
    Start();
    // Sinks held on by someone: with an owner, these events would reconcile and close windows.
    browserdouble::EventPoint shellSinks(nullptr, IID_NULL), browserSinks(nullptr, IID_NULL);
    shellSinks.sinks = collection->events.sinks;
    browserSinks.sinks = browser->events.sinks;
    browserSinks.sinks[0] = opener->events.sinks.begin()->second;
    int fired = 0;
    auto lateEvents = [&] {
        shellSinks.Fire(DISPID_WINDOWREGISTERED, {browserdouble::MakeVariant(VT_I4, 7L)});
        browserSinks.Fire(DISPID_WINDOWSETRESIZABLE,
                          {browserdouble::MakeVariant<VARIANT_BOOL>(VT_BOOL, VARIANT_FALSE)});
        ++fired;
    };
    for (auto* point : {&collection->events, &browser->events, &opener->events})
        point->duringUnadvise = lateEvents;
    const int countReads = collection->countReads;
    engine.reset();
    EXPECT_EQ(3, fired);
    EXPECT_TRUE(Sinks() == "00" && collection->events.sinks.empty());
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + opener->quits);
}

TEST_F(EngineTest, NewWindowsAreMadeHiddenAndPendingWithoutARescan) {
    for (bool listed : {true, false}) {
        unlisted = !listed;
        Restart();
        const int countReads = collection->countReads;
        Explorer* record = engine->AddExplorer(nullptr);
        BrowserWindow* made = collection->Find(collection->LastId());
        ASSERT_TRUE(record && made != opener.Get()) << listed;
        EXPECT_TRUE(record->pending && record->IsConnected() && !made->visible &&
                    made->events.sinks.size() == 1);
        EXPECT_EQ(2u, engine->Explorers().Count()) << "one record, though the shell announced it";
        EXPECT_EQ(countReads, collection->countReads) << "no rescan on the popup's path";
        engine->Update();
        EXPECT_EQ(record, engine->FindExplorer(made)) << "pending records stay";
    }
    Window handed = collection->MakeWindow(L"", false, true);
    Explorer* record = engine->AddExplorer(handed.Get());
    EXPECT_TRUE(record->IsConnected() && !record->pending);
    EXPECT_EQ(record, engine->AddExplorer(handed.Get())) << "a known browser is found";

    fakes::ProgIdOverride noBrowser(kBrowserProgId, nullptr);
    EXPECT_EQ(nullptr, engine->AddExplorer(nullptr));
    Window other = collection->OpenWindow(L"", false, true, false);
    engine->RunPendingReconciliation();
    EXPECT_TRUE(Record(other)) << "a rescan followed";
    Window popup = opener->OpenPopup(kElsewhere);
    EXPECT_EQ(1, popup->quits) << "the browser's own window, judged as any other";
}

const wchar_t kWww[] = L"http://www.example.com/";

TEST_F(EngineTest, EachPopupIsShownBlockedAtItsFirstNavigationOrRefused) {
    struct {
        const char* what;
        const wchar_t *opener, *url; // url: NewWindow3's, and the popup's first navigation
        const wchar_t* state;
        int order = 2;  // the new-window events, see BrowserWindow::OpenPopup
        LONG flags = 0; // NewWindow3's
        const wchar_t* allowed = L"";
        LONG clicked = 1; // AllowUserInitiated
    } const rows[] = {
        {"opener's bare domain", kWww, L"http://example.com/x", kShown},
        {"site in a query", kWww, L"http://ads.other.net/?r=example.com", kBlocked},
        {"opener without an address", L"", kWww, kBlocked},
        {"allowed site's sub-domain", L"http://a.b.example.com/", kElsewhere, kShown, 3, 0,
         L"other.org\r\nexample.com"},
        {"clicked, setting off", kOpener, kElsewhere, kRefused, 3, NWMF_USERINITED, L"", 0},
        {"NewWindow3 alone, same site", kOpener, L"http://ads.opener.com/", kShown, 3},
        {"NewWindow3 alone, blank", kOpener, L"about:blank", kBlocked, 3},
        {"both the other way round", kOpener, kElsewhere, kShown, 32, NWMF_USERINITED},
        {"both, override key", kOpener, kElsewhere, kShown, 23, NWMF_OVERRIDEKEY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Restart();
        engine->settings.AllowUserInitiated = row.clicked;
        ASSERT_EQ(S_OK, ParseSiteList(row.allowed, &engine->settings.AllowedSites));
        opener->url = row.opener;
        Window popup = opener->OpenPopup(row.url, row.order, row.flags);
        ASSERT_TRUE(popup);
        EXPECT_EQ(row.state, popup->State());
        EXPECT_EQ(1, Logged("NewWindow2 Event : IE Popup Attempt...") +
                         Logged("NewWindow3 Event : IE Popup Attempt..."))
            << "one attempt for one request";
        if (row.state == kShown) popup->Navigate(L"http://www.elsewhere.net/2");
        EXPECT_EQ(row.state, popup->State()) << "later navigations are not judged";
    }
}

TEST_F(EngineTest, AddressesAlwaysAllowedAreMatchedWholeOrOnTheHost) {
    ScopedText start(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main",
                     L"Start Page");
    ScopedText folder(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion",
                      L"ProgramFilesDir");
    start.Write(L"http://start.example.net/home");
    folder.Write(L"C:\\Program Files");
    favorites = {{L"Short", L"a.b"},
                 {L"News", L"", {{L"Paper", L"http://www.daily-paper.com/front"}}},
                 {L"Ended", L"", {{L"", L""}, {L"Hidden", L"http://www.after-end.org/"}}},
                 {L"Shop", L"http://shop.example.org/"},
                 {L"Maker", L"http://www.quandrel.com/"}}; // asked only when no other rule allows
    Start(0);
    favorites.push_back({L"Late", L"http://late.example.com/"}); // read at start-up only
    // clang-format off
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"http://start.example.net/home", true}, {L"HTTP://START.EXAMPLE.NET/home", true},
        {L"http://start.example.net/home?x", false}, {L"http://start.example.net/home#top", false},
        {L"C:\\Program Files\\Quandrel\\help.htm", true}, {L"C:\\windows\\help.htm", false},
        {L"file:///C:/Program Files/Other/page.htm", true},
        {L"http://www.elsewhere.net/C:/Program Files/", false},
        {L"RES://ieframe.dll/navcancl.htm", true}, {L"http://Support.Quandrel.com/X", true},
        {L"http://ads.example.net/?r=quandrel.com", false}, {L"http://notquandrel.com/", false},
        {L"http://quandrel.com.example.net/", false}, {L"http://quandrel.com@example.net/", false},
        {L"http://sport.daily-paper.com/today", true}, {L"http://daily-paper.com/", true},
        {L"http://www.elsewhere.net/?ref=.daily-paper.com", false}, {L"http://a.b/", false},
        {L"http://www.example.org/", true},
        {L"http://www.after-end.org/", false}, // behind the item that ends its folder
        {L"http://late.example.com/", false}};
    // clang-format on
    for (const auto& [url, known] : rows)
        EXPECT_EQ(known, engine->IsKnownUrl(CanonicalUrl(url))) << url;
    // A start page that does not fit counts as missing; without a Program
    // Files folder every local page is known.
    const std::wstring longPage = L"http://start.example.net/" + std::wstring(240, L'p');
    start.Write(longPage);
    folder.Write(L"C:\\" + std::wstring(270, L'd'));
    EXPECT_FALSE(engine->IsKnownUrl(longPage));
    EXPECT_TRUE(engine->IsKnownUrl(L"file:///C:/windows/help.htm"));
}

TEST_F(EngineTest, FixedSizeWindowsAreBlockedWhateverTheirStateWhileTheSettingIsOn) {
    Window early = collection->OpenWindow(L"http://early.example.com/", false, true);
    Start();
    Window popup = opener->OpenPopup(L"http://ads.opener.com/");
    // KillFixedSize, resizable, and the window's state after the request.
    const std::tuple<Window, LONG, bool, const wchar_t*> rows[] = {
        {early, 0, false, L"visible"},
        {early, 1, true, L"visible"},
        {early, 1, false, L"visible quit closed"},
        {popup, 1, false, L"visible quit closed"}};
    for (const auto& [window, kill, resizable, state] : rows) {
        engine->settings.KillFixedSize = kill;
        window->FireWindowSetResizable(resizable);
        EXPECT_EQ(state, window->State());
    }
    EXPECT_EQ(L"http://ads.opener.com/", engine->Recent().At(0)->url);
    EXPECT_EQ(L"http://early.example.com/", engine->Recent().At(1)->url);
}

TEST_F(EngineTest, HeldBypassKeysLetPopupsThrough) {
    Start(0);
    // BypassKeys, the key held, and whether it counts.
    const std::tuple<unsigned short, BYTE, bool> rows[] = {
        {1, VK_CONTROL, true},    {2, VK_MENU, true},     {4, VK_SHIFT, true},
        {2, VK_CONTROL, false},   {0, VK_CONTROL, false}, {8, VK_CONTROL, false},
        {0xFFF8, VK_SHIFT, false}};
    for (const auto& [keys, key, counts] : rows) {
        engine->settings.BypassKeys = keys;
        keybd_event(key, 0, 0, 0);
        const bool held = GetAsyncKeyState(key) & 0x8000, down = engine->BypassKeysDown();
        Window popup = opener->OpenPopup(kElsewhere), third = opener->OpenPopup(kElsewhere, 3);
        popup->FireWindowSetResizable(false);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        if (!held) GTEST_SKIP() << "this desktop does not report injected keys as held";
        EXPECT_EQ(counts, down) << keys << " with " << key;
        EXPECT_EQ(counts ? kShown : kBlocked, popup->State()) << "not even for a fixed size";
        EXPECT_EQ(counts ? kShown : kRefused, third->State());
    }
}

TEST_F(EngineTest, BlockedPopupsAreListedAnnouncedOncePerPageAndTheirSitesAllowedOnRequest) {
    Start();
    for (int i = 0; i <= 20; ++i)
        opener->OpenPopup((L"http://ads.elsewhere.net/" + std::to_wstring(i)).c_str());
    const BlockedPopups& recent = engine->Recent();
    ASSERT_EQ(20u, recent.Entries().size()) << "21 blocks keep 20";
    EXPECT_EQ(L"http://ads.elsewhere.net/1", recent.At(19)->url);
    EXPECT_EQ(std::vector<std::wstring>{L"opener.com"}, notices) << "one notice for one page";
    engine->settings.NotifyOnBlock = 0;
    opener->url = L"http://www.opener.com/other.html";
    opener->OpenPopup(L"http://ads.elsewhere.net/21");
    EXPECT_EQ(1u, notices.size()) << "none with the setting off";
    EXPECT_EQ(S_OK, engine->AllowSite(recent.At(0)->openerSite));
    EXPECT_EQ(S_FALSE, engine->AllowSite(L"Opener.com "));
    EXPECT_EQ(E_INVALIDARG, engine->AllowSite(L"opener.com/x"));
    EXPECT_EQ(L"opener.com", store.lists[L"AllowedSites"]);
    EXPECT_EQ(L"visible", opener->OpenPopup(L"http://ads.elsewhere.net/23")->State());
    const std::tuple<const wchar_t*, ULONGLONG, bool> rows[] = {
        {L"http://a/", 1000, true},  {L"http://a/", 10999, false}, {L"http://b/", 11000, true},
        {L"http://a/", 11000, true}, {L"http://b/", 20999, false}, {L"http://b/", 21000, true}};
    BlockedPopups popups; // on its own clock
    for (const auto& [page, at, announced] : rows)
        EXPECT_EQ(announced, popups.Add({L"http://ad/", L"", {}}, page, at)) << at;
}

TEST_F(EngineTest, CompletionsGoByTheWindowsOwnAddressAndFailingBrowsersOrBadArgumentsAreSafe) {
    Start();
    Window blocked = Unnavigated(), shown = Unnavigated(), popup = Unnavigated(),
           second = Unnavigated(), third = Unnavigated(), fourth = Unnavigated(),
           fifth = Unnavigated();
    blocked->url = kElsewhere;
    shown->url = L"http://shop.opener.com/";
    for (const Window& window : {blocked, shown})
        window->FireNavigateComplete2(kElsewhere);
    EXPECT_EQ(L"hidden quit closed", blocked->State()) << "only BeforeNavigate2 cancels";
    EXPECT_EQ(L"visible", shown->State());
    popup->failures = {{L"Visible", RPC_E_DISCONNECTED}, {L"Quit", RPC_E_DISCONNECTED}};
    second->failures[L"Quit"] = RPC_E_DISCONNECTED;
    popup->Navigate(L"http://www.quandrel.com/");
    second->Navigate(kElsewhere);
    EXPECT_EQ(L"hidden", popup->State()) << "an unreadable Visible counts as shown";
    EXPECT_EQ(L"hidden cancelled", second->State());
    EXPECT_FALSE(Record(popup)->pending || Record(second)->pending);
    Explorer& record = *Record(fifth);
    fifth->failures = {{L"FullName", E_FAIL}, {L"LocationURL", E_FAIL}};
    record.locationUrl = L"http://kept/";
    EXPECT_FALSE(record.IsIE());
    EXPECT_EQ(L"", record.GetLocationURL());
    EXPECT_EQ(L"http://kept/", record.locationUrl.value_or(L""));
    fifth->failures.clear();
    fifth->url = L"http://www.example.com/";
    EXPECT_TRUE(record.IsIE()) << "a failure is not cached";
    EXPECT_EQ(L"http://www.example.com/", record.GetLocationURL());
    fifth->failures[L"FullName"] = E_FAIL;
    EXPECT_TRUE(record.IsIE()) << "an answer is";
    Variant empty; // the URL argument carries no string at all
    third->events.Fire(
        DISPID_NAVIGATECOMPLETE2,
        {browserdouble::MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(third.Get())),
         browserdouble::MakeVariant(VT_BYREF | VT_VARIANT, empty.Get())});
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : "));
    fourth->Navigate(L"http://" + std::wstring(100000, L'a') + L".com/");
    EXPECT_EQ(kBlocked, fourth->State());
}

auto Fields(const Settings& s) {
    return std::tie(s.MuteAudio, s.AudioFileName, s.AllowSameSite, s.KillFixedSize, s.BypassKeys,
                    s.AllowUserInitiated, s.NotifyOnBlock, s.AllowedSites);
}

TEST_F(EngineTest, SettingsLoadWithTheirDefaultsAlsoWithoutTheServiceAndAreReadBackOnceSaved) {
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(L"DisableMessenger", store.calls.back()) << "once the settings are loaded";
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings));
    engine->settings = {0, L"C:\\a.wav", 0, 0, 0x0100, 0, 0, {L"a.com", L"b.net"}};
    const Settings saved = engine->settings;
    engine->SyncSettings(true);
    engine.reset();
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(Fields(saved), Fields(engine->settings));
    store.dwords[L"BypassKeys"] = 0x12345;
    store.strings[L"AudioFileName"] = L"";
    store.lists[L"AllowedSites"] = L"Example.com\r\nbad site\r\nexample.com\r\nb.org";
    engine->SyncSettings(false);
    EXPECT_EQ(1, engine->settings.MuteAudio);
    EXPECT_EQ(0x2345, engine->settings.BypassKeys);
    EXPECT_EQ((std::vector<std::wstring>{L"example.com", L"b.org"}), engine->settings.AllowedSites);
    EXPECT_EQ(0, store.dwords[L"MuteAudio"]) << "the store changes only on a save";
    engine.reset();
    registry.reset();
    reader.reset();
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings)) << "without the service";
    EXPECT_FALSE(engine->IsKnownUrl(L"http://www.elsewhere.net/")) << "nor the reader";
    EXPECT_TRUE(engine->IsKnownUrl(L"http://www.quandrel.com/"));
    EXPECT_EQ(1, engine->AddBlockCount(1)) << "a missing count counts as 0";
}

TEST(SiteListTest, SiteListsKeepPlainHostNamesOnly) {
    using Sites = std::vector<std::wstring>;
    const Sites kept = {L"kept.net"};
    // clang-format off
    const std::tuple<std::wstring, HRESULT, Sites> rows[] = {
        {L"", S_OK, {}}, {L"localhost\r\n10.0.0.1", S_OK, {L"localhost", L"10.0.0.1"}},
        {L"  Example.COM \r\n\r\n\tb-c.org\r\nexample.com\n", S_OK, {L"example.com", L"b-c.org"}},
        {L"example.com\r\nhttp://example.com/", E_INVALIDARG, kept},
        {L"exa mple.com", E_INVALIDARG, kept}, {L"-a.com", E_INVALIDARG, kept},
        {L"a..com", E_INVALIDARG, kept}, {L".a.com", E_INVALIDARG, kept},
        {L"a_b.com", E_INVALIDARG, kept}, {std::wstring(64, L'a') + L".com", E_INVALIDARG, kept}};
    // clang-format on
    for (const auto& [text, hr, sites] : rows) {
        Sites parsed = kept;
        EXPECT_EQ(hr, ParseSiteList(text, &parsed)) << text;
        EXPECT_EQ(sites, parsed);
    }
    std::wstring many;
    for (int i = 0; i <= 4096; ++i)
        many += L"s" + std::to_wstring(i) + L".net\n";
    Sites parsed;
    EXPECT_EQ(E_INVALIDARG, ParseSiteList(many, &parsed)) << "more than the service keeps";
    EXPECT_EQ(S_OK, ParseSiteList(many, &parsed, true));
    EXPECT_EQ(kMaxAllowedSites, parsed.size());
}

TEST_F(EngineTest, TheCountIsShownSignedWrapsAndLosesNoBlockToAFailedCall) {
    Start(0);
    const std::pair<LONG, const char*> rows[] = {{-1, "0"}, {0x7FFFFFFF, "-2147483648"}};
    for (const auto& [stored, shown] : rows) {
        store.dwords[L"BlockCount"] = stored;
        opener->OpenPopup(kElsewhere);
        EXPECT_EQ(1, Logged(std::string("BeforeNavigate2 Event : New Popup Blocked! Total Now ") +
                            shown));
        EXPECT_EQ(static_cast<LONG>(static_cast<ULONG>(stored) + 1), Count());
    }
    // A failed read never overwrites the stored total, and the block is stored
    // once the store answers again, also when it is a write that failed.
    store.dwords[L"BlockCount"] = 41;
    store.failures[L"GetAppDWORD"] = RPC_E_DISCONNECTED;
    EXPECT_EQ(kBlocked, opener->OpenPopup(kElsewhere)->State());
    EXPECT_EQ(41, Count());
    store.failures = {{L"SetAppDWORD", RPC_E_DISCONNECTED}};
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(41, Count());
    store.failures.clear();
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(42, Count());
}

} // namespace
} // namespace vx::test
