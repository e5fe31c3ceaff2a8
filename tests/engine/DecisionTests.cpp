#include "EngineTestSupport.h"

#include "RegistryTools.h"

#include "common/UrlForms.h"

namespace vx::test {
namespace {

const wchar_t kOpener[] = L"http://www.opener.com/index.html";
const wchar_t kElsewhere[] = L"http://www.elsewhere.net/";
const char kAtFirst[] = "BeforeNavigate2 Event : New Popup Blocked! Total Now 1";
const char kAtNewWindow3[] = "NewWindow3 Event : New Popup Blocked! Total Now 1";
// NewWindow3's flags: the user clicked for the window; an override key was held.
constexpr LONG kClicked = 0x2, kOverride = 0x8;

enum Outcome { kShown, kBlocked, kRefused };

struct Row {
    const char* what;
    const wchar_t* url; // the popup's address: NewWindow3's, and its first navigation's
    Outcome outcome;
    const char* line;
    int order = 2;  // the new-window events fired (see BrowserWindow::OpenPopup)
    LONG flags = 0; // NewWindow3's
    const wchar_t* opener = kOpener;
    LONG sameSite = 1, clicked = 1; // AllowSameSite, AllowUserInitiated
    const wchar_t* allowed = L"";   // AllowedSites
};

const Row kRows[] = {
    {"same site", L"http://ads.opener.com/a.html", kShown,
     "BeforeNavigate2 Event : Same Site Allowed : .opener.com"},
    {"other site, unknown", L"http://www.elsewhere.net/a.html", kBlocked, kAtFirst},
    {"same site with the rule off", L"http://ads.opener.com/a.html", kBlocked, kAtFirst, 2, 0,
     kOpener, 0},
    {"bare domain of the opener", L"http://example.com/x", kShown,
     "BeforeNavigate2 Event : Same Site Allowed : .example.com", 2, 0, L"http://www.example.com/"},
    {"www of a bare opener", L"http://www.example.com/x", kShown,
     "BeforeNavigate2 Event : Same Site Allowed : example.com", 2, 0, L"http://example.com/"},
    {"same host, country domain", L"http://www.example.co.uk/x", kShown,
     "BeforeNavigate2 Event : Same Site Allowed : www.example.co.uk", 2, 0,
     L"http://www.example.co.uk/"},
    {"sibling host, country domain", L"http://shop.example.co.uk/x", kBlocked,
     "New IE Window Blocked, unknown URL : http://shop.example.co.uk/x", 2, 0,
     L"http://www.example.co.uk/"},
    {"host too short", L"http://abc/x", kBlocked,
     "New IE Window Blocked, unknown URL : http://abc/x", 2, 0, L"http://abc/"},
    {"site name in a query", L"http://ads.other.net/?r=example.com", kBlocked, kAtFirst, 2, 0,
     L"http://www.example.com/"},
    {"site name as a sub-domain", L"http://example.com.other.net/", kBlocked, kAtFirst, 2, 0,
     L"http://www.example.com/"},
    {"look-alike host", L"http://badexample.com/", kBlocked, kAtFirst, 2, 0,
     L"http://www.example.com/"},
    {"opener without an address", L"http://www.example.com/", kBlocked, kAtFirst, 2, 0, L""},
    {"maker's site", L"http://www.Quandrel.com/News", kShown,
     "New IE Window Found : http://www.quandrel.com/news"},
    {"maker's site with the rule off", L"http://www.quandrel.com/news", kShown,
     "New IE Window Found : http://www.quandrel.com/news", 2, 0, kOpener, 0},
    {"resource page", L"res://shdoclc.dll/about.htm", kShown,
     "New IE Window Found : res://shdoclc.dll/about.htm", 2, 0, kOpener, 0},
    {"allowed site", kElsewhere, kShown, "BeforeNavigate2 Event : Allowed Site : example.com", 2, 0,
     L"http://www.example.com/", 0, 1, L"example.com"},
    {"allowed site's sub-domain", kElsewhere, kShown,
     "BeforeNavigate2 Event : Allowed Site : example.com", 3, 0, L"http://a.b.example.com/", 1, 1,
     L"other.org\r\nexample.com"},
    {"look-alike of an allowed site", kElsewhere, kBlocked, kAtFirst, 2, 0,
     L"http://notexample.com/", 1, 1, L"example.com"},
    {"NewWindow3 alone, unrequested", kElsewhere, kRefused, kAtNewWindow3, 3},
    {"NewWindow3 alone, user-initiated", kElsewhere, kShown,
     "BeforeNavigate2 Event : User Initiated Popup Allowed", 3, kClicked},
    {"user-initiated with the setting off", kElsewhere, kRefused, kAtNewWindow3, 3, kClicked,
     kOpener, 1, 0},
    {"override key", kElsewhere, kShown, "New IE Window Found : http://www.elsewhere.net/", 3,
     kOverride},
    {"NewWindow3 alone, same site", L"http://ads.opener.com/", kShown,
     "BeforeNavigate2 Event : Same Site Allowed : .opener.com", 3},
    {"NewWindow3 alone, blank address", L"about:blank", kBlocked, kAtFirst, 3},
    {"both events, user-initiated", kElsewhere, kShown,
     "BeforeNavigate2 Event : User Initiated Popup Allowed", 23, kClicked},
    {"both events the other way round", kElsewhere, kShown,
     "BeforeNavigate2 Event : User Initiated Popup Allowed", 32, kClicked},
    {"both events, override key", kElsewhere, kShown,
     "New IE Window Found : http://www.elsewhere.net/", 23, kOverride},
    {"both events, unrequested", kElsewhere, kBlocked, kAtNewWindow3, 23},
};

TEST_F(EngineTest, EachPopupIsShownBlockedAtItsFirstNavigationOrRefused) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Restart();
        Start(row.sameSite);
        engine->settings.AllowUserInitiated = row.clicked;
        ASSERT_EQ(S_OK, ParseSiteList(row.allowed, &engine->settings.AllowedSites));
        opener->url = row.opener;
        const LONG last = collection->LastId();
        Window popup = Popup(row.url, row.order, row.flags);
        ASSERT_TRUE(popup);
        const bool shown = row.outcome == kShown;
        EXPECT_EQ(last + 1, collection->LastId()) << "one window (or record) for one request";
        EXPECT_EQ(row.outcome == kRefused, !popup->open && popup->quits == 0) << "never made";
        EXPECT_EQ(shown, popup->visible);
        EXPECT_EQ(row.outcome == kBlocked ? 1 : 0, popup->quits);
        EXPECT_EQ(!shown, popup->cancelled);
        EXPECT_EQ(shown ? 0 : 1, Count());
        EXPECT_EQ(1, Logged(row.line));
        EXPECT_EQ(row.order == 3 && row.flags == kOverride ? 0 : 1,
                  Logged("NewWindow2 Event : IE Popup Attempt...") +
                      Logged("NewWindow3 Event : IE Popup Attempt..."))
            << "one attempt for one request";
        // Later navigations are only logged.
        if (shown) popup->Navigate(L"http://www.elsewhere.net/2");
        EXPECT_EQ(shown, popup->visible && !popup->WasQuit());
    }
}

TEST_F(EngineTest, AtCompletionTheWindowsOwnAddressDecidesTheSameSite) {
    for (const auto& [location, shown] : {std::pair{L"http://www.elsewhere.net/", false},
                                          std::pair{L"http://shop.opener.com/", true}}) {
        Restart();
        Start();
        Window popup = Popup(L"", 2, 0, false);
        popup->url = location;
        popup->FireNavigateComplete2(L"http://www.elsewhere.net/");
        EXPECT_EQ(shown, popup->visible);
        EXPECT_EQ(shown ? 0 : 1, popup->quits);
        EXPECT_FALSE(popup->cancelled) << "only BeforeNavigate2 cancels";
        EXPECT_EQ(1, Logged(shown ? "NavigateComplete2 Event : Same Site Allowed : .opener.com"
                                  : "NavigateComplete2 Event : New Popup Blocked! Total Now 1"));
    }
}

TEST_F(EngineTest, WindowsThatAreNotPendingAreOnlyLogged) {
    opener->url = L"http://www.elsewhere.net/";
    Start(0);
    EXPECT_EQ(1, Logged("New IE Window Found : http://www.elsewhere.net/")) << "open at start-up";
    opener->Navigate(L"http://www.elsewhere.net/page");
    opener->Navigate(L"http://www.elsewhere.net/frame", L"side");
    EXPECT_EQ(1, Logged("BeforeNavigate2 Event : http://www.elsewhere.net/page"));
    EXPECT_EQ(0, Logged("BeforeNavigate2 Event : http://www.elsewhere.net/frame"))
        << "a named frame's navigation is not logged";
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : http://www.elsewhere.net/page"));
    EXPECT_FALSE(opener->cancelled);
    EXPECT_EQ(0, opener->quits + Count());
}

// Sets a text value for the test, putting the old state back afterwards.
class ScopedText {
  public:
    ScopedText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& value)
        : root_(root), path_(path), name_(name), old_(ReadText(root, path, name)) {
        WriteText(root_, path_, name_, value);
    }
    ~ScopedText() {
        old_ ? WriteText(root_, path_, name_, *old_) : DeleteValue(root_, path_, name_);
    }

  private:
    HKEY root_;
    const wchar_t *path_, *name_;
    std::optional<std::wstring> old_;
};

TEST_F(EngineTest, AddressesAlwaysAllowedAreMatchedWholeOrOnTheHost) {
    const wchar_t* const main = L"Software\\Microsoft\\Internet Explorer\\Main";
    const wchar_t* const version = L"Software\\Microsoft\\Windows\\CurrentVersion";
    auto start = std::make_unique<ScopedText>(HKEY_CURRENT_USER, main, L"Start Page",
                                              L"http://start.example.net/home");
    auto folder = std::make_unique<ScopedText>(HKEY_LOCAL_MACHINE, version, L"ProgramFilesDir",
                                               L"C:\\Program Files");
    favorites = {
        {L"Short", L"a.b"},
        {L"Tiny host", L"http://abc/"},
        {L"News", L"", {{L"Paper", L"http://www.daily-paper.com/front"}}},
        {L"Ended", L"", {{L"", L""}, {L"Hidden", L"http://www.after-end.org/"}}},
        {L"Shop", L"http://shop.example.org/"},
        {L"Maker", L"http://www.quandrel.com/"}, // asked only when no other rule allows
    };
    Start(0);
    // Read at start-up, not at every decision.
    favorites.push_back({L"Late", L"http://www.late.example.com/"});
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"http://start.example.net/home", true},
        {L"HTTP://START.EXAMPLE.NET/home", true},
        {L"http://start.example.net/home?x=1", false},
        {L"http://start.example.net/home#top", false},
        {L"C:\\Program Files\\Quandrel\\help.htm", true},
        {L"file:///C:/Program Files/Other/page.htm", true},
        {L"C:\\windows\\help.htm", false},
        {L"http://www.elsewhere.net/C:/Program Files/", false},
        {L"RES://ieframe.dll/navcancl.htm", true},
        {L"http://support.quandrel.com/x", true},
        {L"http://ads.example.net/?r=quandrel.com", false},
        {L"http://quandrel.com.example.net/", false},
        {L"http://notquandrel.com/", false},
        {L"http://quandrel.com@example.net/", false},
        {L"http://sport.daily-paper.com/today", true},
        {L"http://daily-paper.com/", true},
        {L"http://www.elsewhere.net/?ref=.daily-paper.com", false},
        {L"http://www.example.org/", true},
        {L"http://www.after-end.org/", false}, // behind the item that ends its folder
        {L"http://a.b/", false},
        {L"http://abc/", false},
        {L"http://www.late.example.com/", false},
    };
    for (const auto& [url, known] : rows)
        EXPECT_EQ(known, engine->IsKnownUrl(CanonicalUrl(url))) << url;
    EXPECT_EQ(3, Logged("Favorite Popup Allowed..."));
    EXPECT_EQ(1, Logged("New IE Window Blocked, unknown URL : http://notquandrel.com/"));
    EXPECT_EQ(1, Logged("New IE Window Found : http://support.quandrel.com/x")) << "in lower case";

    // A start page that does not fit counts as missing; without a Program
    // Files folder every local page is known.
    start.reset();
    folder.reset();
    const std::wstring longPage = L"http://start.example.net/" + std::wstring(240, L'p');
    start = std::make_unique<ScopedText>(HKEY_CURRENT_USER, main, L"Start Page", longPage);
    folder = std::make_unique<ScopedText>(HKEY_LOCAL_MACHINE, version, L"ProgramFilesDir",
                                          L"C:\\" + std::wstring(270, L'd'));
    EXPECT_FALSE(engine->IsKnownUrl(longPage));
    EXPECT_TRUE(engine->IsKnownUrl(L"file:///C:/windows/help.htm"));
}

TEST_F(EngineTest, WithoutTheFavouritesReaderTheOtherRulesStillWork) {
    reader.reset();
    Start(0);
    EXPECT_EQ(1, Logged("Marklor Creation Error..."));
    const int before = Logged("Marklor Invoke Error...");
    EXPECT_FALSE(engine->IsKnownUrl(L"http://www.elsewhere.net/"));
    EXPECT_EQ(before + 1, Logged("Marklor Invoke Error...")) << "First fails";
    EXPECT_TRUE(engine->IsKnownUrl(L"http://www.quandrel.com/"));
}

TEST_F(EngineTest, FixedSizeWindowsAreBlockedWhateverTheirState) {
    const struct {
        LONG killFixedSize;
        bool resizable, blocked;
    } rows[] = {{1, false, true}, {1, true, false}, {0, false, false}};
    for (const auto& row : rows) {
        Restart();
        Window window = collection->OpenWindow(L"", false, true);
        Start(1, row.killFixedSize);
        window->FireWindowSetResizable(row.resizable);
        EXPECT_EQ(row.blocked ? 1 : 0, window->quits + Count() - window->quits);
        EXPECT_EQ(row.blocked ? 1 : 0, window->quits);
        EXPECT_EQ(row.blocked,
                  1 == Logged("WindowSetResizable Event : New Popup Blocked! Total Now 1"));
    }
    // An allowed popup that later asks for a fixed size is still blocked.
    Window popup = Popup(L"http://ads.opener.com/");
    ASSERT_TRUE(popup->visible);
    engine->settings.KillFixedSize = 1;
    popup->FireWindowSetResizable(false);
    EXPECT_EQ(1, popup->quits * Count());
    EXPECT_EQ(L"http://ads.opener.com/", engine->Recent().At(0)->url);
}

TEST_F(EngineTest, HeldBypassKeyLetsPopupsThrough) {
    store.dwords[L"BypassKeys"] = 4; // Shift
    Start(0);
    keybd_event(VK_SHIFT, 0, 0, 0);
    const bool held = engine->BypassKeysDown();
    Window popup = Popup(L"http://www.elsewhere.net/"),
           third = Popup(L"http://www.elsewhere.net/", 3);
    popup->FireWindowSetResizable(false);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    if (!held) GTEST_SKIP() << "this desktop does not report injected keys as held";
    EXPECT_EQ(0, Logged("NewWindow2 Event : IE Popup Attempt...") +
                     Logged("NewWindow3 Event : IE Popup Attempt..."));
    EXPECT_TRUE(popup->visible && third->visible);
    EXPECT_EQ(0, popup->quits + third->quits) << "not even for a fixed size";
    EXPECT_FALSE(popup->cancelled || third->cancelled);
    EXPECT_EQ(2, Logged("New IE Window Found : http://www.elsewhere.net/"));
    EXPECT_FALSE(engine->BypassKeysDown());
}

TEST_F(EngineTest, BlockedPopupsAreListedAnnouncedOncePerPageAndShownOnRequest) {
    Start();
    for (int i = 0; i <= 20; ++i)
        ASSERT_TRUE(Popup((L"http://ads.elsewhere.net/" + std::to_wstring(i)).c_str())->WasQuit());
    const BlockedPopups& recent = engine->Recent();
    ASSERT_EQ(20u, recent.Entries().size()) << "21 blocks keep 20";
    EXPECT_EQ(L"http://ads.elsewhere.net/20", recent.At(0)->url) << "newest first";
    EXPECT_EQ(L"http://ads.elsewhere.net/1", recent.At(19)->url);
    EXPECT_EQ(L"opener.com", recent.At(0)->openerSite);
    EXPECT_EQ(21, lastTotal);
    EXPECT_EQ(std::vector<std::wstring>{L"opener.com"}, notices) << "one notice for one page";
    engine->settings.NotifyOnBlock = 0;
    opener->url = L"http://www.opener.com/other.html";
    Popup(L"http://ads.elsewhere.net/21");
    EXPECT_EQ(1u, notices.size()) << "not with the setting off";

    // Opened anyway: visible, neither judged nor counted.
    ASSERT_EQ(S_OK, engine->ShowBlocked(1));
    BrowserWindow* shown = collection->Find(collection->LastId());
    EXPECT_TRUE(shown->visible && shown->open);
    EXPECT_EQ(L"http://ads.elsewhere.net/20", shown->url);
    EXPECT_EQ(22, Count());
    EXPECT_EQ(1, Logged("Blocked Popup Shown : http://ads.elsewhere.net/20"));
    EXPECT_EQ(E_INVALIDARG, engine->ShowBlocked(20));

    // Its opener's site, allowed: the next popup from there is shown.
    EXPECT_EQ(S_OK, engine->AllowSite(recent.At(0)->openerSite));
    EXPECT_EQ(S_FALSE, engine->AllowSite(L"Opener.com "));
    EXPECT_EQ(E_INVALIDARG, engine->AllowSite(L"opener.com/x"));
    EXPECT_EQ(L"opener.com", store.lists[L"AllowedSites"]);
    EXPECT_TRUE(Popup(L"http://ads.elsewhere.net/23")->visible);
}

TEST(BlockedPopupsTest, APageIsAnnouncedOnceInItsQuietTime) {
    const struct {
        const wchar_t* page;
        ULONGLONG at;
        bool announced;
    } rows[] = {
        {L"http://a/", 1000, true},  {L"http://a/", 10999, false}, {L"http://b/", 11000, true},
        {L"http://a/", 11000, true}, {L"http://b/", 20999, false}, {L"http://b/", 21000, true},
    };
    BlockedPopups popups;
    for (const auto& row : rows)
        EXPECT_EQ(row.announced, popups.Add({L"http://ad/", L"", {}}, row.page, row.at)) << row.at;
}

TEST_F(EngineTest, AFailedCountReadNeverOverwritesTheStoredTotal) {
    store.dwords[L"BlockCount"] = 41;
    Start(0);
    store.failures[L"GetAppDWORD"] = RPC_E_DISCONNECTED;
    store.calls.clear();
    Window popup = Popup(L"http://www.elsewhere.net/");
    EXPECT_EQ(41, Count());
    EXPECT_TRUE(popup->cancelled && popup->quits == 1) << "the popup is still blocked";
    EXPECT_EQ(2, Logged("Registry Invoke Error...")) << "the read, and again on a new client";
    EXPECT_EQ(1,
              std::count_if(store.calls.begin(), store.calls.end(),
                            [](const std::wstring& c) { return c.rfind(L"TopLevelKey", 0) == 0; }))
        << "a disconnected client is made afresh";
    for (const auto& call : store.calls)
        EXPECT_EQ(std::wstring::npos, call.find(L"SetAppDWORD"));

    // The block is not lost: it is stored once the store answers again,
    // also when it is a write that failed.
    store.failures = {{L"SetAppDWORD", RPC_E_DISCONNECTED}};
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(41, Count());
    store.failures.clear();
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(42, Count());
}

TEST_F(EngineTest, BrowsersFailingMidDecisionAreNeverShownByMistake) {
    Start(0);
    Window popup = Popup(L"", 2, 0, false);
    popup->failures = {{L"Visible", RPC_E_DISCONNECTED}, {L"Quit", RPC_E_DISCONNECTED}};
    popup->Navigate(L"http://www.quandrel.com/");
    EXPECT_FALSE(popup->visible) << "an unreadable Visible counts as shown";
    EXPECT_FALSE(engine->FindExplorer(popup.Get())->pending);
    Window second = Popup(L"", 2, 0, false);
    second->failures[L"Quit"] = RPC_E_DISCONNECTED;
    second->Navigate(L"http://www.elsewhere.net/");
    EXPECT_TRUE(!second->visible && second->cancelled);
    EXPECT_FALSE(engine->FindExplorer(second.Get())->pending);
    EXPECT_EQ(2, Logged("Explorer Invoke Error...")) << "the Visible read and the second Quit";
}

TEST_F(EngineTest, MissingAndMalformedEventArgumentsAreJudgedAsEmpty) {
    Start();
    Window popup = Popup(L"", 2, 0, false);
    // The URL argument carries no string at all.
    Variant empty;
    popup->events.Fire(
        DISPID_NAVIGATECOMPLETE2,
        {browserdouble::MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(popup.Get())),
         browserdouble::MakeVariant(VT_BYREF | VT_VARIANT, empty.Get())});
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : "));
    Window other = Popup(L"", 2, 0, false);
    other->Navigate(L"http://" + std::wstring(100000, L'a') + L".com/");
    EXPECT_TRUE(other->WasQuit());
}

} // namespace
} // namespace vx::test
